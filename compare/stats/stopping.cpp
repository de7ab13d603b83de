#include "compare/stats/stopping.h"

#include <algorithm>
#include <cmath>

namespace compare {

std::optional<double> relative_half_width(const ReferenceTest& t) {
  if (!t.interval || !t.ratio || !(*t.ratio > 0)) return std::nullopt;
  return std::max(t.interval->high / *t.ratio - 1, 1 - t.interval->low / *t.ratio);
}

std::vector<ShortOfGoal> short_of_ratio_goal(const std::vector<Verdict>& verdicts, double within) {
  std::vector<ShortOfGoal> short_of;
  for (const Verdict& v : verdicts) {
    const std::optional<double> reach = relative_half_width(v.result);
    if (reach && *reach <= within) continue;
    short_of.push_back({fmt::format("{} {} {}", v.entry, v.test, series_name(v.series)), reach});
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
