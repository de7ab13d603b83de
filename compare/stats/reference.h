// One comparison of a series with its reference, for every mode that has
// one: builds in the same rounds (paired), a baseline and a merge (unpaired).
// Plain values in, plain values out. A series that cannot be tested gets the
// same answer whichever mode asks: a reason, and the ratio where there is one.
#pragma once

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

#include "compare/model.h"

namespace compare {

// The names the reports give them: "sign test", "Student's t", "Welch's t";
// "faster", "slower", "no significant change", "not comparable", ...
const char* method_text(RatioMethod method);
const char* verdict_text(VerdictKind kind);

// What one paired value is in the tests: a round's log ratio, the mean of a
// mirrored block's two (a round, then the same order reversed), or a block
// whose two rounds agree in sign (stats/agreeing_blocks.h).
enum class PairedUnit { Round, Block, AgreeingBlock };
// The unit the simulations of drifting machines and the evidence of a
// calibrated change chose (docs/method.md): blocks keep the level where a
// round's ends run slow, and counting only the blocks that agree keeps the
// power that a block's mean loses to either round's tail.
constexpr PairedUnit kPairedUnit = PairedUnit::AgreeingBlock;

// One session's units: log(now / reference) per round, or (Block and
// AgreeingBlock alike) the mean of each block of rounds 1-2, 3-4, ... (a last
// round without its mirror is left out). The values must be positive and
// finite.
std::vector<double> unit_log_ratios(const std::vector<std::pair<double, double>>& rounds,
                                    PairedUnit unit);

// The sessions with at least one unit (a round; with blocks, two rounds),
// in order: the ones the tests count.
std::vector<const std::vector<std::pair<double, double>>*> sessions_with_units(
    const std::vector<std::vector<std::pair<double, double>>>& sessions, PairedUnit unit);

// One session's figure of the log ratio, as the test across sessions takes
// it: the median of its units, or with agreeing blocks the shift at which as
// many blocks agree above as below. None for a session without a unit.
std::optional<double> session_log_ratio(const std::vector<std::pair<double, double>>& rounds,
                                        PairedUnit unit);

// Per session, each shared round's (now, reference) value of one series, in
// round order. Any value not positive or not finite: NotComparable, counted.
// Two or more sessions with units: Student's t on their session figures
// (session_log_ratio). One: the sign test on its units, or of its agreeing
// blocks (TooFewRounds without an interval). None: TooFewRounds. Session
// figures that do not vary: NotTestable.
ReferenceTest paired_ratio(const std::vector<std::vector<std::pair<double, double>>>& sessions,
                           PairedUnit unit = kPairedUnit);

// Each side's session medians, where the rounds are not shared: Welch's t on
// their logarithms. A median not positive or not finite: NotComparable. Fewer
// than 2 on a side: the ratio of the geometric means, TooFewSessions. No
// spread on either side: the ratio, NotTestable.
ReferenceTest unpaired_ratio(const std::vector<double>& now, const std::vector<double>& reference);

// The sign test of the values' median against 0 with ties (zeros) counted
// against rejecting: p = min(1, 2 P(Bin(n, 1/2) <= min(neg + zero, pos + zero))),
// which is below 0.05 exactly when the interval [d(k), d(n+1-k)] excludes 0.
double sign_test_p_with_ties(const std::vector<double>& values);

// Holm's adjustment over every series tested, together, and each one's
// verdict at the adjusted alpha, with the smallest change it could have
// seen; an untested series keeps its reason.
struct Decided {
  std::optional<double> p_adjusted;
  VerdictKind verdict = VerdictKind::NoSignificantChange;
  std::optional<Detectable> detectable;
};
std::vector<Decided> decide(const std::vector<ReferenceTest>& tests);

}  // namespace compare
