#include "compare/render/html.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "compare/render/gnuplot.h"
#include "compare/report/counts.h"
#include "compare/report/parts.h"
#include "compare/report/report.h"
#include "compare/running/files.h"
#include "compare/stats/usage.h"

namespace compare {

namespace {

// Phones get one column of charts, wide screens several; tables too wide for
// the screen scroll inside their own box instead of widening the page. The
// policy forbids loading anything, so a page opened from disk stays offline.
constexpr const char* kHead = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; style-src 'unsafe-inline'">
<title>{}</title>
<style>
body {{ font-family: system-ui, sans-serif; margin: 0; color: #1a1a1a; background: #fff; }}
main {{ padding: 0.75rem; max-width: 110rem; margin: 0 auto; }}
h1 {{ font-size: 1.3rem; }} h2 {{ font-size: 1.1rem; margin-top: 1.6rem; }} h3 {{ font-size: 1rem; }}
.scroll {{ overflow-x: auto; max-width: 100%; }}
table {{ border-collapse: collapse; font-size: 0.85rem; margin-bottom: 0.8rem; }}
caption {{ text-align: left; font-weight: 600; padding: 0.3rem 0; }}
th, td {{ border-bottom: 1px solid #ddd; padding: 0.25rem 0.5rem; text-align: left; white-space: nowrap; }}
th {{ background: #f3f3f3; }}
td.differs {{ background: #fff3c4; }}
td.faster {{ color: #0a6b2b; font-weight: 600; }} td.slower {{ color: #a1121b; font-weight: 600; }}
.charts {{ display: flex; flex-wrap: wrap; gap: 0.8rem; }}
figure {{ flex: 1 1 22rem; min-width: 0; margin: 0; }}
figure.wide {{ flex-basis: 100%; }}
svg {{ width: 100%; height: auto; display: block; }}
ul.warnings li {{ margin-bottom: 0.3rem; }}
p {{ max-width: 60rem; line-height: 1.4; }}
</style>
</head>
<body>
<main>
)";

constexpr const char* kTail = "</main>\n</body>\n</html>\n";

std::string table_html(const Table& t) {
  std::string out = "<div class=\"scroll\"><table>";
  if (!t.title.empty()) out += "<caption>" + html_escape(t.title) + "</caption>";
  out += "<thead><tr>";
  for (const std::string& h : t.header) out += "<th>" + html_escape(h) + "</th>";
  out += "</tr></thead><tbody>\n";
  for (const auto& row : t.rows) {
    out += "<tr>";
    for (const std::string& cell : row) {
      std::string cls;
      if (cell.size() > 2 && cell.compare(cell.size() - 2, 2, " *") == 0) cls = "differs";
      if (cell == "faster" || cell == "slower") cls = cell;
      out += (cls.empty() ? "<td>" : "<td class=\"" + cls + "\">") + html_escape(cell) + "</td>";
    }
    out += "</tr>\n";
  }
  return out + "</tbody></table></div>\n";
}

// A table from rows whose first is the heading, as the text report has them
// (its indentation dropped: the page lays out its own).
std::string table_of(const std::string& title, std::vector<std::vector<std::string>> rows) {
  for (auto& row : rows) {
    for (std::string& cell : row) cell.erase(0, cell.find_first_not_of(' '));
  }
  if (rows.empty()) return "";
  Table table{title, rows.front(), {rows.begin() + 1, rows.end()}};
  return table_html(table);
}

std::string warnings_html(const std::vector<std::string>& warnings) {
  if (warnings.empty()) return "";
  std::string out = "<h2>Warnings</h2>\n<ul class=\"warnings\">\n";
  for (const std::string& w : warnings) out += "<li>" + html_escape(w) + "</li>\n";
  return out + "</ul>\n";
}

std::string read_svg(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (!in.good() && !in.eof()) text.clear();
  if (text.find("<svg") == std::string::npos) {
    throw std::runtime_error("cannot draw the chart: gnuplot wrote no chart");
  }
  return text;
}

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

const std::array<const char*, 3> kSeriesTitles = {"bench_random (s)", "bench_fixed (s)",
                                                  "random - fixed (s)"};

}  // namespace

std::string html_escape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    switch (ch) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += ch;
    }
  }
  return out;
}

std::string inline_svg(const std::string& svg, const std::string& id_prefix) {
  const size_t start = svg.find("<svg");
  std::string out = start == std::string::npos ? svg : svg.substr(start);
  for (const char* quote : {"\"", "'"}) {
    out = replace_all(out, fmt::format("id={}", quote), fmt::format("id={}{}", quote, id_prefix));
    out = replace_all(out, fmt::format("href={}#", quote),
                      fmt::format("href={}#{}", quote, id_prefix));
  }
  return replace_all(out, "url(#", "url(#" + id_prefix);
}

// One row per entry, top to bottom in entry order, so that the charts grow
// in height with the entries and every label keeps its own line.
std::string merge_charts_script(const Merge& m, const std::string& svg_directory) {
  const size_t n = m.entries.size();
  std::string s = "set datafile missing 'NaN'\nset grid xtics\nset key top outside horizontal\n";
  s += fmt::format("set yrange [{}.5:0.5]\n", n);
  std::string tics;
  for (size_t i = 0; i < n; ++i) {
    // A gnuplot string cannot hold a line break.
    std::string label = m.entries[i].label;
    std::replace_if(
        label.begin(), label.end(), [](char ch) { return ch == '\n' || ch == '\r'; }, ' ');
    tics += fmt::format("{}{} {}", i == 0 ? "" : ", ", gnuplot_quoted(label), i + 1);
  }
  s += fmt::format("set ytics ({}) nomirror\nset offsets graph 0.05, graph 0.05, 0, 0\n", tics);
  const int height = 110 + 22 * static_cast<int>(n);
  s += fmt::format(
      "set terminal svg size 520,{} dynamic noenhanced font 'sans,11' background '#ffffff'\n",
      height);
  for (size_t t = 0; t < kTests; ++t) {
    for (size_t k = 0; k < kSeriesNames.size(); ++k) {
      std::string entries = "$entries << EOD\n";
      std::string reference = "$reference << EOD\n";
      std::string sessions = "$sessions << EOD\n";
      double reference_value = NAN;
      for (size_t i = 0; i < n; ++i) {
        const Entry& e = m.entries[i];
        const Estimate& est = e.tests.at(t).across.at(k);
        const double low = est.interval ? est.interval->low : est.estimate;
        const double high = est.interval ? est.interval->high : est.estimate;
        const std::string line = fmt::format("{} {} {} {}\n", data_value(est.estimate), i + 1,
                                             data_value(low), data_value(high));
        (e.label == m.reference ? reference : entries) += line;
        if (e.label == m.reference) reference_value = est.estimate;
        for (double v : e.tests.at(t).sessions.at(k)) {
          sessions += fmt::format("{} {}\n", data_value(v), i + 1);
        }
      }
      // An empty block would make gnuplot fail; a missing point draws nothing.
      for (std::string* block : {&entries, &reference, &sessions}) {
        *block += "NaN NaN NaN NaN\nEOD\n";
        s += *block;
      }
      s += fmt::format("set output {}\n",
                       gnuplot_quoted(fmt::format("{}/chart-{}-{}.svg", svg_directory, t, k)));
      s +=
          fmt::format("set title {}\n",
                      gnuplot_quoted(fmt::format("{}: {}", kTestNames.at(t), kSeriesTitles.at(k))));
      s += "unset arrow\n";
      if (std::isfinite(reference_value)) {
        s += fmt::format(
            "set arrow from {:.17g}, graph 0 to {:.17g}, graph 1 nohead dt 2 lc 'red'\n",
            reference_value, reference_value);
      }
      s += "plot $sessions using 1:2 with points pt 7 ps 0.35 lc 'gray' title 'sessions', "
           "$entries using 1:2:3:4 with xerrorbars pt 7 ps 0.8 lc 'blue' title 'entry, 95%', "
           "$reference using 1:2:3:4 with xerrorbars pt 5 ps 0.9 lc 'red' title 'reference'\n";
      s += "undefine $entries $reference $sessions\n";
    }
  }
  return s + "set output\n";
}

std::string merge_html(const Merge& m, const std::string& gnuplot) {
  const ScratchDir dir("bench_compare-page");
  if (dir.path().empty()) {
    throw std::runtime_error("cannot draw the chart: cannot make a temporary directory: " +
                             dir.error());
  }
  const std::string script = dir.file("charts.gp");
  const std::string why = write_text(script, merge_charts_script(m, dir.path()));
  if (!why.empty()) throw std::runtime_error("cannot draw the chart: " + why);
  run_gnuplot(script, dir.file("gnuplot.err"), gnuplot);

  std::string out = fmt::format(kHead, html_escape("bench_compare merge: " + m.reference));
  out += "<h1>" + html_escape(merge_summary(m)) + "</h1>\n";
  out += "<p>" + html_escape(kMergeMeaning) + "</p>\n";
  Table machines = machines_table(m);
  machines.title = "* differs from the reference";
  out += "<h2>Machines and builds</h2>\n" + table_html(machines);
  out += "<h2>Figures across sessions</h2>\n";
  for (const Table& t : figures_tables(m)) out += table_html(t);
  out += "<h2>Against the reference</h2>\n";
  for (const Table& t : comparisons_tables(m)) out += table_html(t);
  out +=
      "<h2>Charts</h2>\n<p>Per test and series, each entry's geometric mean of its session "
      "medians with its 95% interval, and its sessions' medians in gray; the reference in red, "
      "its figure also as a dashed line.</p>\n";
  for (size_t t = 0; t < kTests; ++t) {
    out += "<h3>" + html_escape(kTestNames.at(t)) + "</h3>\n<div class=\"charts\">\n";
    for (size_t k = 0; k < kSeriesNames.size(); ++k) {
      const std::string svg = read_svg(dir.file(fmt::format("chart-{}-{}.svg", t, k)));
      out += "<figure>" + inline_svg(svg, fmt::format("c{}{}-", t, k)) + "</figure>\n";
    }
    out += "</div>\n";
  }
  // Last, as there may be many: each session brings its own.
  return out + warnings_html(merge_warnings(m)) + kTail;
}

std::string comparison_html(const Comparison& c, const std::string& gnuplot) {
  std::string chart;
  if (!c.rounds.empty()) {
    const ScratchDir dir("bench_compare-page");
    if (dir.path().empty()) {
      throw std::runtime_error("cannot draw the chart: cannot make a temporary directory: " +
                               dir.error());
    }
    draw_plot(c, dir.file("chart.svg"), gnuplot);
    chart = inline_svg(read_svg(dir.file("chart.svg")), "c-");
  }
  const std::string title = fmt::format("bench_compare {}{}", c.label.empty() ? "" : c.label + ": ",
                                        c.started_at.empty() ? "" : c.started_at);
  std::string out = fmt::format(kHead, html_escape(title));
  out += "<h1>" + html_escape(title) + "</h1>\n";
  out += table_of("", summary_table(c)) + "<p>" + html_escape(summary_meaning(c)) + "</p>\n";
  if (across(c)) out += table_of("By session", session_rows(c));
  const std::vector<std::string> usage = usage_lines(c.rounds);
  if (!usage.empty()) {
    out += "<h2>What each program's runs took</h2>\n<ul>\n";
    for (const std::string& line : usage) out += "<li>" + html_escape(line) + "</li>\n";
    out += "</ul>\n";
  }
  const auto counters = counter_table(c);
  if (!counters.empty()) {
    out += table_of("Counts per timing window", counters) + "<p>" +
           html_escape(counter_meaning(c)) + "</p>\n";
  }
  if (c.baseline) {
    std::vector<std::vector<std::string>> verdicts = {
        {"Test", "Series", "Ratio [95% interval]", "p", "p (Holm)", "Verdict"}};
    for (const BaselineVerdict& v : c.baseline->verdicts) {
      verdicts.push_back({v.test, v.series,
                          v.ratio_interval ? fmt::format("{} [{}, {}]", ratio_text(v.ratio),
                                                         ratio_text(v.ratio_interval->low),
                                                         ratio_text(v.ratio_interval->high))
                                           : ratio_text(v.ratio),
                          p_text(v.p_value), p_text(v.p_adjusted), v.verdict});
    }
    for (const std::string& note : c.baseline->notes) out += "<p>" + html_escape(note) + "</p>\n";
    out += table_of("Compared with the baseline " + c.baseline->path, verdicts);
  }
  std::vector<std::string> warnings = c.warnings;
  if (!c.stopped.empty()) warnings.push_back("The comparison stopped early: " + c.stopped);
  out += warnings_html(warnings);
  out += "<h2>Record</h2>\n" + table_html(Table{"", {"Item", "Value"}, record_table(c)});
  if (!chart.empty()) out += "<h2>Chart</h2>\n<figure class=\"wide\">" + chart + "</figure>\n";
  return out + kTail;
}

}  // namespace compare
