// The one comparison of a series with its reference: paired (builds in the
// same rounds) and unpaired (a baseline, a merge), against hand-worked values
// and seeded drifting stand-ins.
#include "compare/stats/reference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "compare/stats/one_sample.h"
#include "compare/stats/statistical_tests.h"
#include "drifting_standins.h"

namespace {

using namespace compare;
using Rounds = std::vector<std::pair<double, double>>;

Rounds rounds_of(std::size_t n, double now, double reference) {
  return Rounds(n, {now, reference});
}

TEST(PairedRatio, AnyValueNotPositiveMakesTheSeriesNotComparableCounted) {
  Rounds session;
  for (int i = 0; i < 40; ++i) session.emplace_back(i < 7 ? -0.01 : 1.2, 1.0);
  const ReferenceTest r = paired_ratio({session});
  EXPECT_EQ(r.untested, VerdictKind::NotComparable);
  EXPECT_EQ(r.rounds, 40u);
  EXPECT_EQ(r.not_positive, 7u);
  EXPECT_FALSE(r.ratio);  // never a ratio from the rounds that happened to stay positive
  EXPECT_FALSE(r.p);
  Rounds odd = rounds_of(20, 1.0, 1.0);
  odd[3].second = std::numeric_limits<double>::infinity();
  EXPECT_EQ(paired_ratio({rounds_of(20, 1.0, 1.0), odd}).not_positive, 1u);
  EXPECT_EQ(paired_ratio({rounds_of(20, 1.0, 1.0), odd}).rounds, 40u);
}

TEST(SignTestWithTies, HandWorkedValues) {
  EXPECT_DOUBLE_EQ(sign_test_p_with_ties({1, 2, 3, 4, 5, 6}), 2.0 / 64);
  EXPECT_DOUBLE_EQ(sign_test_p_with_ties({-1, -2, -3, -4, -5, -6}), 2.0 / 64);
  // A zero counts against rejecting: 1 of 6 at or below 0, P(X <= 1) = 7/64.
  EXPECT_DOUBLE_EQ(sign_test_p_with_ties({0, 1, 1, 1, 1, 1}), 14.0 / 64);
  // Three zeros of nine: P(Bin(9, 1/2) <= 3) = 130/512.
  EXPECT_DOUBLE_EQ(sign_test_p_with_ties({0, 0, 0, 1, 2, 3, 4, 5, 6}), 260.0 / 512);
  EXPECT_DOUBLE_EQ(sign_test_p_with_ties({0, 0, 0}), 1.0);
}

// p < 0.05 exactly when the interval [d(k), d(n+1-k)] excludes 0, for every
// mix of negative, zero and positive values of 6 to 40 values.
TEST(SignTestWithTies, PAndIntervalFollowOneRule) {
  int rejected = 0;
  for (int n = 6; n <= 40; ++n) {
    for (int negative = 0; negative <= n; ++negative) {
      for (int zero = 0; negative + zero <= n; ++zero) {
        std::vector<double> d;
        d.reserve(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i)
          d.push_back(i < negative ? -1.0 - i : i < negative + zero ? 0 : i);
        const std::optional<Interval> interval = sign_interval(d);
        ASSERT_TRUE(interval);
        const bool excludes = interval->low > 0 || interval->high < 0;
        const double p = sign_test_p_with_ties(d);
        EXPECT_EQ(p < kAlpha, excludes)
            << n << " values: " << negative << " negative, " << zero << " zero, p " << p;
        rejected += excludes ? 1 : 0;
      }
    }
  }
  EXPECT_GT(rejected, 100);
}

TEST(PairedRatio, OneSessionTakesTheTestOfItsAgreeingBlocks) {
  // Rounds alternate 2 and 1/2 (a linear drift flips with the mirrored
  // order): no block agrees, and they balance at 1.
  Rounds drift;
  for (int i = 0; i < 20; ++i) drift.emplace_back(i % 2 == 0 ? 2.0 : 0.5, 1.0);
  EXPECT_EQ(unit_log_ratios(drift, PairedUnit::Round).size(), 20u);
  const ReferenceTest r = paired_ratio({drift});
  EXPECT_EQ(r.method, RatioMethod::AgreeingBlocks);
  EXPECT_NEAR(r.interval->low, 0.5, 1e-12);
  EXPECT_NEAR(r.interval->high, 2, 1e-12);
  EXPECT_NEAR(*r.ratio, 1.0, 1e-12);
  EXPECT_DOUBLE_EQ(*r.p, 1.0);
  // A round without its mirror is left out of the blocks.
  EXPECT_EQ(unit_log_ratios(rounds_of(13, 2, 1), PairedUnit::Block).size(), 6u);
  const ReferenceTest few = paired_ratio({rounds_of(11, 1.5, 1)});  // 5 blocks: no interval
  EXPECT_EQ(few.untested, VerdictKind::TooFewRounds);
  EXPECT_DOUBLE_EQ(*few.ratio, 1.5);
}

TEST(PairedRatio, SessionsWithoutRoundsDoNotCount) {
  Rounds slower;
  for (int i = 0; i < 20; ++i) slower.emplace_back(1.05 + 0.001 * i, 1.0);
  // The first session shares no round: the second one's test, not nothing.
  const ReferenceTest one = paired_ratio({Rounds{}, slower});
  EXPECT_EQ(one.method, RatioMethod::AgreeingBlocks);
  EXPECT_GT(*one.ratio, 1.05);
  EXPECT_DOUBLE_EQ(*one.p, 2.0 / 1024);  // 10 blocks, all slower
  EXPECT_FALSE(one.df);
  EXPECT_EQ(paired_ratio({Rounds{}, Rounds{{1, 1}}}).untested, VerdictKind::TooFewRounds);
  // Three sessions: Student's t on their medians, 2 degrees of freedom.
  const ReferenceTest three =
      paired_ratio({rounds_of(20, 1.01, 1), rounds_of(20, 1.02, 1), rounds_of(20, 1.04, 1)});
  EXPECT_EQ(three.method, RatioMethod::StudentT);
  EXPECT_EQ(*three.df, 2);
  const std::vector<double> logs = {std::log(1.01), std::log(1.02), std::log(1.04)};
  EXPECT_NEAR(*three.ratio, std::cbrt(1.01 * 1.02 * 1.04), 1e-12);
  EXPECT_NEAR(*three.p, one_sample_t(logs)->p, 1e-12);
}

TEST(PairedRatio, IdenticalSessionMediansGiveARatioButNoTest) {
  const ReferenceTest r = paired_ratio({rounds_of(20, 1.03, 1), rounds_of(20, 1.03, 1)});
  EXPECT_EQ(r.untested, VerdictKind::NotTestable);
  EXPECT_NEAR(*r.ratio, 1.03, 1e-12);
  EXPECT_FALSE(r.p);
  EXPECT_FALSE(r.interval);
}

TEST(UnpairedRatio, UntestableSeriesAnswerTheSameEverywhere) {
  const ReferenceTest few = unpaired_ratio({2.0}, {1.0, 4.0});
  EXPECT_EQ(few.untested, VerdictKind::TooFewSessions);
  EXPECT_DOUBLE_EQ(*few.ratio, 1.0);  // 2 over the geometric mean 2
  EXPECT_FALSE(unpaired_ratio({}, {1.0, 2.0}).ratio);
  const ReferenceTest negative = unpaired_ratio({0.5, -0.1}, {1.0, 2.0});
  EXPECT_EQ(negative.untested, VerdictKind::NotComparable);
  EXPECT_EQ(negative.not_positive, 1u);
  EXPECT_EQ(negative.rounds, 4u);
  EXPECT_FALSE(negative.ratio);
  const ReferenceTest flat = unpaired_ratio({3.0, 3.0, 3.0}, {2.0, 2.0});
  EXPECT_EQ(flat.untested, VerdictKind::NotTestable);
  EXPECT_DOUBLE_EQ(*flat.ratio, 1.5);
  const ReferenceTest welch = unpaired_ratio({1.0, 1.1, 1.2}, {1.0, 1.05});
  EXPECT_EQ(welch.method, RatioMethod::Welch);
  EXPECT_DOUBLE_EQ(*welch.p, welch_log({1.0, 1.1, 1.2}, {1.0, 1.05})->p);
}

TEST(Decide, HolmOverEverySeriesTestedAndUntestedKeepTheirReason) {
  auto tested = [](double ratio, double p) {
    ReferenceTest t;
    t.ratio = ratio;
    t.p = p;
    return t;
  };
  ReferenceTest few;
  few.untested = VerdictKind::TooFewSessions;
  // Holm over the three tested: 0.01 * 3, then 0.03 * 2, then 0.04 * 1 (kept at 0.06).
  const std::vector<Decided> d =
      decide({tested(1.2, 0.03), few, tested(0.8, 0.01), tested(1.1, 0.04)});
  ASSERT_EQ(d.size(), 4u);
  EXPECT_EQ(d[2].verdict, VerdictKind::Faster);
  EXPECT_DOUBLE_EQ(*d[2].p_adjusted, 0.03);
  EXPECT_EQ(d[0].verdict, VerdictKind::NoSignificantChange);  // unadjusted 0.03 would call it
  EXPECT_DOUBLE_EQ(*d[0].p_adjusted, 0.06);
  EXPECT_DOUBLE_EQ(*d[3].p_adjusted, 0.06);
  EXPECT_EQ(d[1].verdict, VerdictKind::TooFewSessions);
  EXPECT_FALSE(d[1].p_adjusted);
  EXPECT_EQ(decide({tested(1.2, 0.001)})[0].verdict, VerdictKind::Slower);
}

// A/A comparisons of one 40-round session on machines that drift (seeded:
// the same stand-ins every run). Agreeing blocks keep the false verdicts of a
// single series at the test's level, within 3 standard errors of 5%; rounds
// as units do not where the ends of a round run slow (both rounds of a block
// share that), which is why blocks are the unit.
TEST(PairedRatio, BlocksKeepFalseVerdictsAtTheirLevelOnDriftingMachines) {
  constexpr int kRepetitions = 2000;
  const int most =
      static_cast<int>(kRepetitions * 0.05 + 3 * std::sqrt(kRepetitions * 0.05 * 0.95));
  const standins::Drift machines[] = {{0.01, 0.002, 0, 0, 0, 1},
                                      {0.01, 0, 0.005, 0, 0, 1},
                                      {0.01, 0, 0, 0.03, 0, 1},
                                      {0.01, 0, 0, 0, 0.03, 1},
                                      {0.01, 0.002, 0.005, 0.03, 0.03, 1}};
  for (const standins::Drift& machine : machines) {
    std::mt19937_64 gen(99);
    int block_false = 0;
    int round_false = 0;
    for (int i = 0; i < kRepetitions; ++i) {
      const standins::Paired s = standins::simulate(machine, 1, 40, gen).random;
      block_false += *paired_ratio(s).p < kAlpha ? 1 : 0;
      round_false += *paired_ratio(s, PairedUnit::Round).p < kAlpha ? 1 : 0;
    }
    EXPECT_LE(block_false, most) << "ends " << machine.ends << ", walk " << machine.walk;
    if (machine.ends > 0 && machine.linear == 0) {
      EXPECT_GT(round_false, most);
    }
  }
}

}  // namespace
