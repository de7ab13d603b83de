// Windows: nothing to guard or set up, and the performance counter's
// frequency for turning readings into seconds.
#include "harness/platform.h"

namespace harness::platform {

void prepare_process() {
  // The C runtime keeps descriptors 0 to 2 for the standard handles even
  // when the process starts without one, so the results file can never take
  // them: writes to a missing console fail with EBADF. Nor does Windows end
  // a process whose pipe reader has gone or whose file grows large: such
  // writes fail, as a full disk does.
}

double seconds_between(Ticks t0, Ticks t1) {
  LARGE_INTEGER frequency;
  (void)QueryPerformanceFrequency(&frequency);  // fixed at boot, never zero
  return static_cast<double>(t1 - t0) / static_cast<double>(frequency.QuadPart);
}

}  // namespace harness::platform
