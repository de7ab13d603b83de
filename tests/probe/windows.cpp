// Timing windows of chosen contents, for the counting probe's tests: three
// windows as the pair opens and closes them, the second holding what the
// mode names.
#include <omp.h>

#include <cstring>
#include <ctime>

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "";
  // "one-window": the program ends after its first window, as a failing run would.
  const int windows = std::strcmp(mode, "one-window") == 0 ? 1 : 3;
  volatile double spent = 0;
  for (int w = 1; w <= windows; ++w) {
    const double start = omp_get_wtime();
    if (w == 2 && std::strcmp(mode, "sleep") == 0) {
      // Giving up the processor is a context switch, however busy the machine.
      const timespec pause = {0, 2000000};
      nanosleep(&pause, nullptr);
    }
    spent = spent + (omp_get_wtime() - start);
  }
  return spent < 0 ? 1 : 0;
}
