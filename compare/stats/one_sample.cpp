#include "compare/stats/one_sample.h"

#include <algorithm>
#include <boost/math/distributions/binomial.hpp>
#include <cmath>
#include <limits>

#include "compare/stats/statistical_tests.h"

namespace compare {

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
