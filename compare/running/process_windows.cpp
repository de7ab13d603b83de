// Runs one program on Windows: started with CreateProcessW inside a job
// object that kills everything in it when it is closed (so a timeout, Ctrl-C
// or bench_compare's own death ends the run and whatever it started), with
// standard input NUL and both output pipes read by threads of their own.
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "compare/running/process.h"
#include "compare/running/system_windows.h"

namespace compare {
namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> g_interrupted{false};
HANDLE g_wake = nullptr;  // set by the console handler, waited on by the runner

// How long a closed console, a logoff or a shutdown waits for the
// comparison to write what it completed: Windows ends the process when the
// handler returns, or about 5 s after the event anyway.
constexpr DWORD kCloseGraceMs = 4500;

BOOL WINAPI on_control(DWORD event) {
  g_interrupted = true;
  if (g_wake != nullptr) SetEvent(g_wake);
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    // The main thread kills the running program and writes; its exit ends
    // this thread with the process.
    Sleep(kCloseGraceMs);
  }
  return TRUE;  // the comparison ends itself and writes what it completed
}

// Closes a handle on every way out.
struct Owned {
  HANDLE h = nullptr;
  Owned() = default;
  explicit Owned(HANDLE handle) : h(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
  ~Owned() {
    if (h != nullptr) CloseHandle(h);
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
};

// The caller's environment with the request's settings over it, as the
// block CreateProcessW takes; empty when the caller's is inherited as it is.
std::wstring environment_block(const std::vector<std::string>& settings, const std::string& dir) {
  if (settings.empty()) return {};
  std::vector<std::string> base;
  wchar_t* strings = GetEnvironmentStringsW();
  for (const wchar_t* entry = strings; entry != nullptr && *entry != L'\0';
       entry += wcslen(entry) + 1) {
    base.push_back(to_utf8(entry));
  }
  if (strings != nullptr) FreeEnvironmentStringsW(strings);
  std::wstring block;
  for (const std::string& entry : run_environment(base, settings, dir)) {
    block += to_wide(entry);
    block.push_back(L'\0');
  }
  block.push_back(L'\0');
  return block;
}

// A job that kills every process in it when its last handle closes.
HANDLE killing_job() {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job == nullptr) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) ==
      0) {
    CloseHandle(job);
    return nullptr;
  }
  return job;
}

// The program's pipes and the threads that read them to the end.
struct Pipes {
  Owned out_read, out_write, err_read, err_write, input;
  std::thread readers[2];
};

bool open_pipes(Pipes& p) {
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE handles[4] = {};
  if (CreatePipe(&handles[0], &handles[1], &inherited, 0) == 0) return false;
  p.out_read.h = handles[0];
  p.out_write.h = handles[1];
  if (CreatePipe(&handles[2], &handles[3], &inherited, 0) == 0) return false;
  p.err_read.h = handles[2];
  p.err_write.h = handles[3];
  // Only the child's ends are inherited.
  SetHandleInformation(p.out_read.h, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(p.err_read.h, HANDLE_FLAG_INHERIT, 0);
  p.input.h = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                          OPEN_EXISTING, 0, nullptr);
  if (p.input.h == INVALID_HANDLE_VALUE) p.input.h = nullptr;
  return p.input.h != nullptr;
}

void read_to_end(HANDLE pipe, RunOutcome* outcome, bool error) {
  std::vector<char> buffer(65536);
  DWORD got = 0;
  while (ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) != 0 &&
         got > 0) {
    (error ? keep_error : keep_output)(*outcome, buffer.data(), got);
  }
}

// One argument as the program's C runtime splits its command line back.
std::wstring quoted(const std::string& arg) {
  std::wstring out = L"\"";
  std::size_t slashes = 0;
  for (const wchar_t ch : to_wide(arg)) {
    if (ch == L'\\') {
      ++slashes;
    } else {
      // Backslashes before a quote are doubled, and the quote escaped.
      if (ch == L'"') out.append(slashes + 1, L'\\');
      slashes = 0;
    }
    out.push_back(ch);
  }
  out.append(slashes, L'\\');  // before the closing quote
  return out + L"\"";
}

