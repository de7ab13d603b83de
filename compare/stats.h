// The statistics of a comparison: pure functions of the round times, with no
// input or output, so that each can be checked against hand-worked values.
#pragma once

#include <optional>
#include <vector>

#include "compare/model.h"

namespace compare {

// Median of the values (the mean of the middle two for an even count); NaN when empty.
double median(std::vector<double> values);

// Median absolute deviation from the median, unscaled; NaN when empty.
double mad(const std::vector<double>& values);

// The sign test's order statistic for a 95% interval of a median from n
// values: the largest k with P(Binomial(n, 1/2) <= k - 1) <= 0.025, or 0 when
// n is too small for any interval (n < 6).
int sign_test_k(int n);

// The distribution-free 95% interval [d(k), d(n+1-k)] of the median of d.
std::optional<Interval> sign_interval(std::vector<double> d);

// Two-sided Mann-Whitney U test of two independent samples.
struct MannWhitney {
  double u = 0;  // U of the first sample
  double p = 1;  // two-sided p-value: exact for small samples without ties,
                 // else the normal approximation with tie and continuity corrections
};
MannWhitney mann_whitney(const std::vector<double>& a, const std::vector<double>& b);

// Lag-1 autocorrelation of a series; NaN for fewer than 3 values or no variance.
double lag1_autocorrelation(const std::vector<double>& values);

// Two-sided p-value of a monotonic trend of the values against their order
// (Mann-Kendall); 1 for fewer than 3 values.
double trend_p_value(const std::vector<double>& values);

// Per-test paired differences random - fixed of the rounds, in round order.
std::vector<double> differences(const std::vector<Round>& rounds, int test);
std::vector<double> series(const std::vector<Round>& rounds, Side side, int test);

// The summary of every test.
std::vector<TestResult> summarise(const std::vector<Round>& rounds);

// Compares each test's random, fixed and difference series with a baseline's
// rounds at alpha = 0.05.
std::vector<BaselineVerdict> compare_with_baseline(const std::vector<Round>& now,
                                                   const std::vector<Round>& baseline);

}  // namespace compare
