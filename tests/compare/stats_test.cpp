// The statistics against values worked out by hand (or, for the larger sign-test
// tables, with exact integer binomials outside the product).
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <random>
#include <vector>

#include "compare/stats/reference.h"
#include "compare/stats/statistical_tests.h"
#include "compare/stats/summary.h"

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
  // Equal differences whose mean rounds off are still no drift (not 5/6).
  const double d = 0.1 - 0.005;
  EXPECT_TRUE(std::isnan(lag1_autocorrelation({d, d, d, d, d, d})));

  // Ten increasing values: S = 45, variance 10 * 9 * 25 / 18 = 125, z = 44 / sqrt(125).
  const std::vector<double> rising = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_NEAR(trend_p_value(rising), 8.30307e-5, 1e-9);
  EXPECT_NEAR(trend_p_value({10, 9, 8, 7, 6, 5, 4, 3, 2, 1}), 8.30307e-5, 1e-9);
  EXPECT_DOUBLE_EQ(trend_p_value({1, 2}), 1);
  EXPECT_DOUBLE_EQ(trend_p_value({4, 4, 4, 4}), 1);
  EXPECT_GT(trend_p_value({1, 3, 2, 4, 3, 1, 2, 4, 1, 3}), 0.5);
}

TEST(Stats, TrendCountsEveryPairWithoutVisitingEach) {
  // S and p by their definition, every pair visited.
  auto every_pair = [](const std::vector<double>& v) {
    std::int64_t s = 0;
    for (std::size_t i = 0; i < v.size(); ++i) {
      for (std::size_t j = i + 1; j < v.size(); ++j) s += (v[j] > v[i]) - (v[j] < v[i]);
    }
    return s;
  };
  auto p_of = [](const std::vector<double>& v, std::int64_t s) {
    const auto n = static_cast<double>(v.size());
    double variance = n * (n - 1) * (2 * n + 5);
    std::map<double, double> counts;
    for (double x : v) counts[x] += 1;
    for (const auto& [x, t] : counts) variance -= t * (t - 1) * (2 * t + 5);
    variance /= 18;
    if (s == 0 || !(variance > 0)) return 1.0;
    const double z = (static_cast<double>(s) - (s > 0 ? 1 : -1)) / std::sqrt(variance);
    return std::min(1.0, std::erfc(std::fabs(z) / std::sqrt(2.0)));
  };
  std::mt19937 draw(27);
  for (const int distinct : {2, 5, 1000000}) {  // heavy ties, some ties, almost none
    for (const std::size_t n : {0, 1, 3, 4, 17, 64, 257, 1000}) {
      std::uniform_int_distribution<int> value(1, distinct);
      std::vector<double> v(n);
      for (double& x : v) x = 0.001 * value(draw);
      if (distinct == 5 && n > 4) std::sort(v.begin(), v.begin() + static_cast<long>(n / 2));
      SCOPED_TRACE(fmt::format("{} values of {} kinds", n, distinct));
      std::vector<double> sorted;
      EXPECT_EQ(mann_kendall_s(v, &sorted), every_pair(v));
      EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end()));
      if (n >= 3) {
        EXPECT_EQ(trend_p_value(v), p_of(v, every_pair(v)));
      }
    }
  }
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

// Across sessions: values chosen so that their logarithms are small whole
// numbers, which puts every mean, variance and t by hand within reach.
const double e = std::exp(1.0);

TEST(SessionStats, TCriticalValuesAndPValues) {
  EXPECT_NEAR(t_critical_95(1), 12.706204736, 1e-8);
  EXPECT_NEAR(t_critical_95(2), 4.302652730, 1e-8);
  EXPECT_NEAR(t_critical_95(1e7), 1.959964, 1e-5);  // the normal's, far out
  // With 2 degrees of freedom P(|T| > t) = 1 - t / sqrt(t^2 + 2): 1 - 1/sqrt(3) at t = 1.
  EXPECT_NEAR(t_two_sided_p(1, 2), 1 - 1 / std::sqrt(3.0), 1e-12);
  EXPECT_NEAR(t_two_sided_p(-1, 2), 1 - 1 / std::sqrt(3.0), 1e-12);
  EXPECT_NEAR(t_two_sided_p(4.302652730, 2), 0.05, 1e-9);
  EXPECT_DOUBLE_EQ(t_two_sided_p(0, 5), 1);
}

