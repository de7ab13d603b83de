// The Markdown export: the summary table, usage, counts, the baseline's
// verdicts and the warnings, for pasting into an issue or a forum.
#include <fmt/format.h>

#include "compare/render/format.h"
#include "compare/render/table.h"
#include "compare/report/builds.h"
#include "compare/report/counts.h"
#include "compare/report/report.h"
#include "compare/report/tables.h"
#include "compare/report/usage.h"
#include "compare/report/verdicts.h"

namespace compare {

std::string to_markdown(const Comparison& c) {
  if (several_builds(c)) {
    std::string out = markdown_cell(builds_header(c)) + "\n\n" + builds_markdown(c);
    if (!c.stopped.empty()) out += fmt::format("\n{}\n", markdown_cell(stopped_line(c)));
    if (c.goal) out += fmt::format("\n{}\n", markdown_cell(goal_line(c)));
    if (!c.sessions_note.empty()) out += "\n" + markdown_cell(c.sessions_note) + "\n";
    if (!c.warnings.empty()) out += "\nWarnings:\n\n";
    for (const std::string& w : shown_warnings(c)) out += fmt::format("- {}\n", markdown_cell(w));
    return out;
  }
  std::string out = markdown_cell(header(c)) + "\n\n";
  out += markdown_table(summary_table(c));
  out += fmt::format("\n{}\n", meaning(c));
  if (!c.sessions_note.empty()) out += "\n" + markdown_cell(c.sessions_note) + "\n";
  const std::vector<std::string> usage = usage_lines(rounds_of(pair_of(c)));
  if (!usage.empty()) out += "\n";
  for (const std::string& line : usage) out += fmt::format("- {}\n", markdown_cell(line));
  const Table counts = counts_table(c);
  if (!counts.rows.empty()) out += "\n" + markdown_table(counts) + "\n" + counter_meaning(c);
  if (c.baseline) {
    out += "\n" + markdown_table(verdict_table(
                      c.baseline->verdicts, VerdictRows::ByTest,
                      fmt::format("Compared with the baseline {}", c.baseline->path)));
    for (const std::string& note : c.baseline->notes) out += "\n" + markdown_cell(note) + "\n";
  }
  if (!c.stopped.empty()) out += fmt::format("\n{}\n", markdown_cell(stopped_line(c)));
  if (c.goal) out += fmt::format("\n{}\n", markdown_cell(goal_line(c)));
  if (!c.warnings.empty()) {
    out += "\nWarnings:\n\n";
    for (const std::string& w : shown_warnings(c)) out += fmt::format("- {}\n", markdown_cell(w));
  }
  return out;
}

}  // namespace compare
