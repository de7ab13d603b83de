#include "compare/stats/detectable.h"

#include <algorithm>
#include <boost/math/distributions/binomial.hpp>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/distributions/students_t.hpp>
#include <boost/math/special_functions/beta.hpp>
#include <cmath>
#include <limits>
#include <vector>

namespace compare {

namespace {

bool positive_finite(const std::optional<double>& x) { return x && *x > 0 && std::isfinite(*x); }

// P(Bin(n, 1/2) >= c), doubled: the two-sided p of c units on one side.
double two_sided_tail(std::size_t n, std::size_t c) {
  if (c == 0) return 2;
  const boost::math::binomial_distribution<double> half(static_cast<double>(n), 0.5);
  return 2 * boost::math::cdf(boost::math::complement(half, static_cast<double>(c - 1)));
}

// The shift (log) the sign test calls with kDetectablePower. With units of
// spread sigma, a shift d puts a unit above 0 with p = Phi(d / sigma), and
// P(Bin(n, p) >= c) = I_p(c, n - c + 1): solved for p, then for d.
std::optional<double> sign_test_shift(std::size_t n, double sigma, double alpha) {
  const std::optional<std::size_t> c = sign_test_critical(n, alpha);
  if (!c) return std::numeric_limits<double>::infinity();
  const double p = boost::math::ibeta_inv(static_cast<double>(*c), static_cast<double>(n - *c + 1),
                                          kDetectablePower);
  if (!(p < 1)) return std::nullopt;
  return sigma * boost::math::quantile(boost::math::normal_distribution<double>(), p);
}

// The power of the agreeing-blocks test (stats/agreeing_blocks) over n
// blocks when each round lies above 0 with probability q, independently of
// its mirror: a block agrees up with q^2 and down with (1 - q)^2. Given k
// blocks agree, the count up is Bin(k, share up), called at critical[k].
double agreeing_power(const std::vector<std::optional<std::size_t>>& critical, double q) {
  const double up = q * q;
  const double agree = up + (1 - q) * (1 - q);
  const auto n = static_cast<double>(critical.size() - 1);
  const boost::math::binomial_distribution<double> agreeing(n, agree);
  double power = 0;
  for (std::size_t k = 1; k < critical.size(); ++k) {
    if (!critical[k]) continue;
    const boost::math::binomial_distribution<double> ups(static_cast<double>(k), up / agree);
    power += boost::math::pdf(agreeing, static_cast<double>(k)) *
             boost::math::cdf(boost::math::complement(ups, static_cast<double>(*critical[k]) - 1));
  }
  return power;
}

// The shift the agreeing-blocks test calls with kDetectablePower, rounds of
// spread sigma: the power rises with q, so q is found by halving.
double agreeing_shift(std::size_t n, double sigma, double alpha) {
  std::vector<std::optional<std::size_t>> critical(n + 1);
  for (std::size_t k = 1; k <= n; ++k) critical[k] = sign_test_critical(k, alpha);
  if (!critical[n]) return std::numeric_limits<double>::infinity();
  double low = 0.5;  // power below the goal
  double high = 1;   // at or above it: every block agrees up
  for (int i = 0; i < 60; ++i) {
    const double mid = (low + high) / 2;
    (agreeing_power(critical, mid) < kDetectablePower ? low : high) = mid;
  }
  if (!(high < 1)) return std::numeric_limits<double>::infinity();
  return sigma * boost::math::quantile(boost::math::normal_distribution<double>(), high);
}

// The usual approximation of the noncentral t: the shift at which the test
// statistic's centre lies t_{0.80} beyond the critical value.
double t_shift(double se, double df, double alpha) {
  const boost::math::students_t_distribution<double> t(df);
  return (boost::math::quantile(boost::math::complement(t, alpha / 2)) +
          boost::math::quantile(t, kDetectablePower)) *
         se;
}

}  // namespace

std::optional<std::size_t> sign_test_critical(std::size_t n, double alpha) {
  if (n == 0 || !(two_sided_tail(n, n) < alpha)) return std::nullopt;
  // The tail falls as c grows: the smallest c below alpha, by halving.
  std::size_t low = 0;   // does not reach alpha
  std::size_t high = n;  // does
  while (high - low > 1) {
    const std::size_t mid = low + (high - low) / 2;
    (two_sided_tail(n, mid) < alpha ? high : low) = mid;
  }
  return high;
}

std::optional<Detectable> detectable(const ReferenceTest& test, std::size_t tested) {
  if (!test.p || tested == 0) return std::nullopt;
  const double alpha = kAlpha / static_cast<double>(tested);
  std::optional<double> shift;
  switch (test.method) {
    case RatioMethod::SignTest:
      if (positive_finite(test.spread)) shift = sign_test_shift(test.units, *test.spread, alpha);
      break;
    case RatioMethod::AgreeingBlocks:
      if (positive_finite(test.spread)) shift = agreeing_shift(test.units, *test.spread, alpha);
      break;
    case RatioMethod::StudentT:
    case RatioMethod::Welch:
      if (positive_finite(test.se) && positive_finite(test.df))
        shift = t_shift(*test.se, *test.df, alpha);
      break;
    default:
      break;
  }
  if (!shift || !(*shift > 0)) return std::nullopt;
  return Detectable{std::exp(*shift), std::exp(-*shift)};
}

double detectable_percent(const Detectable& d) {
  const double percent = std::max(d.slower - 1, 1 - d.faster) * 100;
  // Up to the next tenth, but not past one that rounding error alone missed.
  return std::ceil(percent * 10 - 1e-9) / 10;
}

}  // namespace compare