TEST(SessionStats, GeometricMeanWithATIntervalOnTheLogarithms) {
  // Logarithms 0, 1, 2: mean 1, variance 1, standard error 1/sqrt(3), t(2).
  const Estimate three = geometric_mean_interval({1, e, e * e});
  EXPECT_NEAR(three.estimate, e, 1e-12);
  ASSERT_TRUE(three.interval);
  EXPECT_NEAR(three.interval->low, 0.22669773521, 1e-9);
  EXPECT_NEAR(three.interval->high, 32.594309299, 1e-7);
  // Two sessions: logarithms 0 and 2, standard error 1, t(1) = 12.706.
  const Estimate two = geometric_mean_interval({1, e * e});
  EXPECT_NEAR(two.estimate, e, 1e-12);
  ASSERT_TRUE(two.interval);
  EXPECT_NEAR(std::log(two.interval->low), 1 - 12.706204736, 1e-8);
  EXPECT_NEAR(std::log(two.interval->high), 1 + 12.706204736, 1e-8);
  // One session has a figure but no interval; nothing, or a time that is not
  // positive, has neither.
  const Estimate one = geometric_mean_interval({0.25});
  EXPECT_DOUBLE_EQ(one.estimate, 0.25);
  EXPECT_FALSE(one.interval);
  EXPECT_TRUE(std::isnan(geometric_mean_interval({}).estimate));
  EXPECT_TRUE(std::isnan(geometric_mean_interval({1, 0}).estimate));
  EXPECT_FALSE(geometric_mean_interval({1, -1}).interval);
}

TEST(SessionStats, WelchOnTheLogarithms) {
  // Logarithms {0, 2} against {1, 3}: shift -1, variances 2/2 each, so the
  // standard error is sqrt(2), t = -1/sqrt(2) and Welch-Satterthwaite gives
  // exactly 2 degrees of freedom.
  const auto equal = welch_log({1, e * e}, {e, e * e * e});
  ASSERT_TRUE(equal);
  EXPECT_NEAR(equal->ratio, 1 / e, 1e-12);
  EXPECT_NEAR(equal->t, -1 / std::sqrt(2.0), 1e-12);
  EXPECT_NEAR(equal->df, 2, 1e-12);
  EXPECT_NEAR(equal->p, 0.55278640450, 1e-9);  // 1 - t / sqrt(t^2 + 2)
  EXPECT_NEAR(equal->ratio_interval.low, 0.00083768381, 1e-11);
  EXPECT_NEAR(equal->ratio_interval.high, 161.55891010, 1e-6);
  // Unequal sizes: {0, 2} (variance of the mean 1) against {1, 1, 4}
  // (variance 3, of the mean 1): df = (1 + 1)^2 / (1/1 + 1/2) = 8/3, and p lies
  // between those of 2 and 3 degrees of freedom at the same t.
  const auto unequal = welch_log({1, e * e}, {e, e, std::exp(4.0)});
  ASSERT_TRUE(unequal);
  EXPECT_NEAR(unequal->df, 8.0 / 3, 1e-12);
  EXPECT_NEAR(unequal->t, -1 / std::sqrt(2.0), 1e-12);
  EXPECT_GT(unequal->p, t_two_sided_p(unequal->t, 3));
  EXPECT_LT(unequal->p, t_two_sided_p(unequal->t, 2));
  // No spread on either side: a shift is certain, none is no change at all.
  const auto exact = welch_log({2, 2}, {1, 1});
  ASSERT_TRUE(exact);
  EXPECT_DOUBLE_EQ(exact->ratio, 2);
  EXPECT_DOUBLE_EQ(exact->p, 0);
  EXPECT_DOUBLE_EQ(welch_log({2, 2}, {2, 2})->p, 1);
  // Fewer than two sessions on a side, or a time that is not positive: no test.
  EXPECT_FALSE(welch_log({1}, {1, 2}));
  EXPECT_FALSE(welch_log({1, 2}, {1, 0}));
}

