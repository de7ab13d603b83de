#include "compare/stats/reference.h"

#include <algorithm>
#include <boost/math/distributions/binomial.hpp>
#include <cmath>
#include <functional>

#include "compare/stats/agreeing_blocks.h"
#include "compare/stats/detectable.h"
#include "compare/stats/one_sample.h"
#include "compare/stats/statistical_tests.h"

namespace compare {

namespace {

bool usable(double v) { return v > 0 && std::isfinite(v); }

bool all_same(const std::vector<double>& values) {
  return std::adjacent_find(values.begin(), values.end(), std::not_equal_to<>()) == values.end();
}

// The sample variance (n - 1) of at least two values.
double sample_variance(const std::vector<double>& values) {
  const double n = static_cast<double>(values.size());
  double mean = 0;
  for (const double v : values) mean += v / n;
  double squares = 0;
  for (const double v : values) squares += (v - mean) * (v - mean);
  return squares / (n - 1);
}

std::vector<double> logs_of(const std::vector<double>& values) {
  std::vector<double> logs;
  logs.reserve(values.size());
  for (const double v : values) logs.push_back(std::log(v));
  return logs;
}

// MAD scaled to a normal's standard deviation: the units' tails are heavy.
constexpr double kMadToSigma = 1.4826;

// The sign test on one session's units. Below 6 units it has no interval and
// could never reach 0.05 (2 / 2^5), so it is not made.
ReferenceTest sign_test_of(const std::vector<double>& units, ReferenceTest r) {
  r.ratio = std::exp(median(units));
  const std::optional<Interval> interval = sign_interval(units);
  if (!interval) {
    r.untested = VerdictKind::TooFewRounds;
    return r;
  }
  r.interval = Interval{std::exp(interval->low), std::exp(interval->high)};
  r.p = sign_test_p_with_ties(units);
  r.method = RatioMethod::SignTest;
  r.units = units.size();
  r.spread = kMadToSigma * mad(units);
  return r;
}

// The sign test of one session's agreeing blocks. Its spread is the rounds':
// what the chance of a block agreeing is worked from (stats/detectable).
ReferenceTest agreeing_test_of(const std::vector<double>& round_logs, ReferenceTest r) {
  const std::vector<BlockPair> blocks = block_pairs(round_logs);
  const std::optional<AgreeingTest> t = agreeing_test(blocks);
  r.ratio = std::exp(t->estimate);
  if (!t->interval) {
    r.untested = VerdictKind::TooFewRounds;
    return r;
  }
  r.interval = Interval{std::exp(t->interval->low), std::exp(t->interval->high)};
  r.p = t->p;
  r.method = RatioMethod::AgreeingBlocks;
  r.units = blocks.size();
  r.spread = kMadToSigma * mad(round_logs);
  return r;
}

// Student's t on two or more session medians of the log ratios. Medians that
// are all equal would give p 0 and an interval of no width: a verdict from no
// spread at all, so none is given.
ReferenceTest t_of(const std::vector<double>& medians, ReferenceTest r) {
  const std::optional<OneSampleT> t = one_sample_t(medians);
  if (!t || all_same(medians)) {
    r.ratio = std::exp(medians.front());
    r.untested = VerdictKind::NotTestable;
    return r;
  }
  r.ratio = std::exp(t->mean);
  r.interval = Interval{std::exp(t->interval.low), std::exp(t->interval.high)};
  r.p = t->p;
  r.df = t->df;
  r.method = RatioMethod::StudentT;
  r.se = std::sqrt(sample_variance(medians) / static_cast<double>(medians.size()));
  return r;
}

}  // namespace

const char* method_text(RatioMethod method) {
  switch (method) {
    case RatioMethod::SignTest:
      return "sign test";
    case RatioMethod::AgreeingBlocks:
      return "sign test of agreeing blocks";
    case RatioMethod::StudentT:
      return "Student's t";
    case RatioMethod::Welch:
      return "Welch's t";
    default:
      return "none";
  }
}

const char* verdict_text(VerdictKind kind) {
  switch (kind) {
    case VerdictKind::Faster:
      return "faster";
    case VerdictKind::Slower:
      return "slower";
    case VerdictKind::NoSignificantChange:
      return "no significant change";
    case VerdictKind::TooFewSessions:
      return "too few sessions";
    case VerdictKind::TooFewRounds:
      return "too few rounds";
    case VerdictKind::NotComparable:
      return "not comparable";
    default:
      return "not testable";
  }
}

std::vector<double> unit_log_ratios(const std::vector<std::pair<double, double>>& rounds,
                                    PairedUnit unit) {
  std::vector<double> logs;
  logs.reserve(rounds.size());
  for (const auto& [now, reference] : rounds) logs.push_back(std::log(now / reference));
  if (unit == PairedUnit::Round) return logs;
  std::vector<double> blocks;
  for (std::size_t i = 0; i + 1 < logs.size(); i += 2)
    blocks.push_back((logs[i] + logs[i + 1]) / 2);
  return blocks;
}

std::vector<const std::vector<std::pair<double, double>>*> sessions_with_units(
    const std::vector<std::vector<std::pair<double, double>>>& sessions, PairedUnit unit) {
  const std::size_t fewest = unit == PairedUnit::Round ? 1 : 2;
  std::vector<const std::vector<std::pair<double, double>>*> with_units;
  for (const auto& session : sessions)
    if (session.size() >= fewest) with_units.push_back(&session);
  return with_units;
}

std::optional<double> session_log_ratio(const std::vector<std::pair<double, double>>& rounds,
                                        PairedUnit unit) {
  if (unit != PairedUnit::AgreeingBlock) {
    const std::vector<double> units = unit_log_ratios(rounds, unit);
    if (units.empty()) return std::nullopt;
    return median(units);
  }
  const std::optional<AgreeingTest> t =
      agreeing_test(block_pairs(unit_log_ratios(rounds, PairedUnit::Round)));
  if (!t) return std::nullopt;
  return t->estimate;
}

ReferenceTest paired_ratio(const std::vector<std::vector<std::pair<double, double>>>& sessions,
                           PairedUnit unit) {
  ReferenceTest r;
  r.paired = true;
  for (const auto& session : sessions) {
    r.rounds += session.size();
    for (const auto& [now, reference] : session)
      if (!usable(now) || !usable(reference)) ++r.not_positive;
  }
  // Leaving such rounds out would keep rounds by their outcome: a biased ratio.
  if (r.not_positive > 0) {
    r.untested = VerdictKind::NotComparable;
    return r;
  }
  const auto with_units = sessions_with_units(sessions, unit);
  if (with_units.empty()) {
    r.untested = VerdictKind::TooFewRounds;
    return r;
  }
  if (with_units.size() == 1) {
    const auto& only = *with_units.front();
    if (unit == PairedUnit::AgreeingBlock)
      return agreeing_test_of(unit_log_ratios(only, PairedUnit::Round), r);
    return sign_test_of(unit_log_ratios(only, unit), r);
  }
  std::vector<double> figures;
  figures.reserve(with_units.size());
  for (const auto* session : with_units) figures.push_back(*session_log_ratio(*session, unit));
  return t_of(figures, r);
}

ReferenceTest unpaired_ratio(const std::vector<double>& now, const std::vector<double>& reference) {
  ReferenceTest r;
  r.rounds = now.size() + reference.size();
  for (const std::vector<double>* side : {&now, &reference})
    r.not_positive += static_cast<std::size_t>(
        std::count_if(side->begin(), side->end(), [](double v) { return !usable(v); }));
  if (r.not_positive > 0) {
    r.untested = VerdictKind::NotComparable;
    return r;
  }
  if (now.empty() || reference.empty()) {
    r.untested = VerdictKind::TooFewSessions;
    return r;
  }
  r.ratio = geometric_mean_interval(now).estimate / geometric_mean_interval(reference).estimate;
  if (now.size() < 2 || reference.size() < 2) {
    r.untested = VerdictKind::TooFewSessions;
    return r;
  }
  if (all_same(now) && all_same(reference)) {
    r.untested = VerdictKind::NotTestable;
    return r;
  }
  const std::optional<Welch> w = welch_log(now, reference);
  r.ratio = w->ratio;
  r.interval = w->ratio_interval;
  r.p = w->p;
  r.df = w->df;
  r.method = RatioMethod::Welch;
  r.se = std::sqrt(sample_variance(logs_of(now)) / static_cast<double>(now.size()) +
                   sample_variance(logs_of(reference)) / static_cast<double>(reference.size()));
  return r;
}

double sign_test_p_with_ties(const std::vector<double>& values) {
  long long n = 0;
  long long at_or_below = 0;  // negative or zero
  long long at_or_above = 0;  // positive or zero
  for (const double v : values) {
    if (std::isnan(v)) continue;
    ++n;
    at_or_below += v <= 0 ? 1 : 0;
    at_or_above += v >= 0 ? 1 : 0;
  }
  if (n == 0) return 1;
  const boost::math::binomial_distribution<double> dist(static_cast<double>(n), 0.5);
  const auto fewer = static_cast<double>(std::min(at_or_below, at_or_above));
  return std::min(1.0, 2 * boost::math::cdf(dist, fewer));
}

std::vector<Decided> decide(const std::vector<ReferenceTest>& tests) {
  std::vector<double> p;  // of the series tested, adjusted together
  for (const ReferenceTest& t : tests)
    if (t.p) p.push_back(*t.p);
  const std::vector<double> adjusted = holm_adjust(p);
  std::vector<Decided> decided;
  decided.reserve(tests.size());
  std::size_t next = 0;
  for (const ReferenceTest& t : tests) {
    Decided d;
    if (!t.p) {
      d.verdict = t.untested.value_or(VerdictKind::NotComparable);
    } else {
      d.p_adjusted = adjusted.at(next++);
      d.detectable = detectable(t, p.size());
      const double ratio = t.ratio.value_or(1);
      if (*d.p_adjusted < kAlpha && ratio != 1)
        d.verdict = ratio < 1 ? VerdictKind::Faster : VerdictKind::Slower;
    }
    decided.push_back(d);
  }
  return decided;
}

}  // namespace compare
