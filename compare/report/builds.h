// How a comparison of several builds is shown: the builds, each build's own
// figures, and per test every build's ratios to the reference, as tables
// (rendered by every format) and as the JSON and CSV exports.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "compare/model.h"
#include "compare/render/table.h"

namespace compare {

// The report's first line, and what the ratios mean.
std::string builds_header(const Comparison& c);
std::string builds_meaning(const Comparison& c);

// One row per build: its label, programs and compilers; a cell that differs
// from the reference's ends in " *".
Table builds_table(const Comparison& c);

// Per test, each build's own figures: bench_random, bench_fixed and their
// difference, with intervals as for one build.
std::vector<Table> build_figures_tables(const Comparison& c);

// The text report's and Markdown's body for several builds.
std::string builds_text(const Comparison& c);
std::string builds_markdown(const Comparison& c);

}  // namespace compare
