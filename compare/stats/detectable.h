// The smallest change a comparison could have seen: the true ratio its test
// would call "slower" (and, mirrored, "faster") with 80% probability, from
// the spread it measured and the Holm correction it applied. A "no
// significant change" means little without it. docs/method.md works it by
// hand.
#pragma once

#include <cmath>
#include <cstddef>
#include <optional>

#include "compare/model.h"

namespace compare {

// The probability with which a change of the detectable size is called.
constexpr double kDetectablePower = 0.80;

// The smallest count of units on one side of 0 that the sign test on n units
// calls at significance alpha (2 P(Bin(n, 1/2) >= c) below alpha); none when
// even all n cannot reach it.
std::optional<std::size_t> sign_test_critical(std::size_t n, double alpha);

// The figure for one tested series among `tested` tested together (Holm's
// family), judged at Holm's strictest step, kAlpha / tested: the worst case a
// change has to pass. A sign test that could not call any change with its
// units, however large: slower infinite, faster 0 (see could_see_any). None
// for an untested series or a spread of 0.
std::optional<Detectable> detectable(const ReferenceTest& test, std::size_t tested);

// Whether any change could have been called at all.
inline bool could_see_any(const Detectable& d) { return std::isfinite(d.slower) && d.faster > 0; }

// The figure as one percentage, either way: max(slower - 1, 1 - faster) in
// percent, rounded up to one decimal so that "no change larger than it"
// stays true.
double detectable_percent(const Detectable& d);

}  // namespace compare
