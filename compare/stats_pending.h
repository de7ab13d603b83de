// TEMPORARY stand-in for the session-level statistics until they are merged.
#pragma once
#include <algorithm>
#include <boost/math/distributions/students_t.hpp>
#include <cmath>
#include <limits>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {
struct Estimate {
  double estimate = std::numeric_limits<double>::quiet_NaN();
  std::optional<Interval> interval;
};
struct Welch {
  double ratio = 0;
  Interval ratio_interval;
  double t = 0;
  double df = 0;
  double p = 1;
};
inline double t_critical_95(double df) {
  return boost::math::quantile(boost::math::students_t(df), 0.975);
}
inline double t_two_sided_p(double t, double df) {
  return 2 * boost::math::cdf(boost::math::complement(boost::math::students_t(df), std::fabs(t)));
}
inline Estimate geometric_mean_interval(const std::vector<double>& v) {
  Estimate e;
  if (v.empty()) return e;
  for (double x : v)
    if (!(x > 0)) return e;
  double m = 0;
  for (double x : v) m += std::log(x);
  m /= v.size();
  e.estimate = std::exp(m);
  if (v.size() < 2) return e;
  double s = 0;
  for (double x : v) s += (std::log(x) - m) * (std::log(x) - m);
  s = std::sqrt(s / (v.size() - 1));
  double h = t_critical_95(v.size() - 1) * s / std::sqrt(double(v.size()));
  e.interval = Interval{std::exp(m - h), std::exp(m + h)};
  return e;
}
inline std::optional<Welch> welch_log(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() < 2 || b.size() < 2) return std::nullopt;
  for (double x : a)
    if (!(x > 0)) return std::nullopt;
  for (double x : b)
    if (!(x > 0)) return std::nullopt;
  auto mv = [](const std::vector<double>& v, double& m, double& var) {
    m = 0;
    for (double x : v) m += std::log(x);
    m /= v.size();
    var = 0;
    for (double x : v) var += (std::log(x) - m) * (std::log(x) - m);
    var /= (v.size() - 1);
  };
  double ma, va, mb, vb;
  mv(a, ma, va);
  mv(b, mb, vb);
  double sa = va / a.size(), sb = vb / b.size();
  double se = std::sqrt(sa + sb);
  Welch w;
  w.ratio = std::exp(ma - mb);
  w.df = (sa + sb) * (sa + sb) / (sa * sa / (a.size() - 1) + sb * sb / (b.size() - 1));
  if (!(se > 0)) {
    w.t = 0;
    w.p = ma == mb ? 1 : 0;
    w.ratio_interval = {w.ratio, w.ratio};
    return w;
  }
  w.t = (ma - mb) / se;
  w.p = t_two_sided_p(w.t, w.df);
  double h = t_critical_95(w.df) * se;
  w.ratio_interval = {std::exp(ma - mb - h), std::exp(ma - mb + h)};
  return w;
}
inline std::vector<double> holm_adjust(const std::vector<double>& p) {
  std::vector<size_t> order(p.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](size_t i, size_t j) { return p[i] < p[j]; });
  std::vector<double> out(p.size());
  double running = 0;
  for (size_t r = 0; r < order.size(); ++r) {
    running = std::max(running, std::min(1.0, (p.size() - r) * p[order[r]]));
    out[order[r]] = running;
  }
  return out;
}
inline std::string verdict_for(double ratio, double p_adjusted) {
  if (p_adjusted < kAlpha && ratio < 1) return "faster";
  if (p_adjusted < kAlpha && ratio > 1) return "slower";
  return "no significant change";
}
}  // namespace compare
