// A round's counts (--counters) as the export stores them: for each program,
// one object per test of its timing window's events, each named as the
// counting probe names it. Written only: no reader takes counts back yet.
#pragma once

#include <nlohmann/json.hpp>

#include "compare/model.h"

namespace compare {

// One window's events; an event not counted is null.
nlohmann::json window_json(const WindowCounts& counts);

// A round's windows: {"random": [...], "fixed": [...]}, one per test.
nlohmann::json round_counts_json(const RoundCounts& counts);

}  // namespace compare
