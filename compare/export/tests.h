// Each test's figures as the export stores them: the programs' medians (or,
// across sessions, geometric means with intervals) and MADs, the difference
// with its interval, the ratio and the time per execution. Written only: a
// reader works from the rounds.
#pragma once

#include <nlohmann/json.hpp>
#include <vector>

#include "compare/model.h"

namespace compare {

nlohmann::json tests_json(const std::vector<TestResult>& results);

}  // namespace compare
