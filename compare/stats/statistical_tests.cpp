// The statistical tests and estimates, on plain vectors. Within a session
// every choice favours methods that assume nothing about how the times are
// distributed: benchmark times are skewed (a run can only be slowed down,
// never sped up, by interference), so medians, the sign test and rank tests
// serve there. Across sessions, where each session counts once through its
// median, Student's t on logarithms serves (see below).
#include "compare/stats/statistical_tests.h"

#include <algorithm>
#include <array>
#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/students_t.hpp>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>

namespace compare {

namespace {

bool has_nan(const std::vector<double>& values) {
  return std::any_of(values.begin(), values.end(), [](double v) { return std::isnan(v); });
}

// Two-sided p-value of a standard normal deviate.
double normal_two_sided(double z) {
  return std::min(1.0, std::erfc(std::fabs(z) / std::sqrt(2.0)));
}

// Sizes of the runs of equal values in sorted data; only runs longer than one.
std::vector<double> tie_sizes(const std::vector<double>& sorted) {
  std::vector<double> ties;
  for (std::size_t i = 0; i < sorted.size();) {
    std::size_t j = i + 1;
    while (j < sorted.size() && sorted[j] == sorted[i]) ++j;
    if (j - i > 1) ties.push_back(static_cast<double>(j - i));
    i = j;
  }
  return ties;
}

// Mid-ranks of the pooled values (tied values share the mean of their ranks),
// summed per group; `sorted` receives the values in order, for the tie
// corrections. O(N log N) however many values.
std::vector<double> rank_sums(std::vector<std::pair<double, std::size_t>> pooled,
                              std::size_t groups, std::vector<double>& sorted) {
  std::sort(pooled.begin(), pooled.end(),
            [](const auto& x, const auto& y) { return x.first < y.first; });
  std::vector<double> sums(groups, 0);
  sorted.clear();
  sorted.reserve(pooled.size());
  for (std::size_t i = 0; i < pooled.size();) {
    std::size_t j = i + 1;
    while (j < pooled.size() && pooled[j].first == pooled[i].first) ++j;
    const double mid_rank = (static_cast<double>(i + 1) + static_cast<double>(j)) / 2;
    for (std::size_t t = i; t < j; ++t) {
      sums.at(pooled[t].second) += mid_rank;
      sorted.push_back(pooled[t].first);
    }
    i = j;
  }
  return sums;
}

// Number of arrangements of m values of one sample among n of the other that
// give each U = 0..m*n: the coefficients of the Gaussian binomial
// [m+n choose m]_q, built as prod_{i=1..m} (1 - q^(n+i)) / (1 - q^i). After
// each step the polynomial is again a Gaussian binomial, so every coefficient
// stays an integer no larger than C(m+n, m) and the arithmetic is exact.
std::vector<std::int64_t> u_counts(std::size_t m, std::size_t n) {
  const std::size_t top = m * n;
  std::vector<std::int64_t> c(top + 1, 0);
  c[0] = 1;
  for (std::size_t i = 1; i <= m; ++i) {
    const std::size_t up = n + i;
    for (std::size_t u = top; u >= up; --u) c[u] -= c[u - up];
    for (std::size_t u = i; u <= top; ++u) c[u] += c[u - i];
  }
  return c;
}

// Exact counts fit an int64 with room to spare while m*n <= 400
// (the largest total, C(40, 20), is about 1.4e11).
constexpr std::size_t kExactLimit = 400;

double exact_u_p(double u, std::size_t m, std::size_t n) {
  const std::vector<std::int64_t> counts = u_counts(m, n);
  const auto observed = static_cast<std::size_t>(std::llround(u));
  double total = 0;
  double below = 0;  // arrangements with U <= observed
  double above = 0;  // arrangements with U >= observed
  for (std::size_t k = 0; k < counts.size(); ++k) {
    const auto count = static_cast<double>(counts[k]);
    total += count;
    if (k <= observed) below += count;
    if (k >= observed) above += count;
  }
  return std::min(1.0, 2.0 * std::min(below, above) / total);
}

}  // namespace

double median(std::vector<double> values) {
  if (values.empty() || has_nan(values)) return kNaN;
  const std::size_t n = values.size();
  const auto mid = values.begin() + static_cast<std::ptrdiff_t>(n / 2);
  std::nth_element(values.begin(), mid, values.end());
  const double upper = *mid;
  if (n % 2 == 1) return upper;
  const double lower = *std::max_element(values.begin(), mid);
  return lower + (upper - lower) / 2;
}

double mad(const std::vector<double>& values) {
  const double centre = median(values);
  if (std::isnan(centre)) return kNaN;
  std::vector<double> deviations;
  deviations.reserve(values.size());
  for (double v : values) deviations.push_back(std::fabs(v - centre));
  return median(std::move(deviations));
}

int sign_test_k(int n) {
  if (n < 6) return 0;
  // Walk the binomial distribution up from 0 in log space, so that 2^-n
  // neither underflows nor loses precision however many rounds there are.
  const long double log_half = std::log(0.5L);
  long double log_pmf = static_cast<long double>(n) * log_half;  // P(X = 0)
  long double cdf = 0;
  int k = 0;
  while (k < n) {
    const long double next = cdf + std::exp(log_pmf);
    if (next > 0.025L) break;
    cdf = next;
    log_pmf += std::log(static_cast<long double>(n - k) / static_cast<long double>(k + 1));
    ++k;
  }
  return k;
}

std::optional<Interval> sign_interval(std::vector<double> d) {
  const int k = sign_test_k(static_cast<int>(
      std::min<std::size_t>(d.size(), static_cast<std::size_t>(std::numeric_limits<int>::max()))));
  if (k == 0 || has_nan(d)) return std::nullopt;
  std::sort(d.begin(), d.end());
  const auto low = static_cast<std::size_t>(k) - 1;  // d(k), 1-based
  const std::size_t high = d.size() - low - 1;       // d(n+1-k), 1-based
  return Interval{d[low], d[high]};
}

MannWhitney mann_whitney(const std::vector<double>& a, const std::vector<double>& b) {
  MannWhitney result;
  if (a.empty() || b.empty()) return result;
  if (has_nan(a) || has_nan(b)) return MannWhitney{kNaN, 1.0};

  // U from the ranks of the pooled sample.
  std::vector<std::pair<double, std::size_t>> pooled;  // value, sample (0 the first)
  pooled.reserve(a.size() + b.size());
  for (double v : a) pooled.emplace_back(v, 0);
  for (double v : b) pooled.emplace_back(v, 1);
  std::vector<double> sorted;
  const double rank_sum = rank_sums(std::move(pooled), 2, sorted).front();
  const auto n1 = static_cast<double>(a.size());
  const auto n2 = static_cast<double>(b.size());
  result.u = rank_sum - n1 * (n1 + 1) / 2;

  const std::vector<double> ties = tie_sizes(sorted);
  if (ties.empty() && a.size() * b.size() <= kExactLimit) {
    result.p = exact_u_p(result.u, a.size(), b.size());
    return result;
  }
  const double total = n1 + n2;
  double tie_term = 0;
  for (double t : ties) tie_term += t * t * t - t;
  const double variance = n1 * n2 / 12 * ((total + 1) - tie_term / (total * (total - 1)));
  if (!(variance > 0)) return result;  // every value equal: no evidence either way
  const double excess = std::max(0.0, std::fabs(result.u - n1 * n2 / 2) - 0.5);
  result.p = normal_two_sided(excess / std::sqrt(variance));
  return result;
}

double lag1_autocorrelation(const std::vector<double>& values) {
  if (values.size() < 3) return kNaN;
  double mean = 0;
  for (double v : values) mean += v;
  mean /= static_cast<double>(values.size());
  double variance = 0;
  double lagged = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    variance += (values[i] - mean) * (values[i] - mean);
    if (i + 1 < values.size()) lagged += (values[i] - mean) * (values[i + 1] - mean);
  }
  // Equal values whose mean rounds off leave a variance of rounding alone,
  // whose "correlation" is (n-1)/n: no variation at all, so no answer.
  const double rounding = 4 * std::numeric_limits<double>::epsilon() * std::fabs(mean);
  if (!(variance > static_cast<double>(values.size()) * rounding * rounding)) return kNaN;
  return lagged / variance;
}

