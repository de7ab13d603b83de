// A single comparison's web page: its tables and its chart, on the page frame
// of render/page.h.
#include "compare/render/page.h"

#include <fmt/format.h>

#include <stdexcept>

#include "compare/render/table.h"
#include "compare/report/counts.h"
#include "compare/report/report.h"
#include "compare/report/tables.h"
#include "compare/report/usage.h"
#include "compare/report/verdicts.h"

namespace compare {

namespace {

std::string inline_chart(const Comparison& c, const std::string& gnuplot) {
  return c.rounds.empty() ? "" : inline_svg(chart_svg(c, gnuplot), "c-");
}

std::string usage_html(const Comparison& c) {
  const std::vector<std::string> usage = usage_lines(c.rounds);
  if (usage.empty()) return "";
  std::string out = "<h2>What each program's runs took</h2>\n<ul>\n";
  for (const std::string& line : usage) out += "<li>" + html_escape(line) + "</li>\n";
  return out + "</ul>\n";
}

std::string baseline_html(const BaselineComparison& b) {
  std::string out;
  for (const std::string& note : b.notes) out += "<p>" + html_escape(note) + "</p>\n";
  return out + html_table(verdict_table(b.verdicts, VerdictRows::ByTest,
                                        "Compared with the baseline " + b.path));
}

}  // namespace

std::string comparison_html(const Comparison& c, const std::string& gnuplot) {
  const std::string chart = inline_chart(c, gnuplot);
  const std::string title = fmt::format("bench_compare {}{}", c.label.empty() ? "" : c.label + ": ",
                                        c.started_at.empty() ? "" : c.started_at);
  std::string out = page_head(title);
  out += "<h1>" + html_escape(title) + "</h1>\n";
  out += html_table(summary_table(c)) + "<p>" + html_escape(meaning(c)) + "</p>\n";
  if (across(c)) out += html_table(session_table(c));
  out += usage_html(c);
  Table counts = counts_table(c);
  if (!counts.rows.empty()) {
    counts.title = "Counts per timing window";
    out += html_table(counts) + "<p>" + html_escape(counter_meaning(c)) + "</p>\n";
  }
  if (c.baseline) out += baseline_html(*c.baseline);
  std::vector<std::string> warnings = c.warnings;
  if (!c.stopped.empty()) warnings.push_back("The comparison stopped early: " + c.stopped);
  out += warnings_html(warnings);
  Table record = machine_table(c);
  record.title.clear();
  out += "<h2>Record</h2>\n" + html_table(record);
  if (!chart.empty()) out += "<h2>Chart</h2>\n<figure class=\"wide\">" + chart + "</figure>\n";
  return out + page_tail();
}

}  // namespace compare
