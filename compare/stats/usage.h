// What the kernel says each run took from the machine, summed up: each
// program's medians over the counted runs, and whether other work took the
// processor from the runs. Pure functions of the rounds, apart from output.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

// Each figure's median over one program's counted runs that have a usage;
// the run-queue wait's over the runs where the kernel told it.
struct UsageSummary {
  int runs = 0;  // 0 when no run has a usage; the figures are then meaningless
  Usage median;
  double processor_s = 0;  // the median of user plus system time, not the sum of their medians
};
UsageSummary summarise_usage(const std::vector<Round>& rounds, Side side);

// The share of a run's wall time that other work took: its run-queue wait
// where known, else the wall time it spent off the processor.
double taken_share(const Usage& usage);

// "Other work took the processor ..." when enough of the counted runs lost
// enough of their wall time to other work; none otherwise.
std::optional<std::string> contention_warning(const std::vector<Round>& rounds);

// One line per program for the reports, "bench_random: ..." with its medians;
// none when no run has a usage.
std::vector<std::string> usage_lines(const std::vector<Round>& rounds);

// A usage as the JSON export holds it (null for none).
nlohmann::json usage_json(const std::optional<Usage>& usage);

// The CSV columns of a usage, with their leading commas: the names, and a run's
// figures (empty where unknown).
std::string usage_csv_header();
std::string usage_csv(const std::optional<Usage>& usage);

}  // namespace compare
