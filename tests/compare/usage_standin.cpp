// A stand-in whose use of the machine is known, set by STANDIN_WORK: "sleep
// SECONDS", "touch PAGES" (writes to each of that many new pages) or "spin
// SECONDS" (of its own processor time, however long that takes). Run as a
// file named random or fixed, it then writes that program's documents, so
// that bench_compare counts the run.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

int main(int /*argc*/, char** argv) {
  const char* setting = std::getenv("STANDIN_WORK");
  std::istringstream work(setting != nullptr ? setting : "");
  std::string kind;
  double amount = 0;
  work >> kind >> amount;
  if (kind == "sleep") {
    std::this_thread::sleep_for(std::chrono::duration<double>(amount));
  } else if (kind == "touch") {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    std::vector<char> memory(static_cast<std::size_t>(amount) * page);
    for (std::size_t at = 0; at < memory.size(); at += page) {
      *static_cast<volatile char*>(&memory[at]) = 1;  // volatile: the pages must be written
    }
  } else if (kind == "spin") {
    const std::clock_t until = std::clock() + static_cast<std::clock_t>(amount * CLOCKS_PER_SEC);
    while (std::clock() < until) {
    }
  }

  const std::string name = argv[0];
  const bool random = name.size() >= 6 && name.substr(name.size() - 6) == "random";
  if (!random && (name.size() < 5 || name.substr(name.size() - 5) != "fixed")) {
    return 0;
  }
  std::ofstream results(random ? "results_complex_32.txt" : "results_complex_contrast_32.txt");
  results << "Stand-in\n\n";
  for (const char* heading : {"1. Numeric Simulation. <Integer>", "2. Numeric Simulation. <Float>",
                              "3. DNA Simulation. <Logic>"}) {
    results << "\n" << heading << "\n\nIt spends: 0.01 Secs\nIt is:     1 M Executions/Secs\n";
    std::cout << "It spends: 0.01 Secs\n";
  }
  return results ? 0 : 1;
}
