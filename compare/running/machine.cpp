// What the machine's record does the same way on every system; the reading
// of the machine itself is in machine_posix.cpp and machine_windows.cpp.
#include "compare/running/machine.h"

namespace compare {

double clock_tick(double (*read)()) {
  // The smallest of about twenty steps between distinct readings. A coarse
  // clock stops the sample after a few steps and a clock that never steps
  // after a bounded number of readings, so this stays within milliseconds.
  // A few steps are always taken: a thread descheduled during the first
  // would otherwise report that gap as the clock's tick.
  constexpr int kSteps = 20;
  constexpr int kFewestSteps = 3;
  constexpr double kLongest = 0.002;
  constexpr long kMaxReadings = 100000;
  const double start = read();
  double last = start;
  double smallest = 0;
  int steps = 0;
  for (long reading = 0; reading < kMaxReadings && steps < kSteps; ++reading) {
    const double now = read();
    if (now == last) continue;
    if (now > last && (smallest == 0 || now - last < smallest)) smallest = now - last;
    ++steps;
    last = now;
    if (steps >= kFewestSteps && now - start > kLongest) break;
  }
  return smallest;
}

}  // namespace compare