// Always the normal approximation with a continuity correction: even at four
// values it is close to the exact distribution (a strictly increasing series
// gives 0.090 against the exact 0.083), and the drift warning it feeds
// matters in long runs, where it is accurate.
double trend_p_value(const std::vector<double>& values) {
  if (values.size() < 3 || has_nan(values)) return 1.0;
  std::vector<double> sorted;
  const auto s = static_cast<double>(mann_kendall_s(values, &sorted));
  const auto n = static_cast<double>(values.size());
  double variance = n * (n - 1) * (2 * n + 5);
  for (double t : tie_sizes(sorted)) variance -= t * (t - 1) * (2 * t + 5);
  variance /= 18;
  if (s == 0 || !(variance > 0)) return 1.0;
  const double corrected = s > 0 ? s - 1 : s + 1;
  return normal_two_sided(corrected / std::sqrt(variance));
}

// ---- Across sessions ----
// Session medians are few (often 3 to 10) and, on the log scale, close to
// normal, since a session's speed scales all its times: that is what t on
// logarithms assumes, and with so few values a rank method has no power.

namespace {

bool all_positive(const std::vector<double>& values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return v > 0; });
}

struct LogMoments {
  double mean = 0;
  double variance = 0;  // sample variance, n - 1 in the denominator
  double n = 0;
};

