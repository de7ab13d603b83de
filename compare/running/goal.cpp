#include "compare/running/goal.h"

#include <fmt/format.h>

#include "compare/stats/across_sessions.h"
#include "compare/stats/stopping.h"
#include "compare/stats/summary.h"

namespace compare {

std::vector<ShortOfGoal> short_of_goal(const RunSettings& settings, const Comparison& so_far) {
  if (settings.ratio_goal()) return short_of_ratio_goal(so_far, *settings.precision);
  const Build& pair = pair_of(so_far);
  if (pair.sessions.empty()) return {};
  std::vector<TestResult> tests;
  if (settings.adds_sessions()) {
    std::vector<std::vector<Round>> rounds;
    for (const SessionRecord& s : pair.sessions) rounds.push_back(s.rounds);
    tests = summarise_sessions(rounds);
  } else {
    tests = summarise(pair.sessions.back().rounds);
  }
  return short_of_percent_goal(tests, *settings.precision);
}

GoalOutcome goal_outcome(const RunSettings& settings, StopReason reason, int rounds, int sessions,
                         double seconds, std::vector<ShortOfGoal> short_of) {
  GoalOutcome outcome;
  outcome.target = settings.precision.value_or(0);
  outcome.on_ratios = settings.ratio_goal();
  outcome.reason = reason;
  outcome.time_limit = settings.time_limit;
  outcome.round_limit = settings.round_limit;
  outcome.rounds = rounds;
  outcome.sessions = sessions;
  outcome.seconds = seconds;
  outcome.short_of = std::move(short_of);
  return outcome;
}

void note_short_of_goal(const RunSettings& settings, const std::vector<ShortOfGoal>& short_of,
                        const std::string& after, double elapsed, RunStatus& status) {
  if (settings.ratio_goal()) return;
  for (const ShortOfGoal& test : short_of) {
    status.notes.push_back(fmt::format(
        "The {} test fell short of the precision goal: after {} and {:.0f} s its interval{} is "
        "wider than {:g}% of its median difference.",
        test.what, after, elapsed, settings.adds_sessions() ? " across sessions" : "",
        *settings.precision));
  }
}

}  // namespace compare
