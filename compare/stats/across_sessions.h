// The statistics of several sessions: pure functions of their rounds. The
// machine's speed wanders from minute to minute and every round of a session
// shares that minute's speed, so what reproduces is measured across sessions,
// each session counting once through its median.
#pragma once

#include <array>
#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "compare/model.h"
#include "compare/stats/statistical_tests.h"
#include "compare/stats/summary.h"

namespace compare {

// One session's median of a test's series.
double session_median(const std::vector<Round>& rounds, Series series, int test);

// Each session's median of a test's series, in session order.
std::vector<double> session_medians(const std::vector<std::vector<Round>>& sessions, Series series,
                                    int test);

// The rounds split by their session, sessions in increasing order; rounds
// keep their order within each.
std::vector<std::vector<Round>> by_session(const std::vector<Round>& rounds);

// Per test: the geometric mean of the session medians of each series with a
// 95% interval from Student's t on their logarithms (random_interval,
// fixed_interval, interval); ratio and ns_per_execution from those means.
// The MADs are NaN: there is no single set of rounds they would describe.
std::vector<TestResult> summarise_sessions(const std::vector<std::vector<Round>>& sessions);

// Each test's random, fixed and difference series compared with a reference
// whose rounds are not shared (a baseline): the session medians of either
// side through the one unpaired comparison (reference.h), p adjusted over
// every series by Holm's method.
std::vector<Verdict> compare_sessions(const std::vector<std::vector<Round>>& now_sessions,
                                      const std::vector<std::vector<Round>>& ref_sessions);

// With two or more sessions that differ beyond their own rounds, one note:
// in how many series, and how far their medians spread at most; else empty.
std::string sessions_note(const std::vector<std::vector<Round>>& sessions);

}  // namespace compare
