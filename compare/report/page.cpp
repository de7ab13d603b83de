// A single comparison's web page: its tables and its chart, on the page frame
// of render/page.h.
#include "compare/render/page.h"

#include <fmt/format.h>

#include <stdexcept>

#include "compare/render/format.h"
#include "compare/render/table.h"
#include "compare/report/builds.h"
#include "compare/report/counts.h"
#include "compare/report/forest.h"
#include "compare/report/report.h"
#include "compare/report/tables.h"
#include "compare/report/usage.h"
#include "compare/report/verdicts.h"

namespace compare {

namespace {

std::string inline_chart(const Comparison& c, const std::string& gnuplot) {
  return rounds_of(pair_of(c)).empty() ? "" : inline_svg(chart_svg(c, gnuplot), "c-");
}

// Several builds: the builds, each build's figures, the ratios, the chart of
// every round's ratios.
std::string builds_html(const Comparison& c, const std::string& chart) {
  std::string out = html_table(builds_table(c));
  out += "<h2>Against " + html_escape(c.reference) + "</h2>\n<p>" + html_escape(builds_meaning(c)) +
         "</p>\n";
  for (const Table& t : verdict_tables_by_test(c.verdicts, c.reference, "Build")) {
    out += html_table(t);
  }
  if (!chart.empty()) {
    out += "<h2>Each round's ratio to the reference</h2>\n<figure class=\"wide\">" + chart +
           "</figure>\n";
  }
  out += "<h2>Each build's figures</h2>\n";
  for (const Table& t : build_figures_tables(c)) out += html_table(t);
  return out;
}

// Against a reference (a baseline or builds), the answer first: every ratio
// with its interval in one chart.
std::string forest_html(const Comparison& c, const std::string& gnuplot) {
  const std::vector<Verdict>& verdicts = several_builds(c) ? c.verdicts : c.baseline->verdicts;
  if (verdicts.empty()) return "";
  const std::string title =
      several_builds(c) ? "Every ratio to " + c.reference : "Every ratio to the baseline";
  return "<h2>" + html_escape(title) + "</h2>\n<figure class=\"wide\">" +
         inline_svg(forest_svg(verdicts, title, gnuplot), "f-") + "</figure>\n";
}

std::string usage_html(const Comparison& c) {
  const std::vector<std::string> usage = usage_lines(rounds_of(pair_of(c)));
  if (usage.empty()) return "";
  std::string out = "<h2>What each program's runs took</h2>\n<ul>\n";
  for (const std::string& line : usage) out += "<li>" + html_escape(line) + "</li>\n";
  return out + "</ul>\n";
}

std::string baseline_html(const BaselineComparison& b) {
  std::string out;
  for (const std::string& note : b.notes) out += "<p>" + html_escape(note) + "</p>\n";
  return out + html_table(verdict_table(b.verdicts, VerdictRows::ByTest,
                                        "Compared with the baseline " + shown_path(b.path)));
}

std::string goal_html(const Comparison& c) {
  return c.goal ? "<p>" + html_escape(goal_line(c)) + "</p>\n" : "";
}

}  // namespace

std::string comparison_html(const Comparison& c, const std::string& gnuplot) {
  const std::string chart = inline_chart(c, gnuplot);
  const std::string title = fmt::format("bench_compare {}{}", c.label.empty() ? "" : c.label + ": ",
                                        c.started_at.empty() ? "" : c.started_at);
  std::string out = page_head(title);
  out += "<h1>" + html_escape(title) + "</h1>\n";
  if (several_builds(c) || c.baseline) out += forest_html(c, gnuplot);
  if (several_builds(c)) {
    out += builds_html(c, chart);
    if (!c.sessions_note.empty()) out += "<p>" + html_escape(c.sessions_note) + "</p>\n";
    std::vector<std::string> warnings = shown_warnings(c);
    if (!c.stopped.empty()) warnings.push_back("The comparison stopped early: " + c.stopped);
    Table record = machine_table(c);
    record.title.clear();
    return out + goal_html(c) + warnings_html(warnings) + "<h2>Record</h2>\n" + html_table(record) +
           page_tail();
  }
  out += html_table(summary_table(c)) + "<p>" + html_escape(meaning(c)) + "</p>\n";
  if (across(c)) out += html_table(session_table(c));
  if (!c.sessions_note.empty()) out += "<p>" + html_escape(c.sessions_note) + "</p>\n";
  out += usage_html(c);
  Table counts = counts_table(c);
  if (!counts.rows.empty()) {
    counts.title = "Counts per timing window";
    out += html_table(counts) + "<p>" + html_escape(counter_meaning(c)) + "</p>\n";
  }
  if (c.baseline) out += baseline_html(*c.baseline);
  std::vector<std::string> warnings = shown_warnings(c);
  if (!c.stopped.empty()) warnings.push_back("The comparison stopped early: " + c.stopped);
  out += goal_html(c) + warnings_html(warnings);
  Table record = machine_table(c);
  record.title.clear();
  out += "<h2>Record</h2>\n" + html_table(record);
  if (!chart.empty()) out += "<h2>Chart</h2>\n<figure class=\"wide\">" + chart + "</figure>\n";
  return out + page_tail();
}

}  // namespace compare
