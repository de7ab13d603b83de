// How --counters' counts are shown: a second table under the summary, what
// it means, and their JSON and CSV forms.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "compare/model.h"
#include "compare/render/table.h"

namespace compare {

// The table of the per-test medians: for each test a row per program and one
// for random - fixed. No rows when no round carries counts.
Table counts_table(const Comparison& c);
Table counts_table(const std::vector<Round>& rounds, const CountsByRound& counts);

// What the table shows and which events were not available, and why.
std::string counter_meaning(const Comparison& c);
std::string counter_meaning(const std::vector<Round>& rounds, const CountsByRound& counts,
                            const std::map<std::string, std::string>& unavailable);

// The per-test medians and the events not available; null without counts.
nlohmann::json counters_json(const Comparison& c);
nlohmann::json counters_json(const std::vector<Round>& rounds, const CountsByRound& counts,
                             const std::map<std::string, std::string>& unavailable);

// The CSV columns of the events: their names, and one run's counts for one
// test (empty where not available).
std::vector<std::string> counts_csv_header();
std::vector<std::string> counts_csv(const WindowCounts& counts);

}  // namespace compare
