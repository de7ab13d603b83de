// Each run's usage as the reports show it: a line per program of medians,
// and each run's figures in the CSV export (the JSON's: export/usage.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

// One line per program, "bench_random: ..." with its medians; none when no
// run has a usage.
std::vector<std::string> usage_lines(const std::vector<Round>& rounds);

// The CSV columns of a usage: the names, and a run's figures (empty where
// unknown).
std::vector<std::string> usage_csv_header();
std::vector<std::string> usage_csv(const std::optional<Usage>& usage);

}  // namespace compare