LogMoments log_moments(const std::vector<double>& values) {
  LogMoments m;
  m.n = static_cast<double>(values.size());
  for (double v : values) m.mean += std::log(v);
  m.mean /= m.n;
  for (double v : values) m.variance += (std::log(v) - m.mean) * (std::log(v) - m.mean);
  if (values.size() > 1) m.variance /= m.n - 1;
  return m;
}

}  // namespace

double t_critical_95(double df) {
  if (!(df > 0)) return kNaN;
  const boost::math::students_t dist(df);
  return boost::math::quantile(boost::math::complement(dist, (1 - kConfidence) / 2));
}

double t_two_sided_p(double t, double df) {
  if (std::isnan(t) || !(df > 0)) return kNaN;
  if (std::isinf(t)) return 0;
  const boost::math::students_t dist(df);
  return std::min(1.0, 2 * boost::math::cdf(boost::math::complement(dist, std::fabs(t))));
}

Estimate geometric_mean_interval(const std::vector<double>& values) {
  Estimate result;
  if (values.empty() || has_nan(values) || !all_positive(values)) return result;
  const LogMoments m = log_moments(values);
  result.estimate = std::exp(m.mean);
  if (values.size() < 2) return result;
  const double half = t_critical_95(m.n - 1) * std::sqrt(m.variance / m.n);
  result.interval = Interval{std::exp(m.mean - half), std::exp(m.mean + half)};
  return result;
}

std::optional<Welch> welch_log(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() < 2 || b.size() < 2 || has_nan(a) || has_nan(b)) return std::nullopt;
  if (!all_positive(a) || !all_positive(b)) return std::nullopt;
  const LogMoments x = log_moments(a);
  const LogMoments y = log_moments(b);
  const double shift = x.mean - y.mean;
  const double va = x.variance / x.n;
  const double vb = y.variance / y.n;
  const double se = std::sqrt(va + vb);
  Welch w;
  w.ratio = std::exp(shift);
  if (!(se > 0)) {
    // Every session gave the same time on each side: the shift is exact.
    w.t = shift == 0 ? 0 : std::copysign(std::numeric_limits<double>::infinity(), shift);
    w.df = x.n + y.n - 2;
    w.p = shift == 0 ? 1 : 0;
    w.ratio_interval = Interval{w.ratio, w.ratio};
    return w;
  }
  w.t = shift / se;
  w.df = (va + vb) * (va + vb) / (va * va / (x.n - 1) + vb * vb / (y.n - 1));
  w.p = t_two_sided_p(w.t, w.df);
  const double half = t_critical_95(w.df) * se;
  w.ratio_interval = Interval{std::exp(shift - half), std::exp(shift + half)};
  return w;
}

std::vector<double> holm_adjust(const std::vector<double>& p) {
  const std::size_t m = p.size();
  std::vector<std::size_t> order(m);
  for (std::size_t i = 0; i < m; ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
    // A NaN p-value (no test made) sorts last and stays NaN.
    if (std::isnan(p[x]) || std::isnan(p[y])) return !std::isnan(p[x]) && std::isnan(p[y]);
    return p[x] < p[y];
  });
  std::vector<double> adjusted(m, kNaN);
  // Only the tests actually made count towards the correction.
  const auto made = static_cast<std::size_t>(
      std::count_if(p.begin(), p.end(), [](double v) { return !std::isnan(v); }));
  double running = 0;  // step-down: an adjusted p never falls below an earlier one
  for (std::size_t rank = 0; rank < made; ++rank) {
    const std::size_t i = order[rank];
    running = std::max(running, std::min(1.0, static_cast<double>(made - rank) * p[i]));
    adjusted[i] = running;
  }
  return adjusted;
}

KruskalWallis kruskal_wallis(const std::vector<std::vector<double>>& groups) {
  KruskalWallis result;
  std::vector<std::pair<double, std::size_t>> pooled;  // value, group
  int non_empty = 0;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    if (has_nan(groups[g])) return result;
    if (!groups[g].empty()) ++non_empty;
    for (double v : groups[g]) pooled.emplace_back(v, g);
  }
  if (non_empty < 2) return result;
  const auto n = static_cast<double>(pooled.size());
  std::vector<double> sorted;
  const std::vector<double> sums = rank_sums(std::move(pooled), groups.size(), sorted);
  double h = 0;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    if (groups[g].empty()) continue;
    h += sums[g] * sums[g] / static_cast<double>(groups[g].size());
  }
  h = 12 / (n * (n + 1)) * h - 3 * (n + 1);
  double tie_term = 0;
  for (double t : tie_sizes(sorted)) tie_term += t * t * t - t;
  const double correction = 1 - tie_term / (n * n * n - n);
  if (!(correction > 0)) return result;  // every value tied: no evidence of a difference
  result.h = h / correction;
  result.df = non_empty - 1;
  const boost::math::chi_squared dist(result.df);
  result.p = boost::math::cdf(boost::math::complement(dist, std::max(0.0, result.h)));
  return result;
}

}  // namespace compare
