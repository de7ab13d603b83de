// The counting probe's rule for a whole count: an event's group must have run
// all through the window, else its count is partial and is not reported.
#include <gtest/gtest.h>

#include "probe/perf_events.h"

namespace {

using probe::Reading;

// Readings of event `e` at a window's open and close, times in ns.
void set(Reading& r, int e, std::uint64_t value, std::uint64_t enabled, std::uint64_t running) {
  r.read[e] = true;
  r.value[e] = value;
  r.enabled[e] = enabled;
  r.running[e] = running;
}

TEST(WindowCount, OnlyAGroupThatRanThroughTheWholeWindowGivesACount) {
  constexpr int kCycles = 6;
  Reading open{};
  Reading close{};
  std::uint64_t count = 0;
  set(open, kCycles, 1000, 5000, 4000);  // set aside before the window: no matter
  set(close, kCycles, 251000, 9000, 8000);
  ASSERT_TRUE(probe::window_count(open, close, kCycles, count));
  EXPECT_EQ(count, 250000U);

  // Multiplexed inside the window: enabled 4000 ns, running 3000 ns.
  set(close, kCycles, 251000, 9000, 7000);
  EXPECT_FALSE(probe::window_count(open, close, kCycles, count));

  // An event not read at either end has no count.
  set(close, kCycles, 251000, 9000, 8000);
  open.read[kCycles] = false;
  EXPECT_FALSE(probe::window_count(open, close, kCycles, count));
  EXPECT_FALSE(probe::window_count(close, Reading{}, kCycles, count));
}

}  // namespace
