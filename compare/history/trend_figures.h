// A trend from a history's figures: one series per machine, build, test and
// series, its sessions in time order. Pure: the trend command reads the
// figures and finds the changes.
#pragma once

#include <string>
#include <vector>

#include "compare/history/store.h"
#include "compare/history/trend.h"

namespace compare {

// With `reference` empty, each session's own figure (its median time) of
// every build; else each other build's ratio to `reference` where the two
// ran in the same rounds (sessions without it are left out, and so is the
// reference itself). `figures` as read_figures orders them.
Trend trend_of(const std::vector<StoredFigure>& figures, const std::string& reference);

}  // namespace compare
