#include "compare/stats/one_sample.h"

#include <algorithm>
#include <boost/math/distributions/binomial.hpp>
#include <cmath>
#include <limits>

#include "compare/stats/statistical_tests.h"

namespace compare {

double sign_test_p(const std::vector<double>& values) {
  long long n = 0;
  long long k = 0;
  for (const double v : values) {
    if (v == 0 || std::isnan(v)) continue;
    ++n;
    k += v > 0 ? 1 : 0;
  }
  if (n == 0) return 1;
  const boost::math::binomial_distribution<double> dist(static_cast<double>(n), 0.5);
  const double at_most = boost::math::cdf(dist, static_cast<double>(k));
  const double at_least =
      k == 0 ? 1.0 : boost::math::cdf(boost::math::complement(dist, static_cast<double>(k) - 1));
  return std::min(1.0, 2 * std::min(at_most, at_least));
}

std::optional<OneSampleT> one_sample_t(const std::vector<double>& values) {
  if (values.size() < 2 ||
      std::any_of(values.begin(), values.end(), [](double v) { return std::isnan(v); }))
    return std::nullopt;
  const double n = static_cast<double>(values.size());
  double mean = 0;
  for (const double v : values) mean += v / n;
  double squares = 0;
  for (const double v : values) squares += (v - mean) * (v - mean);
  OneSampleT r;
  r.mean = mean;
  r.df = n - 1;
  const double se = std::sqrt(squares / r.df / n);
  if (se == 0) {
    r.interval = Interval{mean, mean};
    r.t = mean == 0 ? 0 : std::copysign(std::numeric_limits<double>::infinity(), mean);
    r.p = mean == 0 ? 1 : 0;
    return r;
  }
  const double half = t_critical_95(r.df) * se;
  r.interval = Interval{mean - half, mean + half};
  r.t = mean / se;
  r.p = t_two_sided_p(r.t, r.df);
  return r;
}

}  // namespace compare
