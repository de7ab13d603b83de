#include "compare/stats/stopping.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "compare/stats/builds.h"
#include "compare/stats/one_sample.h"
#include "compare/stats/reference.h"
#include "compare/stats/statistical_tests.h"
#include "compare/stats/summary.h"

namespace compare {

namespace {

// The units' sizes with signs that alternate from the largest down: a sample
// about no change as spread as the units, whose signs tell nothing.
std::vector<double> about_no_change(std::vector<double> units) {
  for (double& u : units) u = std::fabs(u);
  std::sort(units.begin(), units.end(), std::greater<>());
  for (std::size_t i = 1; i < units.size(); i += 2) units[i] = -units[i];
  return units;
}

// A log interval's farther end from its centre, as a fraction of the ratio.
double reach_of(const Interval& log_interval, double centre) {
  return std::max(std::exp(log_interval.high - centre) - 1,
                  1 - std::exp(log_interval.low - centre));
}

}  // namespace

std::optional<double> sign_free_half_width(
    const std::vector<std::vector<std::pair<double, double>>>& sessions) {
  std::vector<std::vector<double>> units;
  for (const auto& session : sessions) {
    for (const auto& [now, reference] : session) {
      if (!(now > 0 && reference > 0 && std::isfinite(now) && std::isfinite(reference))) {
        return std::nullopt;
      }
    }
    std::vector<double> u = unit_log_ratios(session, kPairedUnit);
    if (!u.empty()) units.push_back(std::move(u));
  }
  if (units.empty()) return std::nullopt;
  if (units.size() == 1) {
    const std::vector<double> sample = about_no_change(units.front());
    const std::optional<Interval> interval = sign_interval(sample);
    if (!interval) return std::nullopt;
    return reach_of(*interval, median(sample));
  }
  std::vector<double> medians;
  medians.reserve(units.size());
  for (const std::vector<double>& u : units) medians.push_back(median(u));
  const std::optional<OneSampleT> t = one_sample_t(about_no_change(medians));
  if (!t) return std::nullopt;
  return reach_of(t->interval, t->mean);
}

std::vector<ShortOfGoal> short_of_ratio_goal(const Comparison& so_far, double within) {
  const Build& reference = reference_of(so_far);
  std::vector<ShortOfGoal> short_of;
  for (const Build& build : so_far.builds) {
    if (&build == &reference) continue;
    for (int test = 0; test < kTests; ++test) {
      for (const Series which : kSeries) {
        const std::optional<double> reach =
            sign_free_half_width(paired_values(build, reference, which, test));
        if (reach && *reach <= within) continue;
        short_of.push_back(
            {fmt::format("{} {} {}", build.label, kTestNames.at(static_cast<std::size_t>(test)),
                         series_name(which)),
             reach});
      }
    }
  }
  return short_of;
}

std::vector<ShortOfGoal> short_of_percent_goal(const std::vector<TestResult>& tests,
                                               double percent) {
  std::vector<ShortOfGoal> short_of;
  for (const TestResult& test : tests) {
    std::optional<double> reached;
    if (test.interval && std::isfinite(test.difference) && test.difference != 0) {
      reached = (test.interval->high - test.interval->low) / 2 / std::fabs(test.difference) * 100;
    }
    if (reached && *reached <= percent) continue;
    short_of.push_back({test.name, reached});
  }
  return short_of;
}

std::optional<StopReason> stop_reason(const Standing& p) {
  if (p.goal_met) return StopReason::GoalMet;
  if (p.round_limit > 0 && p.rounds + p.next_rounds > p.round_limit) return StopReason::RoundLimit;
  if (p.elapsed + p.next_seconds > p.time_limit) return StopReason::TimeLimit;
  return std::nullopt;
}

}  // namespace compare
