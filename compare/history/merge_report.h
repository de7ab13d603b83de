// What a merge shows: its tables, built once and rendered as the text report,
// Markdown, HTML, and its JSON and CSV exports.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "compare/history/merge.h"

namespace compare {

// A table with a heading row; cells are plain text.
struct Table {
  std::string title;
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
};

// The machines and builds, one row per entry; a cell that differs from the
// reference's ends in " *".
Table machines_table(const Merge& m);

// Per test, each entry's figures across its sessions.
std::vector<Table> figures_tables(const Merge& m);

// Per test, each entry's series against the reference.
std::vector<Table> comparisons_tables(const Merge& m);

// One sentence on how the merge counts, and one on how to read each table.
std::string merge_summary(const Merge& m);
extern const char* const kMergeMeaning;

// Every warning of every entry, in entry order.
std::vector<std::string> merge_warnings(const Merge& m);

// The tables laid out in columns of aligned text.
std::string aligned_text(const Table& t);

std::string merge_text(const Merge& m);
std::string merge_markdown(const Merge& m);
std::string merge_csv(const Merge& m);
nlohmann::json merge_json(const Merge& m);

}  // namespace compare
