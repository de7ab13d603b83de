// The console report.
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

namespace {

std::string baseline_text(const BaselineComparison& b) {
  std::string out =
      "\n" +
      wrapped(fmt::format("Compared with the baseline {} ({} now, {} then):", shown_path(b.path),
                          plural(b.sessions, "session", "sessions"),
                          plural(b.baseline_sessions, "session", "sessions")));
  for (const std::string& note : b.notes) out += wrapped(note, 2);
  out += text_table(verdict_table(b.verdicts, VerdictRows::ByTest), 2);
  if (b.sessions >= 2 && b.baseline_sessions >= 2) out += wrapped(kIntervalsNote, 2);
  if (b.sessions < 2 || b.baseline_sessions < 2) {
    out += wrapped(
        "No verdict from one session: rounds run seconds apart share that moment's speed of the "
        "machine. Make both this comparison and the baseline with --sessions 5 (at least 2 each).",
        2);
  }
  return out;
}

// The text after the figures: warnings, an early stop, the record.
std::string closing_text(const Comparison& c) {
  std::string out;
  const std::vector<std::string>& warnings = shown_warnings(c);
  if (!warnings.empty()) out += "\n";
  for (const std::string& w : warnings) out += wrapped("warning: " + w);
  if (!c.stopped.empty()) out += "\n" + wrapped(stopped_line(c));
  if (c.goal) out += "\n" + wrapped(goal_line(c));
  Table record = machine_table(c);
  record.header.clear();
  return out + "\n" + text_table(record, 2);
}

}  // namespace

const std::vector<std::string>& shown_warnings(const Comparison& c) {
  return c.warnings_shown.empty() ? c.warnings : c.warnings_shown;
}

std::string text_report(const Comparison& c) {
  if (several_builds(c)) {
    std::string note = c.sessions_note.empty() ? "" : "\n" + wrapped(c.sessions_note);
    return printable_lines(wrapped(builds_header(c)) + "\n" + builds_text(c) + note +
                           closing_text(c));
  }
  std::string out = wrapped(header(c)) + "\n";
  out += text_table(summary_table(c));
  out += wrapped(meaning(c));
  if (across(c)) out += "\n" + text_table(session_table(c), 2);
  if (!c.sessions_note.empty()) out += "\n" + wrapped(c.sessions_note);
  const std::vector<std::string> usage = usage_lines(rounds_of(pair_of(c)));
  if (!usage.empty()) out += "\n";
  for (const std::string& line : usage) out += wrapped(line);
  const Table counts = counts_table(c);
  if (!counts.rows.empty()) out += "\n" + text_table(counts) + wrapped(counter_meaning(c));
  if (c.baseline) out += baseline_text(*c.baseline);
  out += closing_text(c);
  // Paths, compilers, labels and an export's texts come from elsewhere.
  return printable_lines(out);
}

}  // namespace compare
