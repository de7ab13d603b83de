// A stand-in for either program of a build whose times follow the wall clock:
// the machine's "speed" steps to another level every second, the same for
// every process, so that times taken seconds apart differ by up to half
// while times taken within a round share one level. It reads its role and
// its times from PROGRAM.conf beside itself (the path it was started by):
//   random|fixed
//   INTEGER FLOAT DNA          seconds at speed 1
// and writes the pair's documents with those times times the level.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

int main(int /*argc*/, char** argv) {
  std::ifstream conf(std::string(argv[0]) + ".conf");
  std::string role;
  double base[3] = {0, 0, 0};
  if (!(conf >> role >> base[0] >> base[1] >> base[2])) return 4;
  static const double kLevels[] = {1.0, 1.25, 0.8, 1.15, 0.9};
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  const long long second = std::chrono::duration_cast<std::chrono::seconds>(now).count();
  const double level = kLevels[second % 5];
  const char* name =
      role == "random" ? "results_complex_32.txt" : "results_complex_contrast_32.txt";
  std::FILE* file = std::fopen(name, "w");
  if (file == nullptr) return 5;
  const char* titles[3] = {"1. Numeric Simulation. <Integer>", "2. Numeric Simulation. <Float>",
                           "3. DNA Simulation. <Logic>"};
  bool written = std::fprintf(file, "Stand-in %s\n\n\n", role.c_str()) > 0;
  for (int t = 0; t < 3; ++t) {
    written &= std::fprintf(file, "%s\n\nIt spends: %.9g Secs\nIt is:     1 M Executions/Secs\n%s",
                            titles[t], base[t] * level, t < 2 ? "\n" : "") > 0;
    std::printf("It spends: %.9g Secs\n", base[t] * level);
  }
  return std::fclose(file) == 0 && written ? 0 : 6;
}
