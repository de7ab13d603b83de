// Several builds compared round by round. Within a round every build ran
// within moments of the others, so the machine's drift from minute to minute
// touches them alike and cancels in the log of a build's time over the
// reference's in that round. How those log ratios are tested (mirrored
// blocks, the sign test in one session, Student's t across sessions) is the
// one comparison with a reference (reference.h).
#pragma once

#include <utility>
#include <vector>

#include "compare/model.h"

namespace compare {

// One series of a test: the round's bench_random or bench_fixed time, or
// their difference random - fixed.
double value_of(const Round& r, Series which, int test);

// Per session of `build`, each round the reference also has (same session
// and index): (build's value, reference's value) of the series, in round order.
std::vector<std::vector<std::pair<double, double>>> paired_values(const Build& build,
                                                                  const Build& reference,
                                                                  Series which, int test);

// Every build but the reference against it, per test and series, with p
// adjusted by Holm over all of them together and a verdict at adjusted kAlpha.
std::vector<Verdict> compare_builds(const Comparison& c);

}  // namespace compare
