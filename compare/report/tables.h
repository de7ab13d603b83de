// A comparison's tables and sentences, built once here and rendered by every
// format: the summary, the sessions, the machine's record, and the lines
// around them.
#pragma once

#include <string>

#include "compare/model.h"
#include "compare/render/table.h"

namespace compare {

// Whether the figures are across sessions (two or more).
bool across(const Comparison& c);
// What the summary's figures mean, for one session or across several.
std::string meaning(const Comparison& c);

// The report's first line, and the line of an early stop.
std::string header(const Comparison& c);
std::string stopped_line(const Comparison& c);

// With a precision goal: whether it was met, and if not which limit came
// first and what fell short; empty without a goal.
std::string goal_line(const Comparison& c);

// Per test: each program's figure, the difference with its interval, per
// execution, and the ratio.
Table summary_table(const Comparison& c);

// One row per session: when it started, its rounds, and per test its medians
// and the difference's sign-test interval. Titled "By session".
Table session_table(const Comparison& c);

// The machine and the programs, one row of item and value each, titled
// "Record".
Table machine_table(const Comparison& c);

}  // namespace compare
