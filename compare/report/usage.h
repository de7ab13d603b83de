// Each run's usage as the reports show it: a line per program of medians,
// and each run's figures in the JSON and CSV exports.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

// One line per program, "bench_random: ..." with its medians; none when no
// run has a usage.
std::vector<std::string> usage_lines(const std::vector<Round>& rounds);

// A usage as the JSON export holds it (null for none).
nlohmann::json usage_json(const std::optional<Usage>& usage);

// The CSV columns of a usage: the names, and a run's figures (empty where
// unknown).
std::vector<std::string> usage_csv_header();
std::vector<std::string> usage_csv(const std::optional<Usage>& usage);

}  // namespace compare
