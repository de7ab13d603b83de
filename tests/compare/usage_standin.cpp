// A stand-in whose use of the machine is known, set by STANDIN_WORK:
//   sleep:SECONDS  sleeps that long
//   touch:PAGES    allocates that many pages and writes to each
//   spin:SECONDS   spends that much of its own processor time, however long it takes
// Called by a name holding "random" or "fixed", it then writes that program's
// results document and console lines, so that bench_compare counts its run.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

double processor_seconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void work(const std::string& kind, double amount) {
  if (kind == "sleep") {
    timespec pause{
        static_cast<time_t>(amount),
        static_cast<long>((amount - static_cast<double>(static_cast<time_t>(amount))) * 1e9)};
    while (nanosleep(&pause, &pause) != 0) {
    }
  } else if (kind == "touch") {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    std::vector<char> memory(static_cast<std::size_t>(amount) * page);
    for (std::size_t at = 0; at < memory.size(); at += page) {
      *static_cast<volatile char*>(&memory[at]) = 1;
    }
  } else if (kind == "spin") {
    const double until = processor_seconds() + amount;
    while (processor_seconds() < until) {
    }
  }
}

void write_documents(const char* results) {
  FILE* file = std::fopen(results, "w");
  if (file == nullptr) {
    std::exit(1);
  }
  const char* headings[] = {"1. Numeric Simulation. <Integer>", "2. Numeric Simulation. <Float>",
                            "3. DNA Simulation. <Logic>"};
  std::fputs("Stand-in\n\n\n", file);
  for (int test = 0; test < 3; ++test) {
    std::fprintf(file, "%s%s\n\nIt spends: 0.01 Secs\nIt is:     1 M Executions/Secs\n",
                 test > 0 ? "\n" : "", headings[test]);
    std::puts("It spends: 0.01 Secs");
  }
  std::fclose(file);
}

}  // namespace

int main(int /*argc*/, char** argv) {
  const char* setting = std::getenv("STANDIN_WORK");
  const std::string text = setting != nullptr ? setting : "";
  const std::size_t colon = text.find(':');
  if (colon != std::string::npos) {
    work(text.substr(0, colon), std::atof(text.c_str() + colon + 1));
  }
  if (std::strstr(argv[0], "random") != nullptr) {
    write_documents("results_complex_32.txt");
  } else if (std::strstr(argv[0], "fixed") != nullptr) {
    write_documents("results_complex_contrast_32.txt");
  }
  return 0;
}
