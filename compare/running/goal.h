// A precision goal as the runners pursue it: what falls short of it so far,
// and the outcome they leave in the comparison.
#pragma once

#include <string>
#include <vector>

#include "compare/model.h"
#include "compare/running/settings.h"

namespace compare {

// What does not meet settings' goal yet, given `so_far` (builds with every
// session run, the one running included). One pair: each test's interval
// against its median difference, in the last session or across sessions
// when the goal adds sessions. Several builds: each series' ratio to the
// reference, against +-precision.
std::vector<ShortOfGoal> short_of_goal(const RunSettings& settings, const Comparison& so_far);

// The outcome of a goal that ended for `reason`.
GoalOutcome goal_outcome(const RunSettings& settings, StopReason reason, int rounds, int sessions,
                         double seconds, std::vector<ShortOfGoal> short_of);

// One pair: one note per test that fell short, after `after` ("40 rounds",
// "5 sessions") and `elapsed` seconds. Several builds say it in the outcome.
void note_short_of_goal(const RunSettings& settings, const std::vector<ShortOfGoal>& short_of,
                        const std::string& after, double elapsed, RunStatus& status);

}  // namespace compare
