// The parts of the JSON export that a comparison of one pair and one of
// several builds share.
#pragma once

#include <nlohmann/json.hpp>
#include <vector>

#include "compare/model.h"

namespace compare {

// One round: index, session, first, each program's times and usage, and
// with counts (when `counts` holds the round's) its counts.
nlohmann::json round_json(const Round& r, const CountsByRound* counts = nullptr);

// Each test's figures: medians (or geometric means), MADs, intervals.
nlohmann::json tests_json(const std::vector<TestResult>& results);

// The machine's record.
nlohmann::json machine_json(const MachineRecord& m);

// One program's record: path, compiler and architecture.
nlohmann::json program_json(const ProgramRecord& p);

}  // namespace compare