// Starts the program suspended in `job`, then lets it go; the process and
// thread handles, or the reason in outcome.error.
bool start(const RunRequest& request, const std::string& dir, HANDLE job, Pipes& pipes,
           PROCESS_INFORMATION& started, RunOutcome& outcome) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = pipes.input.h;
  startup.hStdOutput = pipes.out_write.h;
  startup.hStdError = pipes.err_write.h;
  const std::wstring program = to_wide(request.program);
  std::wstring command = L"\"" + program + L"\"";  // no path holds a quote
  for (const std::string& arg : request.args) command += L" " + quoted(arg);
  std::wstring env = environment_block(request.env, dir);
  // Its own process group: Ctrl-C reaches bench_compare alone, which ends the run.
  const DWORD flags = CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT;
  if (CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, flags,
                     env.empty() ? nullptr : env.data(), to_wide(dir).c_str(), &startup,
                     &started) == 0) {
    outcome.error = "cannot run it: " + system_message(GetLastError());
    return false;
  }
  if (AssignProcessToJobObject(job, started.hProcess) == 0) {
    outcome.error = "cannot run it in a job: " + system_message(GetLastError());
    TerminateProcess(started.hProcess, 1);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return false;
  }
  if (request.cpu && SetProcessAffinityMask(started.hProcess, DWORD_PTR{1} << *request.cpu) == 0) {
    outcome.error = "cannot keep it to one processor: " + system_message(GetLastError());
    TerminateProcess(started.hProcess, 1);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return false;
  }
  ResumeThread(started.hThread);
  CloseHandle(started.hThread);
  return true;
}

// Waits for the program's end, the deadline or an interrupt, whichever comes
// first; then everything left in the job is killed. True when the program
// itself was killed.
bool watch(HANDLE process, HANDLE job, Clock::time_point deadline, RunOutcome& outcome) {
  bool killed = false;
  for (;;) {
    if (interrupted() || Clock::now() >= deadline) {
      outcome.end = interrupted() ? RunOutcome::End::Interrupted : RunOutcome::End::TimedOut;
      killed = true;
      break;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const DWORD wait_ms = static_cast<DWORD>(std::clamp<long long>(left + 1, 1, 1000));
    HANDLE waits[2] = {process, g_wake};
    const DWORD woke = WaitForMultipleObjects(g_wake != nullptr ? 2 : 1, waits, FALSE, wait_ms);
    if (woke == WAIT_OBJECT_0) break;
  }
  // Whatever it started and left holding the pipes goes with it.
  TerminateJobObject(job, 1);
  WaitForSingleObject(process, INFINITE);
  return killed;
}

double seconds_of(const FILETIME& t) {
  ULARGE_INTEGER ticks;
  ticks.LowPart = t.dwLowDateTime;
  ticks.HighPart = t.dwHighDateTime;
  return static_cast<double>(ticks.QuadPart) * 1e-7;  // 100 ns units
}

// What Windows says the ended process took. Under Wine another process's
// times and its memory after exit are not what they were: they stay unknown.
Usage usage_of(HANDLE process, double wall) {
  Usage usage;
  usage.wall_s = wall;
  usage.has_switches = false;
  usage.has_fault_split = false;
  usage.has_processor = usage.has_faults = usage.has_memory = false;
  if (running_under_wine()) return usage;
  FILETIME created{}, exited{}, kernel{}, user{};
  if (GetProcessTimes(process, &created, &exited, &kernel, &user) != 0) {
    usage.user_s = seconds_of(user);
    usage.system_s = seconds_of(kernel);
    usage.has_processor = true;
  }
  PROCESS_MEMORY_COUNTERS memory{};
  if (GetProcessMemoryInfo(process, &memory, sizeof memory) != 0) {
    usage.minor_faults = memory.PageFaultCount;  // Windows does not split them
    usage.max_rss_kib = static_cast<long long>(memory.PeakWorkingSetSize / 1024);
    usage.has_faults = usage.has_memory = true;
  }
  return usage;
}

void record_end(HANDLE process, bool killed, RunOutcome& outcome) {
  DWORD code = 0;
  if (killed || GetExitCodeProcess(process, &code) == 0) return;
  // 0xC0000000 and above are the system's error statuses: an exception.
  outcome.end = code >= 0xC0000000U ? RunOutcome::End::Signalled : RunOutcome::End::Exited;
  outcome.status = static_cast<int>(code);
}

}  // namespace

