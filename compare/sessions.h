// The statistics of several sessions: pure functions of their rounds. The
// machine's speed wanders from minute to minute and every round of a session
// shares that minute's speed, so what reproduces is measured across sessions,
// each session counting once through its median.
#pragma once

#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

// The rounds split by their session, sessions in increasing order; rounds
// keep their order within each.
std::vector<std::vector<Round>> by_session(const std::vector<Round>& rounds);

// Per test: the geometric mean of the session medians of each series with a
// 95% interval from Student's t on their logarithms (random_interval,
// fixed_interval, interval); ratio and ns_per_execution from those means.
// The MADs are NaN: there is no single set of rounds they would describe.
std::vector<TestResult> summarise_sessions(const std::vector<std::vector<Round>>& sessions);

// Each test's random, fixed and difference series compared with a reference:
// Welch's t-test on the logarithms of the session medians of either side, its
// p-values adjusted over every series compared by Holm's method, and a
// verdict at the adjusted alpha; "too few sessions" for every series when
// either side has fewer than 2 sessions (the ratio is still given).
std::vector<BaselineVerdict> compare_sessions(const std::vector<std::vector<Round>>& now_sessions,
                                              const std::vector<std::vector<Round>>& ref_sessions);

// One sentence per test whose sessions differ beyond what their own rounds
// allow (Kruskal-Wallis at alpha over the sessions' rounds, for any of the
// three series), naming the series and how far the session medians spread.
std::vector<std::string> session_disagreements(const std::vector<std::vector<Round>>& sessions);

// Fills the comparison's rounds, tests and warnings from its sessions and
// machine: across sessions when there are two or more (each session's own
// warnings named by session), else as the one session has them.
void summarise_comparison(Comparison& c);

}  // namespace compare
