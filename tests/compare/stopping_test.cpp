// When a precision goal stops a comparison: the width check, the limits, the
// processors' load, and the false verdicts of stopping on an interval's width.
#include "compare/stats/stopping.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

#include "compare/running/cpus.h"
#include "compare/stats/reference.h"
#include "drifting_standins.h"

namespace compare {
namespace {

using Paired = std::vector<std::vector<std::pair<double, double>>>;

// One session of rounds whose log ratios are `logs`, against a reference of 1.
Paired session_of(const std::vector<double>& logs) {
  Paired p(1);
  for (const double l : logs) p.front().emplace_back(std::exp(l), 1.0);
  return p;
}

TEST(Stopping, TheWidthIsTheUnitsSizesAboutNoChangeWhateverTheirSigns) {
  // 12 rounds, 6 blocks of sizes 0.06, 0.05, ..., 0.01: about no change they
  // are 0.06, -0.05, 0.04, -0.03, 0.02, -0.01, whose sign interval (6 units:
  // the 1st to the 6th) reaches from -0.05 to 0.06 around their median 0.005.
  std::vector<double> logs;
  for (const double size : {0.06, 0.05, 0.04, 0.03, 0.02, 0.01})
    logs.insert(logs.end(), {size, size});
  const double expected = std::max(std::exp(0.06 - 0.005) - 1, 1 - std::exp(-0.05 - 0.005));
  EXPECT_NEAR(*sign_free_half_width(session_of(logs)), expected, 1e-12);
  // Every unit negative, or the signs shuffled: the same width.
  std::vector<double> flipped = logs;
  for (std::size_t i = 0; i < flipped.size(); i += 4) flipped[i] = flipped[i + 1] = -flipped[i];
  EXPECT_NEAR(*sign_free_half_width(session_of(flipped)), expected, 1e-12);
  for (double& l : flipped) l = -std::fabs(l);
  EXPECT_NEAR(*sign_free_half_width(session_of(flipped)), expected, 1e-12);
  // Too few units for a sign interval; a value that is not positive.
  EXPECT_FALSE(sign_free_half_width(session_of({0.01, 0.01, 0.02, 0.02})));
  Paired zero = session_of(logs);
  zero.front()[3].first = 0;
  EXPECT_FALSE(sign_free_half_width(zero));
  // Across sessions: Student's t on the session medians' sizes.
  Paired three;
  for (const double m : {0.01, 0.02, 0.03}) three.push_back(session_of({m, m, m, m}).front());
  // About no change: 0.03, -0.02, 0.01: mean 0.02 / 3, sd 0.0251661, t(2) 4.302653.
  const double mean = 0.02 / 3;
  const double half = 4.302653 * 0.0251661 / std::sqrt(3.0);
  EXPECT_NEAR(*sign_free_half_width(three), std::exp(half) - 1, 1e-6);
  (void)mean;
}

TEST(Stopping, AOnePairTestIsShortByItsHalfWidthOverItsDifference) {
  TestResult narrow;
  narrow.name = "Integer";
  narrow.difference = 0.1;
  narrow.interval = Interval{0.099, 0.101};  // 1%
  TestResult none;
  none.name = "DNA";
  none.difference = 0.1;
  const std::vector<ShortOfGoal> short_of = short_of_percent_goal({narrow, none}, 0.9);
  ASSERT_EQ(short_of.size(), 2U);
  EXPECT_NEAR(*short_of[0].half_width, 1, 1e-9);
  EXPECT_FALSE(short_of[1].half_width);
  EXPECT_EQ(short_of_percent_goal({narrow}, 1.0 + 1e-9).size(), 0U);
}

TEST(Stopping, TheGoalComesFirstThenTheRoundsThenTheTime) {
  Standing s;
  s.rounds = 40;
  s.round_limit = 42;
  s.next_rounds = 2;
  s.elapsed = 20;
  s.next_seconds = 1;
  s.time_limit = 30;
  EXPECT_FALSE(stop_reason(s));  // 42 rounds and 21 s are within both limits
  s.elapsed = 29.5;
  EXPECT_EQ(stop_reason(s), StopReason::TimeLimit);  // the next block would end past 30 s
  s.rounds = 42;
  EXPECT_EQ(stop_reason(s), StopReason::RoundLimit);
  s.goal_met = true;
  EXPECT_EQ(stop_reason(s), StopReason::GoalMet);
  s = Standing{};
  s.time_limit = 1;
  s.next_rounds = 0;
  s.rounds = 1000000;
  EXPECT_FALSE(stop_reason(s));  // no round limit when adding sessions
}

TEST(QuietCpu, TheLeastBusyShareBetweenTwoReadingsAmongTheUsable) {
  const std::string before =
      "cpu  300 0 300 800 0 0 0 0 0 0\n"
      "cpu0 100 0 100 400 0 0 0 0 0 0\n"
      "cpu1 100 0 100 400 0 0 0 0 0 0\n"
      "cpu2 100 0 100 0 0 0 0 0 0 0\n"
      "intr 12345\n";
  // Between them cpu0 was busy 50 of 100, cpu1 30 of 100 (iowait is idle),
  // cpu2 0 of 100 but bench_compare may not use it; cpu3 was read once.
  const std::string after =
      "cpu0 125 0 125 450 0 0 0 0 0 0\n"
      "cpu1 110 5 115 440 30 0 0 0 0 0\n"
      "cpu2 100 0 100 100 0 0 0 0 0 0\n"
      "cpu3 1 1 1 1\n";
  const CpuTimes b = parse_cpu_times(before);
  const CpuTimes a = parse_cpu_times(after);
  ASSERT_EQ(b.size(), 3U);  // the sum line is no processor
  EXPECT_EQ(a.at(1).busy, 230U);
  EXPECT_EQ(quietest(b, a, {0, 1, 3}), 1);
  EXPECT_EQ(quietest(b, a, {0, 1, 2}), 2);
  EXPECT_EQ(quietest(b, a, {0}), 0);
  EXPECT_FALSE(quietest(b, a, {3}));     // read once: nothing to go by
  EXPECT_FALSE(quietest(b, b, {0, 1}));  // no time between the readings
  // On a tie the higher number: the first processor takes most interrupts.
  EXPECT_EQ(quietest(b, parse_cpu_times("cpu0 150 0 100 450\ncpu1 150 0 100 450\n"), {0, 1}), 1);
}

// How far an interval reaches from its ratio, as a fraction of it.
double reach(const ReferenceTest& t) {
  return std::max(t.interval->high / *t.ratio - 1, 1 - t.interval->low / *t.ratio);
}

// Turning any block over (both its rounds' now and reference swapped) is what
// no change allows, so the width the goal is judged on must not move with it:
// if it did, when a comparison stops would depend on which way it leans.
TEST(Stopping, TheSignFreeWidthDoesNotDependOnWhichWayTheBlocksLean) {
  std::mt19937_64 gen(11);
  std::lognormal_distribution<double> time(0, 0.02);
  std::bernoulli_distribution turn(0.5);
  for (int i = 0; i < 200; ++i) {
    Paired p(1);
    for (int r = 0; r < 40; ++r) p[0].emplace_back(time(gen), time(gen));
    p[0][3] = p[0][2] = {1.0, 1.0};  // a block of ties
    Paired turned = p;
    for (std::size_t b = 0; b + 1 < turned[0].size(); b += 2) {
      if (!turn(gen)) continue;
      std::swap(turned[0][b].first, turned[0][b].second);
      std::swap(turned[0][b + 1].first, turned[0][b + 1].second);
    }
    ASSERT_TRUE(sign_free_half_width(p));
    EXPECT_NEAR(*sign_free_half_width(turned), *sign_free_half_width(p), 1e-12);
  }
}

// A/A comparisons that add blocks until the width is within +-0.5% (from 20
// rounds, up to 120) on drifting machines: stopping on the units' sizes
// keeps the false verdicts at the test's level (within 3 standard errors of
// 5%), where peeking at p does not. Stopping on the interval itself calls
// more than stopping on the sizes (printed), though with agreeing blocks,
// whose test is conservative, still under the level here.
TEST(Stopping, StoppingOnTheSignFreeWidthKeepsFalseVerdictsAtTheirLevel) {
  constexpr int kRepetitions = 3000;
  constexpr double kWithin = 0.005;
  const int most =
      static_cast<int>(kRepetitions * 0.05 + 3 * std::sqrt(kRepetitions * 0.05 * 0.95));
  const standins::Drift machines[] = {
      {0.01, 0.002, 0, 0, 0, 1}, {0.01, 0, 0.005, 0, 0, 1}, {0.008, 0.002, 0.002, 0.02, 0.02, 1}};
  for (const standins::Drift& machine : machines) {
    std::mt19937_64 gen(7);
    int sign_free = 0, on_interval = 0, peeking = 0;
    int stopped_early = 0;  // before the limit: the rule does stop on the width
    for (int i = 0; i < kRepetitions; ++i) {
      const std::vector<std::pair<double, double>> all =
          standins::simulate(machine, 1, 120, gen).random.front();
      bool stopped = false, interval_stopped = false, peeked = false;
      for (std::size_t n = 20; n <= all.size(); n += 2) {
        const Paired p = {{all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n)}};
        const ReferenceTest t = paired_ratio(p);
        const bool called = *t.p < kAlpha;
        const bool last = n == all.size();
        peeked = peeked || called;
        if (!stopped && (*sign_free_half_width(p) <= kWithin || last)) {
          stopped = true;
          sign_free += called ? 1 : 0;
          stopped_early += last ? 0 : 1;
        }
        if (!interval_stopped && (reach(t) <= kWithin || last)) {
          interval_stopped = true;
          on_interval += called ? 1 : 0;
        }
      }
      peeking += peeked ? 1 : 0;
    }
    EXPECT_LE(sign_free, most) << "noise " << machine.noise << ", walk " << machine.walk;
    EXPECT_GT(peeking, most);
    EXPECT_GT(stopped_early, kRepetitions / 5);
    std::printf("false verdicts of %d: sign-free %d, on the interval %d, peeking %d\n",
                kRepetitions, sign_free, on_interval, peeking);
  }
}

}  // namespace
}  // namespace compare
