// The statistics against values worked out by hand (or, for the larger sign-test
// tables, with exact integer binomials outside the product).
#include "compare/stats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace compare {
namespace {

TEST(Stats, MedianAndMad) {
  EXPECT_DOUBLE_EQ(median({5, 1, 3}), 3);
  EXPECT_DOUBLE_EQ(median({8, 1, 4, 2}), 3);  // mean of the middle two, 2 and 4
  EXPECT_DOUBLE_EQ(median({7}), 7);
  EXPECT_TRUE(std::isnan(median({})));
  // Median 3; deviations 2, 1, 0, 1, 97: the outlier moves nothing.
  EXPECT_DOUBLE_EQ(mad({1, 2, 3, 4, 100}), 1);
  // Median 3; deviations 2, 1, 1, 5 -> 1 and 2 in the middle.
  EXPECT_DOUBLE_EQ(mad({1, 2, 4, 8}), 1.5);
  EXPECT_TRUE(std::isnan(mad({})));
}

TEST(Stats, SignTestOrderStatistic) {
  EXPECT_EQ(sign_test_k(5), 0);  // P(X <= 0) = 1/32 > 0.025: no interval at all
  EXPECT_EQ(sign_test_k(6), 1);  // P(X <= 0) = 1/64, P(X <= 1) = 7/64
  EXPECT_EQ(sign_test_k(20), 6);
  EXPECT_EQ(sign_test_k(30), 10);
  EXPECT_EQ(sign_test_k(50), 18);
  // From exact integer binomials: 2^n underflows a double long before this.
  EXPECT_EQ(sign_test_k(1000), 469);
  EXPECT_EQ(sign_test_k(10000), 4902);
}

TEST(Stats, SignIntervalTakesTheKthValuesFromEachEnd) {
  std::vector<double> d;
  d.reserve(20);
  for (int i = 0; i < 20; ++i) d.push_back(i * 7 % 20 + 1);  // 1..20 shuffled
  const auto interval = sign_interval(d);
  ASSERT_TRUE(interval.has_value());
  EXPECT_DOUBLE_EQ(interval->low, 6);    // d(6)
  EXPECT_DOUBLE_EQ(interval->high, 15);  // d(20 + 1 - 6)
  EXPECT_FALSE(sign_interval({1, 2, 3, 4, 5}).has_value());
}

TEST(Stats, MannWhitneyExactForSmallSamplesWithoutTies) {
  auto r = mann_whitney({1, 2, 3}, {4, 5, 6});
  EXPECT_DOUBLE_EQ(r.u, 0);
  EXPECT_NEAR(r.p, 0.1, 1e-12);  // 2 of C(6,3) = 20 arrangements are this extreme
  r = mann_whitney({4, 5, 6}, {1, 2, 3});
  EXPECT_DOUBLE_EQ(r.u, 9);
  EXPECT_NEAR(r.p, 0.1, 1e-12);
  EXPECT_NEAR(mann_whitney({1, 2, 3, 4}, {5, 6, 7, 8}).p, 2.0 / 70, 1e-12);
  // a = {1, 3}, b = {2, 4}: U = 1; of the C(4,2) = 6 arrangements U = 0, 1, 2, 2, 3, 4,
  // so P(U <= 1) = 2/6 and p = 4/6.
  EXPECT_NEAR(mann_whitney({1, 3}, {2, 4}).p, 4.0 / 6, 1e-12);
  EXPECT_DOUBLE_EQ(mann_whitney({}, {1, 2}).p, 1);
}

TEST(Stats, MannWhitneyNormalApproximationWithTies) {
  // Pooled ranks: 1 | 2 2 2 -> 3 | 3 3 -> 5.5 | 4 -> 7 | 5 -> 8; a's rank sum 12.5, U = 2.5.
  // Mean 8; variance 16/12 * (9 - (24 + 6) / 56); z = (5.5 - 0.5) / 3.3594 = 1.4884.
  const auto r = mann_whitney({1, 2, 2, 3}, {2, 3, 4, 5});
  EXPECT_DOUBLE_EQ(r.u, 2.5);
  EXPECT_NEAR(r.p, 0.136658, 1e-6);
  EXPECT_DOUBLE_EQ(mann_whitney({2, 2, 2}, {2, 2}).p, 1);  // all tied: no evidence
}

TEST(Stats, SerialChecks) {
  // Mean 2.5, deviations -1.5 -0.5 0.5 1.5: sum of squares 5, lag-1 products 1.25.
  EXPECT_DOUBLE_EQ(lag1_autocorrelation({1, 2, 3, 4}), 0.25);
  // Deviations -1.5 0.5 -0.5 1.5: lag-1 products -0.75 - 0.25 - 0.75.
  EXPECT_DOUBLE_EQ(lag1_autocorrelation({1, 3, 2, 4}), -0.35);
  EXPECT_TRUE(std::isnan(lag1_autocorrelation({1, 2})));
  EXPECT_TRUE(std::isnan(lag1_autocorrelation({3, 3, 3})));

  // Ten increasing values: S = 45, variance 10 * 9 * 25 / 18 = 125, z = 44 / sqrt(125).
  const std::vector<double> rising = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_NEAR(trend_p_value(rising), 8.30307e-5, 1e-9);
  EXPECT_NEAR(trend_p_value({10, 9, 8, 7, 6, 5, 4, 3, 2, 1}), 8.30307e-5, 1e-9);
  EXPECT_DOUBLE_EQ(trend_p_value({1, 2}), 1);
  EXPECT_DOUBLE_EQ(trend_p_value({4, 4, 4, 4}), 1);
  EXPECT_GT(trend_p_value({1, 3, 2, 4, 3, 1, 2, 4, 1, 3}), 0.5);
}

std::vector<Round> rounds_of(const std::vector<double>& random, const std::vector<double>& fixed) {
  std::vector<Round> rounds;
  for (std::size_t i = 0; i < random.size(); ++i) {
    Round r;
    r.index = static_cast<int>(i) + 1;
    r.first = i % 2 == 0 ? Side::Random : Side::Fixed;
    r.random = {random[i], 2 * random[i], 3 * random[i]};
    r.fixed = {fixed[i], 0, fixed[i]};
    rounds.push_back(r);
  }
  return rounds;
}

TEST(Stats, SummaryOfEachTest) {
  const auto rounds = rounds_of({0.5, 0.7, 0.6}, {0.1, 0.2, 0.3});
  const auto results = summarise(rounds);
  ASSERT_EQ(results.size(), 3U);
  EXPECT_EQ(results[0].name, "Integer");
  EXPECT_EQ(results[2].name, "DNA");
  EXPECT_DOUBLE_EQ(results[0].random.median, 0.6);
  EXPECT_NEAR(results[0].random.mad, 0.1, 1e-12);
  EXPECT_DOUBLE_EQ(results[0].fixed.median, 0.2);
  EXPECT_NEAR(results[0].difference, 0.4, 1e-12);  // differences 0.4, 0.5, 0.3
  EXPECT_NEAR(results[0].ratio, 3, 1e-12);
  EXPECT_NEAR(results[0].ns_per_execution, 400, 1e-9);  // 0.4 s over a million executions
  EXPECT_FALSE(results[0].interval.has_value());
  EXPECT_EQ(results[1].ratio, std::numeric_limits<double>::infinity());  // fixed took 0
}

TEST(Stats, BaselineVerdictsInBothDirections) {
  std::vector<double> low;
  std::vector<double> high;
  std::vector<double> mixed;
  for (int i = 0; i < 10; ++i) {
    low.push_back(1 + 0.01 * i);
    high.push_back(2 + 0.01 * i);
    mixed.push_back(1 + 0.01 * i + 0.005);
  }
  const std::vector<double> zero(10, 0.0);
  // Now: random got faster, fixed got slower, so the difference shrank.
  const auto verdicts = compare_with_baseline(rounds_of(low, high), rounds_of(high, low));
  ASSERT_EQ(verdicts.size(), 9U);
  EXPECT_EQ(verdicts[0].test, "Integer");
  EXPECT_EQ(verdicts[0].series, "random");
  EXPECT_EQ(verdicts[0].verdict, "faster");
  EXPECT_NEAR(verdicts[0].p_value, 2.0 / 184756, 1e-12);  // 2 / C(20, 10)
  EXPECT_EQ(verdicts[1].series, "fixed");
  EXPECT_EQ(verdicts[1].verdict, "slower");
  EXPECT_EQ(verdicts[2].series, "difference");
  EXPECT_EQ(verdicts[2].verdict, "faster");
  EXPECT_EQ(verdicts[3].test, "Float");

  const auto same = compare_with_baseline(rounds_of(low, zero), rounds_of(mixed, zero));
  EXPECT_EQ(same[0].verdict, "no significant change");
  EXPECT_GT(same[0].p_value, 0.05);
  EXPECT_LT(same[0].ratio, 1);
}

}  // namespace
}  // namespace compare
