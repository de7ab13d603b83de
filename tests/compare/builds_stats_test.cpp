// The statistics of builds compared round by round, against hand-worked
// values.
#include <gtest/gtest.h>

#include <cmath>

#include "compare/stats/builds.h"
#include "compare/stats/one_sample.h"

namespace {

using namespace compare;

TEST(OneSample, StudentsTOnThreeValues) {
  // Mean 2, standard error 1/sqrt(3), t = sqrt(12) on 2 degrees of freedom,
  // whose tail is (1 - t / sqrt(2 + t^2)) / 2.
  const auto t = one_sample_t({1, 2, 3});
  ASSERT_TRUE(t);
  EXPECT_DOUBLE_EQ(t->mean, 2);
  EXPECT_NEAR(t->t, std::sqrt(12.0), 1e-12);
  EXPECT_EQ(t->df, 2);
  EXPECT_NEAR(t->p, 1 - std::sqrt(12.0) / std::sqrt(14.0), 1e-12);
  EXPECT_NEAR(t->interval.low, 2 - 4.302652729911275 / std::sqrt(3.0), 1e-9);
  EXPECT_NEAR(t->interval.high, 2 + 4.302652729911275 / std::sqrt(3.0), 1e-9);
  EXPECT_FALSE(one_sample_t({1}));
  const auto same = one_sample_t({0.5, 0.5});
  EXPECT_EQ(same->p, 0);
  EXPECT_EQ(same->interval.low, 0.5);
}

Round round(int index, double integer_random) {
  Round r;
  r.index = index;
  r.random = {integer_random, 0.2, 0.3};
  r.fixed = {0.01, 0.02, 0.03};
  return r;
}

// Twenty rounds (ten mirrored blocks), B 3% slower in Integer's bench_random
// in every one: p = 2/1024 for Integer random and difference; every other
// block ties at ratio 1, which counts against a change (p = 1); Holm
// multiplies the smallest of 9 by 9.
TEST(BuildRatios, EveryBuildAgainstTheReferenceWithHolm) {
  Comparison c;
  c.reference = "a";
  c.builds.resize(2);
  c.builds[0].label = "a";
  c.builds[1].label = "b";
  for (Build& b : c.builds) b.sessions.resize(1);
  for (int i = 1; i <= 20; ++i) {
    c.builds[0].sessions[0].rounds.push_back(round(i, 0.1 + 0.001 * i));
    c.builds[1].sessions[0].rounds.push_back(round(i, 1.03 * (0.1 + 0.001 * i)));
  }
  const std::vector<Verdict> v = compare_builds(c);
  ASSERT_EQ(v.size(), 9U);
  for (const Verdict& each : v) {
    const bool changed = each.test == "Integer" && each.series != Series::Fixed;
    EXPECT_EQ(each.entry, "b");
    EXPECT_DOUBLE_EQ(each.result.p.value_or(-1), changed ? 2.0 / 1024 : 1.0) << each.test;
    EXPECT_DOUBLE_EQ(each.p_adjusted.value_or(-1), changed ? 9 * 2.0 / 1024 : 1.0) << each.test;
    EXPECT_EQ(each.verdict, changed ? VerdictKind::Slower : VerdictKind::NoSignificantChange)
        << each.test;
  }
  EXPECT_NEAR(v[0].result.ratio.value_or(-1), 1.03, 1e-12);
}

}  // namespace
