// The clock of the Windows build's timing windows, read as the windows read
// it: fine enough for the shortest test, and counting seconds.
#include <gtest/gtest.h>

#include "harness/platform.h"

using harness::platform::read_clock;
using harness::platform::seconds_between;
using harness::platform::Ticks;

TEST(Clock, StepsByLessThanAMicrosecond) {
  // The smallest step seen between successive readings. The C runtime's
  // _ftime, which MinGW's OpenMP clock reads, steps by a millisecond or more.
  double finest = 1.0;
  for (int i = 0; i < 1000; ++i) {
    const Ticks a = read_clock();
    Ticks b = read_clock();
    while (b == a) {
      b = read_clock();
    }
    ASSERT_GT(b, a) << "the clock went back";
    finest = std::min(finest, seconds_between(a, b));
  }
  EXPECT_GT(finest, 0.0);
  EXPECT_LT(finest, 1e-6);
}

TEST(Clock, CountsSecondsAsTheSystemTickDoes) {
  // The tick's interval lies inside the outer pair of clock readings and
  // around the inner pair, however long the test is descheduled between
  // any two readings.
  const Ticks outer0 = read_clock();
  const ULONGLONG tick0 = GetTickCount64();
  const Ticks inner0 = read_clock();
  Sleep(300);
  const Ticks inner1 = read_clock();
  const ULONGLONG tick1 = GetTickCount64();
  const Ticks outer1 = read_clock();
  const double inner = seconds_between(inner0, inner1);
  const double outer = seconds_between(outer0, outer1);
  const double ticked = static_cast<double>(tick1 - tick0) / 1000.0;
  EXPECT_GE(inner, 0.29);
  // The tick counts milliseconds in steps of up to 16 ms.
  EXPECT_GE(ticked, inner - 0.035);
  EXPECT_LE(ticked, outer + 0.035);
}
