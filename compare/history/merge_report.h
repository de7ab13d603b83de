// What a merge shows: its tables, built once and rendered as the text report,
// Markdown, HTML, and its JSON and CSV exports.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "compare/history/merge.h"
#include "compare/render/table.h"

namespace compare {

// The machines and builds, one row per entry; a cell that differs from the
// reference's ends in " *".
Table machines_table(const Merge& m);

// Per test, each entry's figures across its sessions.
std::vector<Table> figures_tables(const Merge& m);

// One sentence on how the merge counts, and one on how to read each table.
std::string merge_summary(const Merge& m);
extern const char* const kMergeMeaning;

// The warnings as the merge's reports show them: each entry's own, in entry
// order, then its sessions' (such as drift), a kind found twice or more in
// one line with the count and the worst case. The JSON keeps every one in
// each entry's "warnings" and these under "warnings_summarised".
std::vector<std::string> merge_warnings(const Merge& m);

std::string merge_text(const Merge& m);
std::string merge_markdown(const Merge& m);
std::string merge_csv(const Merge& m);
nlohmann::json merge_json(const Merge& m);

// The page: the tables, and per test and series a chart of every entry's
// figure with its interval and its sessions' medians; throws
// std::runtime_error when gnuplot fails.
std::string merge_html(const Merge& m, const std::string& gnuplot = "gnuplot");

// The gnuplot script of those charts, into chart-T-S.svg in gnuplot's
// directory (T the test, S the series, from 0).
std::string merge_charts_script(const Merge& m);

}  // namespace compare
