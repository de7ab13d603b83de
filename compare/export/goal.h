// A precision goal's outcome and the processor the runs were kept to, as the
// export stores them.
#pragma once

#include <nlohmann/json.hpp>

#include "compare/model.h"

namespace compare {

// The outcome: target, on ("ratios" or "median differences"), stopped_by
// ("goal", "time limit", "round limit"), the limits, rounds, sessions,
// seconds and each series short of it with the half-width it reached; null
// without a goal.
nlohmann::json goal_json(const std::optional<GoalOutcome>& goal);

// {"processor": N, "chosen": how} or null when the runs were not kept to one.
nlohmann::json cpu_json(const Comparison& c);

}  // namespace compare
