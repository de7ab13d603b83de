// A comparison's own figures from its rounds: each program's times, their
// per-round differences and the per-test summary (the precision goal: stopping.h).
#pragma once

#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

// Per-test paired differences random - fixed of the rounds, in round order.
std::vector<double> differences(const std::vector<Round>& rounds, int test);
// One program's times of a test, in round order.
std::vector<double> series(const std::vector<Round>& rounds, Side side, int test);
// The values of one series of a test, in round order.
std::vector<double> series_values(const std::vector<Round>& rounds, Series which, int test);

// The summary of every test: medians, MADs, the sign-test interval.
std::vector<TestResult> summarise(const std::vector<Round>& rounds);

}  // namespace compare