void catch_interrupts() {
  if (g_wake == nullptr) g_wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(on_control, TRUE);
}

bool interrupted() { return g_interrupted; }

void set_up_own_streams() {
  // Windows has no signal for a vanished reader: the write fails.
  SetConsoleOutputCP(CP_UTF8);
}

std::string preloading_unsupported() {
  return "it preloads a library into the pair, which only Linux's dynamic linker does; it works "
         "in the Linux build";
}

std::string unrunnable(const std::string& program) {
  std::error_code error;
  const auto path = std::filesystem::u8path(program);
  const auto status = std::filesystem::status(path, error);
  if (!std::filesystem::exists(status)) return "No such file or directory";
  if (std::filesystem::is_directory(status)) return "is a directory";
  std::ifstream in(path, std::ios::binary);
  char magic[2] = {};
  if (!in.read(magic, 2) || magic[0] != 'M' || magic[1] != 'Z') return "not a Windows program";
  return {};
}

void run_in_dir(const RunRequest& request, const std::string& dir, RunOutcome& outcome) {
  // A crash ends the run at once instead of waiting on an error dialog
  // nobody will answer: the program inherits this error mode.
  SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  const Owned job(killing_job());
  Pipes pipes;
  if (job.h == nullptr || !open_pipes(pipes)) {
    outcome.error = "cannot start it: " + system_message(GetLastError());
    return;
  }
  const auto started = Clock::now();
  PROCESS_INFORMATION child{};
  if (!start(request, dir, job.h, pipes, child, outcome)) return;
  const Owned process(child.hProcess);
  // Only the child holds the write ends now: the reads end when it does.
  CloseHandle(pipes.out_write.h);
  pipes.out_write.h = nullptr;
  CloseHandle(pipes.err_write.h);
  pipes.err_write.h = nullptr;
  pipes.readers[0] = std::thread(read_to_end, pipes.out_read.h, &outcome, false);
  pipes.readers[1] = std::thread(read_to_end, pipes.err_read.h, &outcome, true);
  const auto deadline =
      started + std::chrono::duration_cast<Clock::duration>(
                    std::chrono::duration<double>(std::min(request.timeout, 1e7)));
  const bool killed = watch(process.h, job.h, deadline, outcome);
  outcome.seconds = std::chrono::duration<double>(Clock::now() - started).count();
  for (std::thread& reader : pipes.readers) reader.join();
  record_end(process.h, killed, outcome);
  outcome.usage = usage_of(process.h, outcome.seconds);
}

bool idle_unless_interrupted(double seconds) {
  const auto until = Clock::now() + std::chrono::duration<double>(seconds);
  while (!interrupted()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    if (left.count() <= 0) return true;
    const auto wait_ms = static_cast<DWORD>(std::min<long long>(left.count() + 1, 1000));
    if (g_wake != nullptr) {
      WaitForSingleObject(g_wake, wait_ms);
    } else {
      Sleep(wait_ms);
    }
  }
  return false;
}

std::string ending_name(int status) {
  const auto code = static_cast<unsigned long>(static_cast<DWORD>(status));
  return fmt::format("exception 0x{:08X} ({})", code, exception_name(code));
}

}  // namespace compare
