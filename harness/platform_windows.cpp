// Windows: the descriptor guard and the performance counter's frequency.
#include "harness/platform.h"

namespace harness::platform {

void prepare_process() {}

double seconds_between(Ticks t0, Ticks t1) {
  LARGE_INTEGER frequency;
  (void)QueryPerformanceFrequency(&frequency);  // fixed at boot, never zero
  return static_cast<double>(t1 - t0) / static_cast<double>(frequency.QuadPart);
}

}  // namespace harness::platform
