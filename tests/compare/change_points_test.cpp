// Changes over time: the split statistic and its permutation test against
// hand-worked and fully enumerated cases, the search on series with known
// steps, Holm's adjustment with verdicts, and the threshold rule.
#include "compare/stats/change_points.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

using namespace compare;

// A level per stretch with a fixed, small wobble of about 1% (no draws: the
// same series everywhere).
std::vector<double> steps(const std::vector<std::pair<std::size_t, double>>& stretches) {
  std::vector<double> values;
  for (const auto& [length, level] : stretches) {
    for (std::size_t i = 0; i < length; ++i) {
      values.push_back(level * std::exp(0.01 * std::sin(2.3 * static_cast<double>(values.size()))));
    }
  }
  return values;
}

TEST(ChangePoints, SplitStatisticMatchesTheHandWorkedCase) {
  // 1 2 3 | 7 8 9: means 2 and 8, Q = 3 * 3 / 6 * 6^2 = 54. Two before the
  // split: means 1.5 and 6.75, Q = 2 * 4 / 6 * 5.25^2 = 36.75, and the same
  // for four before it (3.25 and 8.5).
  const std::vector<double> x = {1, 2, 3, 7, 8, 9};
  EXPECT_DOUBLE_EQ(split_statistic(x, 0, 6, 3), 54);
  EXPECT_DOUBLE_EQ(split_statistic(x, 0, 6, 2), 36.75);
  EXPECT_DOUBLE_EQ(split_statistic(x, 0, 6, 4), 36.75);
  const BestSplit best = best_split(x, 0, 6, 2);
  EXPECT_EQ(best.tau, 3u);
  EXPECT_DOUBLE_EQ(best.q, 54);
  // Within a part of a longer series: 7 8 | 9 5, means 7.5 and 7, Q = 0.25.
  const std::vector<double> y = {0, 7, 8, 9, 5, 0};
  EXPECT_DOUBLE_EQ(split_statistic(y, 1, 5, 2), 0.25);
  // The running sums' pass gives each tau's statistic.
  const std::vector<double> z = {0.3, -1.2, 0.8, 2.5, 0.1, -0.4, 1.9, 0.7, -2.2};
  for (std::size_t m = 1; m <= 4; ++m) {
    double largest = 0;
    for (std::size_t tau = m; tau + m <= z.size(); ++tau) {
      largest = std::max(largest, split_statistic(z, 0, z.size(), tau));
    }
    EXPECT_NEAR(best_split(z, 0, z.size(), m).q, largest, 1e-12) << m;
  }
  // Too short for two segments of 3.
  EXPECT_EQ(best_split(x, 0, 5, 3).q, 0);
  EXPECT_EQ(best_split(x, 0, 5, 3).tau, 0u);
  // Equal values: no split separates anything.
  EXPECT_EQ(best_split(std::vector<double>(8, 0.5), 0, 8, 2).tau, 0u);
}

