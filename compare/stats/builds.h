// Several builds compared round by round. Within a round every build ran
// within moments of the others, so the machine's drift from minute to minute
// touches them alike and cancels in the log of a build's time over the
// reference's in that round. One session: the ratio is exp(median of those
// log ratios), with the sign test's interval and p, which assume nothing of
// their distribution. Several sessions: each session counts once, through
// its median log ratio; the ratio is their geometric mean, with Student's t
// interval and one-sample t test, as the session medians of one build are.
#pragma once

#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

// Per round of `build` that the reference also has (same session and
// index), log(build's value / reference's value) of the series of the test,
// in round order; rounds where either value is not positive are left out.
std::vector<double> round_log_ratios(const std::vector<Round>& build,
                                     const std::vector<Round>& reference, Series which, int test);

// A ratio of a build to the reference, its 95% interval and p.
struct RatioTest {
  double ratio = std::numeric_limits<double>::quiet_NaN();
  std::optional<Interval> interval;
  double p = std::numeric_limits<double>::quiet_NaN();
  double df = std::numeric_limits<double>::quiet_NaN();  // of the t test; NaN for the sign test
};

// From one session's round log ratios; ratio NaN when there are none.
RatioTest ratio_in_one_session(const std::vector<double>& log_ratios);
// From each session's round log ratios (two or more sessions).
RatioTest ratio_across_sessions(const std::vector<std::vector<double>>& log_ratios);

// Every build but the reference against it, per test and series, with p
// adjusted by Holm over all of them together and a verdict at adjusted
// kAlpha ("not comparable" where no round has a ratio).
std::vector<Verdict> compare_builds(const Comparison& c);

}  // namespace compare
