// When a comparison with a precision goal has run enough: the goal checked
// on what it found so far, and the limits that end it first. Pure: the
// runners in running/ ask, and add a block of rounds (or a session) or stop.
//
// Stopping must not make a verdict of a change likelier where there is none:
// the goal of several builds is checked on what the units' sizes alone say
// (docs/method.md shows by simulation what checking the intervals does).
#pragma once

#include <optional>
#include <utility>
#include <vector>

#include "compare/model.h"

namespace compare {

// The half-width, as a fraction of the ratio, that one series' interval
// would have if its paired values (per session, each round's (now,
// reference), as paired_ratio takes them) lay about no change: from the
// units' sizes alone. Stopping on the interval itself would stop more often
// when its units happen to fall on one side, and so call an identical build
// changed more often than 5%; under no change the units' signs do not depend
// on their sizes, so stopping on this keeps the sign test's level. None where
// there is no interval or a value is not positive.
std::optional<double> sign_free_half_width(
    const std::vector<std::vector<std::pair<double, double>>>& sessions);

// Every other build's series whose sign-free half-width is more than
// `within`, or that has none, named "LABEL Test series", in the verdicts' order.
std::vector<ShortOfGoal> short_of_ratio_goal(const Comparison& so_far, double within);

// Every test whose interval's half-width is more than `percent` of its
// median difference (or that has no interval), by name.
std::vector<ShortOfGoal> short_of_percent_goal(const std::vector<TestResult>& tests,
                                               double percent);

// What there is to know before another block of rounds (or another session).
struct Standing {
  bool goal_met = false;
  int rounds = 0;           // counted so far in this session
  int round_limit = 0;      // more would exceed it (0: no limit on rounds)
  int next_rounds = 2;      // what the next step adds
  double elapsed = 0;       // seconds so far
  double next_seconds = 0;  // what the next step is likely to take
  double time_limit = 0;    // seconds
};

// Why to stop now, or none to go on. The goal met comes first; then a next
// step that would pass the round limit, or is not likely to end in time.
std::optional<StopReason> stop_reason(const Standing& s);

}  // namespace compare
