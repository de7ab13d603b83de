// When a comparison with a precision goal has run enough: the goal checked
// on what it found so far, and the limits that end it first. Pure: the
// runners in running/ ask, and add a block of rounds (or a session) or stop.
//
// Stopping on an interval's width alone, never on where it lies, keeps the
// verdicts' error rates: the width of a sign-test or t interval does not
// depend on the ratio it surrounds (docs/method.md shows it by simulation).
#pragma once

#include <optional>
#include <vector>

#include "compare/model.h"

namespace compare {

// How far a ratio's interval reaches from the ratio, as a fraction of it:
// the farther end. None without an interval.
std::optional<double> relative_half_width(const ReferenceTest& t);

// Every series whose interval is not within +-`within` of its ratio, or has
// none, named "LABEL Test series", in the verdicts' order.
std::vector<ShortOfGoal> short_of_ratio_goal(const std::vector<Verdict>& verdicts, double within);

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