TEST(ChangePoints, PermutationPAgreesWithEveryOrderCounted) {
  // Q = 54 is reached only with 1 2 3 on one side of the middle and 7 8 9 on
  // the other (any other split's best is 36.75): 2 * 3! * 3! = 72 of the 720
  // orders, an exact p of 0.1.
  std::vector<double> x = {1, 2, 3, 7, 8, 9};
  int reaching = 0;
  int orders = 0;
  do {
    ++orders;
    if (best_split(x, 0, 6, 2).q >= 54) ++reaching;
  } while (std::next_permutation(x.begin(), x.end()));
  EXPECT_EQ(orders, 720);
  EXPECT_EQ(reaching, 72);

  ChangeSettings settings;
  settings.min_segment = 2;
  settings.permutations = 20000;
  settings.stop_after = 0;
  SplitMix64 rng(7);
  const PermutationTest full = permutation_test({x}, 54, settings, rng);
  EXPECT_EQ(full.drawn, 20000u);
  EXPECT_NEAR(full.p, 0.1, 0.01);  // sd of the estimate 0.002
  // The largest of two such segments, each shuffled within itself, reaches
  // 54 with 1 - 0.9^2 = 0.19: picking the largest is paid for.
  EXPECT_NEAR(permutation_test({x, x}, 54, settings, rng).p, 0.19, 0.012);
  // A segment too short for any split adds nothing.
  EXPECT_NEAR(permutation_test({x, {5, 1, 9}}, 54, settings, rng).p, 0.1, 0.01);
  // The same in tenths, observed in this order: the 72 orders tie with it,
  // but summed in their own order only 32 reach its Q to the last bit. The
  // near-ties must count, or p would be 0.044.
  const std::vector<double> tenths = {0.3, 0.2, 0.1, 0.9, 0.8, 0.7};
  const double q_tenths = best_split(tenths, 0, 6, 2).q;
  EXPECT_NEAR(permutation_test({tenths}, q_tenths, settings, rng).p, 0.1, 0.01);
  // A split no order reaches: p = 1 / (1 + R), never 0.
  settings.permutations = 99;
  settings.stop_after = 0;
  // (Twenty low then twenty high: 2 of C(40, 20) orders, about 1e-11.)
  std::vector<double> apart(40, 1.0);
  std::fill(apart.begin() + 20, apart.end(), 2.0);
  const double q = best_split(apart, 0, apart.size(), 2).q;
  EXPECT_DOUBLE_EQ(permutation_test({apart}, q, settings, rng).p, 0.01);
  // Every order reaches a split of nothing: p = 1.
  EXPECT_DOUBLE_EQ(permutation_test({std::vector<double>(8, 0.0)}, 0, settings, rng).p, 1);
  settings.permutations = 20000;
  // Stopped at the 20th exceedance: p = 20 / r, after about 200 draws.
  settings.stop_after = 20;
  const PermutationTest early = permutation_test({x}, 54, settings, rng);
  EXPECT_LT(early.drawn, 1000u);
  EXPECT_DOUBLE_EQ(early.p * static_cast<double>(early.drawn), 20);
  EXPECT_GT(early.p, 0.04);
  EXPECT_LT(early.p, 0.25);
}

TEST(ChangePoints, PermutationsSufficeForTheFamily) {
  ChangeSettings settings;
  EXPECT_EQ(permutation_count(settings), 400u);  // 20 / 0.05
  settings.family = 9;
  EXPECT_EQ(permutation_count(settings), 3600u);
  EXPECT_LT(1.0 / (1 + 3600.0), kAlpha / 9);  // the smallest p can pass Holm's first step
  settings.family = 1'000'000;
  EXPECT_EQ(permutation_count(settings), 100000u);
  settings.permutations = 50;
  EXPECT_EQ(permutation_count(settings), 50u);
  settings = ChangeSettings{};
  settings.alpha_search = 0.5;
  EXPECT_EQ(permutation_count(settings), 199u);
  // The generator's published first output from seed 0: the same sequence,
  // so the same answers, on every platform.
  EXPECT_EQ(SplitMix64(0)(), 0xe220a8397b1dcdafU);
  SplitMix64 rng(1);
  EXPECT_EQ(uniform_below(rng, 1), 0u);
  const std::uint64_t huge = (std::uint64_t{1} << 63) + 1;  // half the draws rejected
  for (int i = 0; i < 100; ++i) EXPECT_LT(uniform_below(rng, huge), huge);
}

TEST(ChangePoints, FindsOneAndTwoStepsWhereTheyAre) {
  const std::vector<FoundChange> one = find_changes(steps({{17, 1.0}, {13, 1.10}}), {}).changes;
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].first, 17u);
  EXPECT_NEAR(one[0].ratio, 1.10, 0.01);
  ASSERT_TRUE(one[0].interval);
  EXPECT_LT(one[0].interval->low, 1.10);
  EXPECT_GT(one[0].interval->high, 1.10);
  EXPECT_GT(one[0].interval->low, 1.05);
  EXPECT_NEAR(one[0].median_before, 1.0, 0.011);
  EXPECT_NEAR(one[0].median_after, 1.10, 0.012);
  EXPECT_LT(one[0].p, kAlpha);
  EXPECT_FALSE(one[0].p_adjusted);

  // Each change is measured between its neighbours, not to the ends.
  const std::vector<FoundChange> two =
      find_changes(steps({{20, 1.0}, {20, 1.10}, {20, 0.95}}), {}).changes;
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[0].first, 20u);
  EXPECT_EQ(two[1].first, 40u);
  EXPECT_NEAR(two[0].median_after, 1.10, 0.012);
  EXPECT_NEAR(two[1].median_before, 1.10, 0.012);
  EXPECT_NEAR(two[1].median_after, 0.95, 0.011);
  EXPECT_NEAR(two[1].ratio, 0.95 / 1.10, 0.005);
}

