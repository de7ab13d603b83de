// A stand-in for either program that the counting probe can enter: a
// dynamically linked program taking the clock from the OpenMP runtime. It
// reads its role and times from PROGRAM.conf beside itself, as
// drift_standin.cpp does, and writes the pair's documents with those times.
#include <omp.h>

#include <cstdio>
#include <fstream>
#include <string>

int main(int /*argc*/, char** argv) {
  std::ifstream conf(std::string(argv[0]) + ".conf");
  std::string role;
  double times[3] = {0, 0, 0};
  if (!(conf >> role >> times[0] >> times[1] >> times[2]) || omp_get_wtime() < 0) return 4;
  const char* name =
      role == "random" ? "results_complex_32.txt" : "results_complex_contrast_32.txt";
  std::FILE* file = std::fopen(name, "w");
  if (file == nullptr) return 5;
  const char* titles[3] = {"1. Numeric Simulation. <Integer>", "2. Numeric Simulation. <Float>",
                           "3. DNA Simulation. <Logic>"};
  bool written = std::fprintf(file, "Stand-in %s\n\n\n", role.c_str()) > 0;
  for (int t = 0; t < 3; ++t) {
    written &= std::fprintf(file, "%s\n\nIt spends: %.9g Secs\nIt is:     1 M Executions/Secs\n%s",
                            titles[t], times[t], t < 2 ? "\n" : "") > 0;
    std::printf("It spends: %.9g Secs\n", times[t]);
  }
  return std::fclose(file) == 0 && written ? 0 : 6;
}
