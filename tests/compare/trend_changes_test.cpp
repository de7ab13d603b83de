// A trend's changes: each series searched, adjusted over the whole trend, and
// the nightly job's question, on seeded series with a known step.
#include "compare/history/trend_changes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace compare {
namespace {

// `n` sessions of 1 s with lognormal noise of `sd`, times `step` from `at` on.
TrendSeries series_of(std::size_t n, std::size_t at, double step, double sd, std::uint64_t seed) {
  std::mt19937_64 gen(seed);
  std::normal_distribution<double> noise(0, sd);
  TrendSeries s;
  s.test = "DNA";
  for (std::size_t i = 0; i < n; ++i) {
    TrendPoint p;
    p.started_at = "2026-12-10T00:00:00Z";
    p.value = (i >= at ? step : 1.0) * std::exp(noise(gen));
    s.points.push_back(p);
  }
  return s;
}

TEST(TrendChanges, AStepIsFoundWhereItBeginsAndAFlatSeriesKeepsNone) {
  Trend t;
  t.series = {series_of(40, 25, 1.05, 0.005, 1), series_of(40, 40, 1, 0.005, 2)};
  find_trend_changes(t, 7);
  ASSERT_EQ(t.series[0].changes.size(), 1U);
  const ChangePoint& c = t.series[0].changes[0];
  EXPECT_EQ(c.first, 25U);
  EXPECT_EQ(c.verdict, VerdictKind::Slower);
  EXPECT_NEAR(c.ratio, 1.05, 0.005);
  EXPECT_LT(c.interval->low, c.ratio);
  EXPECT_GE(*c.p_adjusted, c.p);  // adjusted over the whole trend
  EXPECT_NEAR(c.median_before, 1.0, 0.005);
  for (const ChangePoint& flat : t.series[1].changes) EXPECT_FALSE(significant(flat));
  // The change began 15 sessions before the last: a job looking at the
  // latest 15 fails, one looking at the latest 14 does not.
  EXPECT_TRUE(slower_among_latest(t, 15));
  EXPECT_FALSE(slower_among_latest(t, 14));
  // Faster is no failure.
  t.series[0].changes[0].verdict = VerdictKind::Faster;
  EXPECT_FALSE(slower_among_latest(t, 40));
  // The same seed, the same report; searching again replaces, never adds.
  find_trend_changes(t, 7);
  ASSERT_EQ(t.series[0].changes.size(), 1U);
  EXPECT_EQ(t.series[0].changes[0].verdict, VerdictKind::Slower);
}

TEST(TrendChanges, AnEmptyTrendAndShortSeriesFindNothing) {
  Trend empty;
  find_trend_changes(empty, 1);
  EXPECT_FALSE(slower_among_latest(empty, 5));
  Trend t;
  t.series = {series_of(2, 1, 2.0, 0.001, 3), TrendSeries{}};
  find_trend_changes(t, 1);
  EXPECT_TRUE(t.series[0].changes.empty());
  EXPECT_TRUE(t.series[1].changes.empty());
}

}  // namespace
}  // namespace compare
