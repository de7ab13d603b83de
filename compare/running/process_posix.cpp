// Runs one program in a scratch directory on Linux, reading its output as it comes so
// that a chatty program never blocks on a full pipe, and killing it when the
// timeout passes or the user interrupts the comparison.
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

#include "compare/running/process.h"

extern char** environ;

namespace compare {
namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t g_interrupted = 0;
int g_wake[2] = {-1, -1};  // written to by the signal handler, polled by the runner

void on_interrupt(int /*signal*/) {
  g_interrupted = 1;
  if (g_wake[1] >= 0) {
    const char byte = 1;
    (void)!write(g_wake[1], &byte, 1);
  }
}

// The caller's environment with the request's settings over it, made before
// fork: the child may only call what is safe there.
std::vector<std::string> environment(const std::vector<std::string>& settings,
                                     const std::string& dir) {
  std::vector<std::string> base;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    base.emplace_back(*entry);
  }
  return run_environment(base, settings, dir);
}

void close_all(std::initializer_list<int> fds) {
  for (const int fd : fds) {
    if (fd >= 0) {
      close(fd);
    }
  }
}

// The child's half: only calls that are safe after fork.
[[noreturn]] void exec_child(const std::string& dir, const char* program, char* const* argv,
                             char* const* envp, const cpu_set_t* cpu, int out, int err,
                             int status_pipe) {
  (void)setpgid(0, 0);  // its own group, so that a kill reaches whatever it starts
  const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (in < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
      chdir(dir.c_str()) != 0 || (cpu != nullptr && sched_setaffinity(0, sizeof *cpu, cpu) != 0)) {
    const int reason = errno;
    (void)!write(status_pipe, &reason, sizeof reason);
    _exit(127);
  }
  for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ}) {
    (void)std::signal(sig, SIG_DFL);
  }
  sigset_t none;
  sigemptyset(&none);
  (void)sigprocmask(SIG_SETMASK, &none, nullptr);
  execve(program, argv, envp);
  const int reason = errno;
  (void)!write(status_pipe, &reason, sizeof reason);
  _exit(127);
}

Usage usage_of(const rusage& used, double wall, std::optional<double> waited) {
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
  };
  Usage usage;
  usage.wall_s = wall;
  usage.user_s = seconds(used.ru_utime);
  usage.system_s = seconds(used.ru_stime);
  usage.involuntary_switches = used.ru_nivcsw;
  usage.voluntary_switches = used.ru_nvcsw;
  usage.minor_faults = used.ru_minflt;
  usage.major_faults = used.ru_majflt;
  usage.max_rss_kib = used.ru_maxrss;  // Linux counts it in KiB
  usage.runqueue_wait_s = waited;
  return usage;
}

}  // namespace

void catch_interrupts() {
  if (g_wake[0] < 0 && pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    g_wake[0] = g_wake[1] = -1;
  }
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  // A hang-up or a quit ends the comparison as Ctrl-C does: the running
  // program sits in a group of its own and would otherwise outlive it.
  for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    (void)sigaction(sig, &action, nullptr);
  }
}

bool interrupted() { return g_interrupted != 0; }

std::string ending_name(int status) {
  return fmt::format("signal {} ({})", status, strsignal(status));
}

// Past a file-size limit a write fails with EFBIG, reported, instead of
// ending bench_compare silently. SIGCHLD ignored by whoever started
// bench_compare would have the kernel reap each program before its status is
// read, and pass on to the program.
void set_up_own_streams() {
  (void)std::signal(SIGPIPE, SIG_IGN);
  (void)std::signal(SIGXFSZ, SIG_IGN);
  (void)std::signal(SIGCHLD, SIG_DFL);
}

std::string preloading_unsupported() { return {}; }

std::string unrunnable(const std::string& program) {
  struct stat info {};
  if (stat(program.c_str(), &info) != 0) {
    return std::strerror(errno);
  }
  if (S_ISDIR(info.st_mode)) {
    return "is a directory";
  }
  if (!S_ISREG(info.st_mode) || access(program.c_str(), X_OK) != 0 ||
      (info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) == 0) {
    return "not executable";
  }
  return {};
}