TEST(SessionStats, HolmAdjustsStepDownInTheGivenOrder) {
  // Sorted 0.005, 0.01, 0.03, 0.04 take factors 4, 3, 2, 1: 0.02, 0.03, 0.06,
  // and 0.04 raised to 0.06 so that the order of the p-values is kept.
  const std::vector<double> adjusted = holm_adjust({0.01, 0.04, 0.03, 0.005});
  ASSERT_EQ(adjusted.size(), 4u);
  EXPECT_NEAR(adjusted[0], 0.03, 1e-15);
  EXPECT_NEAR(adjusted[1], 0.06, 1e-15);
  EXPECT_NEAR(adjusted[2], 0.06, 1e-15);
  EXPECT_NEAR(adjusted[3], 0.02, 1e-15);
  EXPECT_DOUBLE_EQ(holm_adjust({0.5, 0.9})[1], 1);  // capped at 1
  // A test not made is no comparison: it is left out of the count.
  const std::vector<double> some =
      holm_adjust({0.01, std::numeric_limits<double>::quiet_NaN(), 0.02});
  EXPECT_NEAR(some[0], 0.02, 1e-15);
  EXPECT_TRUE(std::isnan(some[1]));
  EXPECT_NEAR(some[2], 0.02, 1e-15);
}

TEST(SessionStats, KruskalWallisWithAndWithoutTies) {
  // Rank sums 6, 15, 24 of 9: H = 12/90 * (36 + 225 + 576)/3 - 30 = 7.2, and
  // with 2 degrees of freedom P(chi2 > h) = exp(-h/2).
  const KruskalWallis apart = kruskal_wallis({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
  EXPECT_NEAR(apart.h, 7.2, 1e-12);
  EXPECT_EQ(apart.df, 2);
  EXPECT_NEAR(apart.p, std::exp(-3.6), 1e-12);
  // Ranks 1.5 1.5 3.5 | 3.5 5.5 5.5: H = 12/42 * (6.5^2 + 14.5^2)/3 - 21 =
  // 3.047619; three ties of two divide it by 1 - 18/210, giving 10/3; with one
  // degree of freedom P(chi2 > h) = erfc(sqrt(h/2)).
  const KruskalWallis tied = kruskal_wallis({{1, 1, 2}, {2, 3, 3}});
  EXPECT_NEAR(tied.h, 10.0 / 3, 1e-12);
  EXPECT_EQ(tied.df, 1);
  EXPECT_NEAR(tied.p, std::erfc(std::sqrt(10.0 / 6)), 1e-12);
  // Nothing to compare: one group, or every value the same.
  EXPECT_DOUBLE_EQ(kruskal_wallis({{1, 2, 3}}).p, 1);
  EXPECT_DOUBLE_EQ(kruskal_wallis({{1, 2, 3}, {}}).p, 1);
  EXPECT_DOUBLE_EQ(kruskal_wallis({{2, 2}, {2, 2}}).p, 1);
}

TEST(SessionStats, VerdictsAtTheAdjustedAlpha) {
  // One series alone: Holm leaves its p as it is.
  const auto verdict = [](double ratio, double p) {
    ReferenceTest t;
    t.ratio = ratio;
    t.p = p;
    return decide({t}).at(0).verdict;
  };
  EXPECT_EQ(verdict(0.9, 0.049), VerdictKind::Faster);
  EXPECT_EQ(verdict(1.1, 0.049), VerdictKind::Slower);
  EXPECT_EQ(verdict(0.9, 0.05), VerdictKind::NoSignificantChange);
}

}  // namespace
}  // namespace compare