TEST(ChangePoints, FlatShortAndConstantSeriesFindNothing) {
  EXPECT_TRUE(find_changes(steps({{60, 2.0}}), {}).changes.empty());
  EXPECT_TRUE(find_changes(std::vector<double>(500, 0.25), {}).changes.empty());
  EXPECT_TRUE(find_changes({}, {}).changes.empty());
  // Five values cannot hold two segments of three, however large the step.
  EXPECT_TRUE(find_changes({1, 1, 1, 9, 9}, {}).changes.empty());
}

TEST(ChangePoints, TheSameSeedGivesTheSameAnswer) {
  const std::vector<double> values = steps({{30, 1.0}, {30, 1.02}, {30, 1.0}});
  ChangeSettings settings;
  settings.seed = 99;
  const std::vector<FoundChange> a = find_changes(values, settings).changes;
  const std::vector<FoundChange> b = find_changes(values, settings).changes;
  ASSERT_EQ(a.size(), b.size());
  ASSERT_FALSE(a.empty());
  for (std::size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].first, b[i].first);
    EXPECT_EQ(a[i].p, b[i].p);
  }
}

TEST(ChangePoints, TheMinimumSegmentIsKept) {
  // Two high values first: a split after them needs segments of 2. (Held
  // within the bounds the search puts on far values, two sessions stand out
  // only among enough others.)
  const std::vector<double> values = steps({{2, 1.5}, {58, 1.0}});
  ChangeSettings settings;
  settings.min_segment = 2;
  const std::vector<FoundChange> short_first = find_changes(values, settings).changes;
  ASSERT_EQ(short_first.size(), 1u);
  EXPECT_EQ(short_first[0].first, 2u);
  settings.min_segment = 3;
  const std::vector<FoundChange> three_first = find_changes(values, settings).changes;
  ASSERT_EQ(three_first.size(), 1u);
  EXPECT_EQ(three_first[0].first, 3u);
  // Less than 2 is taken as 2: one session alone is no segment to measure.
  // (Alone, it would be at either end in 2 of 100 orders: p = 0.02.)
  std::vector<double> outlier = steps({{100, 1.0}});
  outlier[0] = 1.5;
  settings.min_segment = 1;
  for (const FoundChange& c : find_changes(outlier, settings).changes) {
    EXPECT_GE(c.first, 2u);
    EXPECT_LE(c.first, outlier.size() - 2);
  }
}

// Three disturbed sessions, 15% slow, before a 2% step: taken as they lie
// they would lift the first segment's mean to the second's and hide the
// step; held within the search's bounds they count as three high values.
TEST(ChangePoints, FarSessionsNeitherHideAStepNorMakeOne) {
  std::vector<double> values = steps({{30, 1.0}, {30, 1.02}});
  for (const std::size_t far : {5, 12, 20}) values[far] *= 1.15;
  const std::vector<FoundChange> found = find_changes(values, {}).changes;
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].first, 30u);
  std::vector<double> flat = steps({{60, 1.0}});
  for (const std::size_t far : {40, 47, 55}) flat[far] *= 1.15;
  EXPECT_TRUE(find_changes(flat, {}).changes.empty());
}

TEST(ChangePoints, ValuesWithoutAFigureAreLeftOut) {
  std::vector<double> values = steps({{17, 1.0}, {13, 1.10}});
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  values.insert(values.begin() + 25, {0.0, -1.0, inf});
  values.insert(values.begin() + 5, nan);
  const std::vector<FoundChange> found = find_changes(values, {}).changes;
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].first, 18u);  // the step's index among every value given
  EXPECT_NEAR(found[0].median_after, 1.10, 0.012);
  EXPECT_TRUE(find_changes({nan, inf, -2, 0, nan, nan, 1}, {}).changes.empty());
}

