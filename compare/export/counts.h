// A round's counts (--counters) as the export stores them: for each program,
// one object per test of its timing window's events, each named as the
// counting probe names it.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>

#include "compare/model.h"

namespace compare {

// One window's events; an event not counted is null.
nlohmann::json window_json(const WindowCounts& counts);

// A round's windows: {"random": [...], "fixed": [...]}, one per test.
nlohmann::json round_counts_json(const RoundCounts& counts);

// The counts as round_counts_json wrote them; none where the value is no
// object. An event missing, null or not a finite number was not counted.
std::optional<RoundCounts> round_counts_from_json(const nlohmann::json& counts);

}  // namespace compare
