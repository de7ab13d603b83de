// The Markdown export: the summary table, usage, counts and warnings, for
// pasting into an issue or a forum.
#include <fmt/format.h>

#include <cmath>

#include "compare/report/counts.h"
#include "compare/report/parts.h"
#include "compare/report/report.h"
#include "compare/stats/usage.h"

namespace compare {

std::string to_markdown(const Comparison& c) {
  std::string out = header(c) + "\n\n";
  auto row = [](const std::vector<std::string>& cells) {
    std::string line = "|";
    for (const std::string& cell : cells) line += " " + cell + " |";
    return line + "\n";
  };
  out += row(kSummaryColumns);
  out += "|---|---:|---:|---:|---:|---:|\n";
  for (const auto& cells : table_rows(c)) out += row(cells);
  out += fmt::format("\n{}\n", meaning(c));
  const std::vector<std::string> usage = usage_lines(c.rounds);
  if (!usage.empty()) out += "\n";
  for (const std::string& line : usage) out += fmt::format("- {}\n", line);
  const auto counters = counter_table(c);
  if (!counters.empty()) {
    std::string rule = "|---|---|";
    for (size_t i = 2; i < counters.front().size(); ++i) rule += "---:|";
    out += "\n" + row(counters.front()) + rule + "\n";
    for (size_t i = 1; i < counters.size(); ++i) out += row(counters.at(i));
    out += "\n" + counter_meaning(c);
  }
  if (!c.stopped.empty()) out += fmt::format("\n{}\n", stopped_line(c));
  if (!c.warnings.empty()) {
    out += "\nWarnings:\n\n";
    for (const std::string& w : c.warnings) out += fmt::format("- {}\n", w);
  }
  return out;
}

}  // namespace compare