TEST(ChangePoints, HolmOverEveryTestOfEverySeriesAndTheVerdicts) {
  auto change = [](double p, double ratio) {
    FoundChange c;
    c.p = p;
    c.ratio = ratio;
    return c;
  };
  // Kept p 0.01, 0.02, 0.04 and two tests that kept nothing (0.3 and 0.6):
  // five tests, 0.01 * 5 = 0.05 (not below kAlpha), 0.02 * 4 = 0.08,
  // 0.04 * 3 = 0.12, 0.3 * 2 = 0.6, 0.6.
  std::vector<SeriesChanges> series(3);
  series[0].changes = {change(0.01, 0.9), change(0.04, 1.2)};
  series[0].unkept = {0.3};
  series[1].unkept = {0.6};
  series[2].changes = {change(0.02, 1.1)};
  adjust_changes(series);
  EXPECT_DOUBLE_EQ(*series[0].changes[0].p_adjusted, 0.05);
  EXPECT_DOUBLE_EQ(*series[0].changes[1].p_adjusted, 0.12);
  EXPECT_DOUBLE_EQ(*series[2].changes[0].p_adjusted, 0.08);
  for (const SeriesChanges& s : series) {
    for (const FoundChange& c : s.changes) EXPECT_EQ(c.verdict, VerdictKind::NoSignificantChange);
  }
  // Without the two that kept nothing: 0.03, 0.04, 0.04.
  series[0].unkept.clear();
  series[1].unkept.clear();
  adjust_changes(series);
  EXPECT_DOUBLE_EQ(*series[0].changes[0].p_adjusted, 0.03);
  EXPECT_DOUBLE_EQ(*series[0].changes[1].p_adjusted, 0.04);
  EXPECT_DOUBLE_EQ(*series[2].changes[0].p_adjusted, 0.04);
  EXPECT_EQ(series[0].changes[0].verdict, VerdictKind::Faster);
  EXPECT_EQ(series[0].changes[1].verdict, VerdictKind::Slower);
  EXPECT_EQ(series[2].changes[0].verdict, VerdictKind::Slower);
  // A search records the test that ended it.
  const SeriesChanges found = find_changes(steps({{17, 1.0}, {13, 1.10}}), {});
  ASSERT_EQ(found.unkept.size(), 1u);
  EXPECT_GE(found.unkept[0], kAlpha);
}

TEST(ChangePoints, ThresholdRuleMatchesTheHandWorkedCase) {
  // Logs -0.01, 0.01 five times: mean 0, sd sqrt(0.001 / 9) = 0.0105409;
  // the eleventh at log 0.03: t = 0.03 / (0.0105409 * sqrt(1.1)) = 2.71360,
  // two-sided p with 9 df 0.023856 (Simpson's rule on the density).
  std::vector<double> values(10);
  for (std::size_t i = 0; i < 10; ++i) values[i] = std::exp(i % 2 == 0 ? -0.01 : 0.01);
  values.push_back(std::exp(0.03));
  ASSERT_TRUE(threshold_p(values, 10));
  EXPECT_NEAR(*threshold_p(values, 10), 0.023856, 1e-5);
  EXPECT_FALSE(threshold_p(values, 9));   // fewer than ten before it
  EXPECT_FALSE(threshold_p(values, 11));  // no such session
  EXPECT_EQ(threshold_flags(values), std::vector<std::size_t>{10});
  EXPECT_TRUE(threshold_flags(values, 0.01).empty());
  values.push_back(std::exp(0.0));  // back to the mean: p near 1
  EXPECT_EQ(threshold_flags(values), std::vector<std::size_t>{10});
  values[3] = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(threshold_p(values, 10));
  // Ten equal sessions: the same again is no change, any other value is.
  std::vector<double> equal(11, 0.5);
  EXPECT_EQ(*threshold_p(equal, 10), 1);
  equal[10] = 0.51;
  EXPECT_EQ(*threshold_p(equal, 10), 0);
}

}  // namespace