namespace {

// The started program's pipes: its output, its error, and the one its exec
// failure would arrive on.
struct Child {
  pid_t pid = -1;
  int out = -1, err = -1, status = -1;
};

// Starts the program in `dir`; the reason in outcome.error when it cannot.
Child start(const RunRequest& request, const std::string& dir, RunOutcome& outcome) {
  std::vector<std::string> env = environment(request.env, dir);
  std::vector<char*> envp;
  envp.reserve(env.size() + 1);
  for (std::string& entry : env) {
    envp.push_back(entry.data());
  }
  envp.push_back(nullptr);
  std::string program = request.program;
  std::vector<std::string> args = request.args;
  std::vector<char*> argv = {program.data()};
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  // Made before fork, as the environment is.
  cpu_set_t cpu;
  CPU_ZERO(&cpu);
  if (request.cpu) CPU_SET(static_cast<std::size_t>(*request.cpu), &cpu);
  int out[2] = {-1, -1}, err[2] = {-1, -1}, status[2] = {-1, -1};
  Child child;
  if (pipe2(out, O_CLOEXEC) == 0 && pipe2(err, O_CLOEXEC) == 0 && pipe2(status, O_CLOEXEC) == 0) {
    child.pid = fork();
  }
  if (child.pid == 0) {
    exec_child(dir, program.c_str(), argv.data(), envp.data(), request.cpu ? &cpu : nullptr, out[1],
               err[1], status[1]);
  }
  const int fork_error = errno;
  close_all({out[1], err[1], status[1]});
  if (child.pid < 0) {
    close_all({out[0], err[0], status[0]});
    outcome.error = std::string("cannot start it: ") + std::strerror(fork_error);
    return child;
  }
  child.out = out[0];
  child.err = err[0];
  child.status = status[0];
  return child;
}

// Reads the program's output until it has ended (or been killed at the
// deadline or an interrupt) and its output is read to the end; true when it
// was killed.
bool watch(const Child& child, Clock::time_point deadline, RunOutcome& outcome) {
  // Readable once the program has ended, whoever still holds its pipes.
  const int ended = static_cast<int>(syscall(SYS_pidfd_open, child.pid, 0));
  bool exited = false;
  bool killed = false;
  int fds[] = {child.out, child.err};
  while (!(exited && fds[0] < 0 && fds[1] < 0)) {
    if (interrupted() || Clock::now() >= deadline) {
      outcome.end = interrupted() ? RunOutcome::End::Interrupted : RunOutcome::End::TimedOut;
      (void)kill(-child.pid, SIGKILL);
      (void)kill(child.pid, SIGKILL);
      killed = true;
      break;  // whatever it left in the pipes no longer matters
    }
    pollfd polls[4] = {{fds[0], POLLIN, 0},
                       {fds[1], POLLIN, 0},
                       {g_wake[0], POLLIN, 0},
                       {exited ? -1 : ended, POLLIN, 0}};
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const int wait_ms = static_cast<int>(std::clamp<long long>(left + 1, 1, 100));
    if (poll(polls, 4, wait_ms) < 0 && errno != EINTR) {
      std::this_thread::sleep_for(std::chrono::milliseconds(wait_ms));
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i] >= 0 && (polls[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        char buffer[65536];
        const ssize_t got = read(fds[i], buffer, sizeof buffer);
        if (got > 0) {
          (i == 0 ? keep_output : keep_error)(outcome, buffer, static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
          close(fds[i]);
          fds[i] = -1;
        }
      }
    }
    if ((polls[2].revents & POLLIN) != 0) {
      char drain[64];
      while (read(g_wake[0], drain, sizeof drain) > 0) {
      }
    }
    // Ended: anything it started and left holding the pipes is killed, so
    // the rest of its output arrives and the pipes close.
    bool gone = (polls[3].revents & POLLIN) != 0;
    if (ended < 0) {  // no pidfd: ask, leaving the child to be reaped below
      siginfo_t info{};
      const int asked =
          waitid(P_PID, static_cast<id_t>(child.pid), &info, WEXITED | WNOHANG | WNOWAIT);
      gone = (asked == 0 && info.si_pid == child.pid) || (asked < 0 && errno == ECHILD);
    }
    if (!exited && gone) {
      exited = true;
      (void)kill(-child.pid, SIGKILL);
    }
  }
  close_all({fds[0], fds[1], ended});
  return killed;
}

// Reaps the program: its usage, and how it ended unless it was killed.
void reap(const Child& child, Clock::time_point started, bool killed, RunOutcome& outcome) {
  // The scheduler's account of the run goes with its reaping, so it is read
  // while the ended program is still unreaped.
  siginfo_t info{};
  while (waitid(P_PID, static_cast<id_t>(child.pid), &info, WEXITED | WNOWAIT) < 0 &&
         errno == EINTR) {
  }
  int waited_for = 0;
  outcome.seconds = std::chrono::duration<double>(Clock::now() - started).count();
  bool have_schedstat = false;
  const std::string schedstat =
      read_whole(fmt::format("/proc/{}/schedstat", child.pid), have_schedstat);
  const std::optional<double> waited = have_schedstat ? runqueue_wait(schedstat) : std::nullopt;
  int wait_status = 0;
  rusage used{};
  while ((waited_for = static_cast<int>(wait4(child.pid, &wait_status, 0, &used))) < 0 &&
         errno == EINTR) {
  }
  const int wait_error = errno;
  outcome.usage = usage_of(used, outcome.seconds, waited);
  int exec_error = 0;
  if (read(child.status, &exec_error, sizeof exec_error) == sizeof exec_error) {
    outcome.end = RunOutcome::End::NotStarted;
    outcome.error = std::string("cannot run it: ") + std::strerror(exec_error);
  } else if (waited_for != child.pid && !killed) {
    // How it ended is unknown: never taken for a success.
    outcome.end = RunOutcome::End::NotStarted;
    outcome.error = std::string("its exit status was lost: ") + std::strerror(wait_error);
  } else if (!killed) {
    if (WIFEXITED(wait_status)) {
      outcome.end = RunOutcome::End::Exited;
      outcome.status = WEXITSTATUS(wait_status);
    } else {
      outcome.end = RunOutcome::End::Signalled;
      outcome.status = WTERMSIG(wait_status);
    }
  }
  close(child.status);
}

}  // namespace

void run_in_dir(const RunRequest& request, const std::string& dir, RunOutcome& outcome) {
  const auto started = Clock::now();
  const Child child = start(request, dir, outcome);
  if (child.pid < 0) return;
  const auto deadline =
      started + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                    std::min(request.timeout, 1e7)));  // no overflow for any timeout
  const bool killed = watch(child, deadline, outcome);
  reap(child, started, killed, outcome);
}

bool idle_unless_interrupted(double seconds) {
  const auto until = Clock::now() + std::chrono::duration<double>(seconds);
  while (!interrupted()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    if (left.count() <= 0) {
      return true;
    }
    // The handler writes to the wake pipe, so a signal ends the wait at once.
    pollfd wake{g_wake[0], POLLIN, 0};
    (void)poll(&wake, 1, static_cast<int>(std::min<long long>(left.count() + 1, 1000)));
  }
  return false;
}

}  // namespace compare
