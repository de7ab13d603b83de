#include "compare/stats/builds.h"

#include <cmath>
#include <map>

#include "compare/stats/across_sessions.h"
#include "compare/stats/one_sample.h"
#include "compare/stats/statistical_tests.h"

namespace compare {

namespace {

double value_of(const Round& r, Series which, int test) {
  const auto t = static_cast<std::size_t>(test);
  switch (which) {
    case Series::Random:
      return r.random.at(t);
    case Series::Fixed:
      return r.fixed.at(t);
    default:
      return r.random.at(t) - r.fixed.at(t);
  }
}

RatioTest ratio_of(const Build& build, const Build& ref, Series which, int test) {
  if (build.sessions.size() < 2 || ref.sessions.size() < 2) {
    return ratio_in_one_session(round_log_ratios(rounds_of(build), rounds_of(ref), which, test));
  }
  std::vector<std::vector<double>> per_session;
  for (std::size_t s = 0; s < build.sessions.size() && s < ref.sessions.size(); ++s) {
    per_session.push_back(
        round_log_ratios(build.sessions[s].rounds, ref.sessions[s].rounds, which, test));
  }
  return ratio_across_sessions(per_session);
}

}  // namespace

std::vector<double> round_log_ratios(const std::vector<Round>& build,
                                     const std::vector<Round>& reference, Series which, int test) {
  std::map<RoundKey, const Round*> by_key;
  for (const Round& r : reference) by_key[key_of(r)] = &r;
  std::vector<double> logs;
  for (const Round& r : build) {
    const auto found = by_key.find(key_of(r));
    if (found == by_key.end()) continue;
    const double a = value_of(r, which, test);
    const double b = value_of(*found->second, which, test);
    if (a > 0 && b > 0 && std::isfinite(a) && std::isfinite(b)) logs.push_back(std::log(a / b));
  }
  return logs;
}

RatioTest ratio_in_one_session(const std::vector<double>& log_ratios) {
  RatioTest r;
  if (log_ratios.empty()) return r;
  r.ratio = std::exp(median(log_ratios));
  if (const auto interval = sign_interval(log_ratios)) {
    r.interval = Interval{std::exp(interval->low), std::exp(interval->high)};
  }
  r.p = sign_test_p(log_ratios);
  return r;
}

RatioTest ratio_across_sessions(const std::vector<std::vector<double>>& log_ratios) {
  std::vector<double> medians;
  for (const std::vector<double>& session : log_ratios) {
    if (!session.empty()) medians.push_back(median(session));
  }
  if (medians.size() < 2) {
    return ratio_in_one_session(log_ratios.empty() ? std::vector<double>{} : log_ratios.front());
  }
  RatioTest r;
  const std::optional<OneSampleT> t = one_sample_t(medians);
  r.ratio = std::exp(t->mean);
  r.interval = Interval{std::exp(t->interval.low), std::exp(t->interval.high)};
  r.p = t->p;
  r.df = t->df;
  return r;
}

std::vector<Verdict> compare_builds(const Comparison& c) {
  const Build& ref = reference_of(c);
  std::vector<Verdict> verdicts;
  std::vector<double> p;  // of the series tested, adjusted together
  for (const Build& build : c.builds) {
    if (&build == &ref) continue;
    for (int test = 0; test < kTests; ++test) {
      for (const Series which : kSeries) {
        const RatioTest r = ratio_of(build, ref, which, test);
        Verdict v;
        v.entry = build.label;
        v.test = kTestNames.at(static_cast<std::size_t>(test));
        v.series = which;
        v.ratio = r.ratio;
        v.ratio_interval = r.interval;
        v.p_value = r.p;
        v.df = r.df;
        v.p_adjusted = std::nan("");
        if (std::isfinite(r.p)) p.push_back(r.p);
        verdicts.push_back(std::move(v));
      }
    }
  }
  const std::vector<double> adjusted = holm_adjust(p);
  std::size_t next = 0;
  for (Verdict& v : verdicts) {
    if (!std::isfinite(v.p_value)) {
      v.verdict = kNotComparable;
      continue;
    }
    v.p_adjusted = adjusted.at(next++);
    v.verdict = verdict_for(v.ratio, v.p_adjusted);
  }
  return verdicts;
}

}  // namespace compare
