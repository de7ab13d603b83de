// The changes of a trend: every series searched, and every test the search
// made adjusted together, so that a report of many series keeps its level.
// Pure: what the trend command fills its report with.
#pragma once

#include <cstddef>
#include <cstdint>

// Before namespace compare is declared (see model.h).
#include <fmt/format.h>

#include "compare/history/trend.h"

namespace compare {

// Each series' changes from its points' values, with Holm's adjustment over
// every series in the trend (its family is the number of series). The same
// seed gives the same report.
void find_trend_changes(Trend& trend, std::uint64_t seed);

// Whether a "slower" change begins among the latest `latest` sessions of
// its series: what a nightly job fails on.
bool slower_among_latest(const Trend& trend, std::size_t latest);

}  // namespace compare
