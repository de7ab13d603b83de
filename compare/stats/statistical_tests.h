// stats/: the pure statistics of bench_compare, apart from processes and
// output: functions of the rounds' times (and counts and usage), so that each
// can be checked against hand-worked values. Uses model.h and Boost.Math only
// (and nlohmann's JSON values, to compare two exports' methods).
// This header: the statistical tests and estimates on plain vectors.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

// What a figure is where there is none.
inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

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

// Mann-Kendall's S of the values against their order: the pairs i < j with
// values[i] < values[j] less those with values[i] > values[j]. With `sorted`,
// the values in ascending order are left there. O(n log n); no NaN.
std::int64_t mann_kendall_s(const std::vector<double>& values,
                            std::vector<double>* sorted = nullptr);

// Two-sided p-value of a monotonic trend of the values against their order
// (Mann-Kendall); 1 for fewer than 3 values.
double trend_p_value(const std::vector<double>& values);

// ---- Across sessions ----
// Times of one session share that session's speed of the machine, and that
// speed multiplies every time in it: on the logarithmic scale session effects
// add, so the session-level figures are means of logarithms with Student's t.

// A figure and, where it can be had, its 95% interval.
struct Estimate {
  double estimate = std::numeric_limits<double>::quiet_NaN();
  std::optional<Interval> interval;
};

// Geometric mean of positive values with a 95% interval from Student's t on
// their logarithms (n - 1 degrees of freedom); no interval for fewer than 2
// values; estimate NaN when empty or any value is not positive.
Estimate geometric_mean_interval(const std::vector<double>& values);

// Welch's t-test on the logarithms of two independent samples of positive values.
struct Welch {
  double ratio = 0;         // geometric mean of a / geometric mean of b
  Interval ratio_interval;  // its 95% interval, exp(mean difference +- t * se)
  double t = 0;
  double df = 0;  // Welch-Satterthwaite degrees of freedom
  double p = 1;   // two-sided
};
// nullopt when either side has fewer than 2 values or a value that is not positive.
std::optional<Welch> welch_log(const std::vector<double>& a, const std::vector<double>& b);

// Holm's step-down adjustment of p-values, returned in the given order.
std::vector<double> holm_adjust(const std::vector<double>& p);

// Kruskal-Wallis rank test of k groups (with the tie correction); p from the
// chi-square distribution with k - 1 degrees of freedom; p = 1 when there are
// fewer than 2 non-empty groups or every value is tied.
struct KruskalWallis {
  double h = 0;
  int df = 0;
  double p = 1;
};
KruskalWallis kruskal_wallis(const std::vector<std::vector<double>>& groups);

// Student's t: the two-sided 95% critical value, and a two-sided p-value.
double t_critical_95(double df);
double t_two_sided_p(double t, double df);

}  // namespace compare
