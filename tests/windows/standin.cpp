// A stand-in for either program of the pair on Windows, copied as
// random.exe and fixed.exe: each run writes the next line of planned times
// from STANDIN_STATE\ROLE.times (warm-up first) as the program's document,
// or misbehaves as that line's fourth word says. With "alive PID" it instead
// waits for that process to end and says "gone".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string state_file(const std::string& name) {
  const char* state = std::getenv("STANDIN_STATE");
  return std::string(state != nullptr ? state : ".") + "/" + name;
}

std::string own_role() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path).find("random") != std::string::npos ? "random" : "fixed";
}

// This run's number, from 1, counted in ROLE.count.
int next_run(const std::string& role) {
  int n = 0;
  std::ifstream(state_file(role + ".count")) >> n;
  std::ofstream(state_file(role + ".count")) << n + 1;
  std::ofstream(state_file("order"), std::ios::app) << role << "\n";
  return n + 1;
}

// Past the end of its plan a stand-in starts again after the warm-up line.
std::vector<std::string> planned(const std::string& role, int run) {
  std::ifstream in(state_file(role + ".times"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  const int count = static_cast<int>(lines.size());
  int at = run;
  if (at > count && count >= 2) at = (run - 2) % (count - 1) + 2;
  std::istringstream words(at >= 1 && at <= count ? lines[static_cast<std::size_t>(at - 1)] : "");
  std::vector<std::string> fields;
  for (std::string word; words >> word;) fields.push_back(word);
  fields.resize(4);
  return fields;
}

// Starts this program again as a sleeper, which only a kill ends, and
// records its process id.
void start_sleeper() {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string command = std::string("\"") + self + "\" sleep";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (CreateProcessA(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &started) != 0) {
    std::ofstream(state_file("sleeper")) << started.dwProcessId;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
  }
}

int alive(const char* pid) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(std::atol(pid)));
  if (process != nullptr) {
    WaitForSingleObject(process, INFINITE);
    CloseHandle(process);
  }
  std::puts("gone");
  return 0;
}

void write_document(const std::string& role, const std::vector<std::string>& t) {
  std::string text = "Stand-in " + role + "\r\n\r\n\r\n";
  const char* names[3] = {"1. Numeric Simulation. <Integer>", "2. Numeric Simulation. <Float>",
                          "3. DNA Simulation. <Logic>"};
  for (int i = 0; i < 3; ++i) {
    const std::string spends = t[3] == "malformed" ? "fast" : t[static_cast<std::size_t>(i)];
    text += std::string(names[i]) + "\r\n\r\nIt spends: " + spends +
            " Secs\r\nIt is:     1 M Executions/Secs\r\n" + (i < 2 ? "\r\n" : "");
  }
  if (t[3] == "short") text.resize(text.rfind("It is:"));
  std::ofstream(role == "random" ? "results_complex_32.txt" : "results_complex_contrast_32.txt",
                std::ios::binary)
      << text;
  // Standard output is in text mode: each "\n" goes out as CR LF.
  for (int i = 0; i < 3; ++i)
    std::printf("It spends: %s Secs\n", t[static_cast<std::size_t>(i)].c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "sleep") {
    Sleep(INFINITE);
    return 0;
  }
  if (argc > 2 && std::string(argv[1]) == "alive") return alive(argv[2]);
  const std::string role = own_role();
  const std::vector<std::string> t = planned(role, next_run(role));
  if (t[3] == "exit3") {
    std::fputs("stand-in trouble\nsecond line\n", stderr);
    return 3;
  }
  if (t[3] == "exception") ExitProcess(0xC0000005);
  if (t[3] == "crash") {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
  }
  if (t[3] == "hang") {
    start_sleeper();
    Sleep(INFINITE);
  }
  write_document(role, t);
  return 0;
}
