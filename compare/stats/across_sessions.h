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

// The verdicts of a series that cannot be tested.
constexpr const char* kTooFewSessions = "too few sessions";
constexpr const char* kNotComparable = "not comparable";

// One series' session medians against a reference's: Welch's t-test on their
// logarithms, or where none can be made the verdict that says why (fewer than
// 2 sessions on a side; a median that is not positive has no logarithm).
// --baseline, --merge and --build all compare through this and judge().
struct SeriesTest {
  std::optional<Welch> welch;
  std::string untested;  // kTooFewSessions or kNotComparable when there is no test
};
SeriesTest test_series(const std::vector<double>& now, const std::vector<double>& reference);

// Holm's adjustment over every series tested, together, and each series'
// verdict at the adjusted alpha, in the order given (p_adjusted NaN where
// there was no test).
struct Judgement {
  double p_adjusted = std::numeric_limits<double>::quiet_NaN();
  std::string verdict;
};
std::vector<Judgement> judge(const std::vector<SeriesTest>& tests);

// Each test's random, fixed and difference series compared with a reference:
// Welch's t-test on the logarithms of the session medians of either side, its
// p-values adjusted over every series compared by Holm's method, and a
// verdict at the adjusted alpha; "too few sessions" for every series when
// either side has fewer than 2 sessions (the ratio is still given), "not
// comparable" for a series with a median that is not positive.
std::vector<Verdict> compare_sessions(const std::vector<std::vector<Round>>& now_sessions,
                                      const std::vector<std::vector<Round>>& ref_sessions);

// With two or more sessions that differ beyond their own rounds, one note:
// in how many series, and how far their medians spread at most; else empty.
std::string sessions_note(const std::vector<std::vector<Round>>& sessions);

}  // namespace compare
