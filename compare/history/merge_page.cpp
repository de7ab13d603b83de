// The merge's web page: its tables, and per test and series a chart of every
// entry against the reference, drawn by gnuplot.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "compare/history/merge_report.h"
#include "compare/render/format.h"
#include "compare/render/gnuplot.h"
#include "compare/render/page.h"
#include "compare/render/table.h"
#include "compare/report/forest.h"
#include "compare/report/verdicts.h"
#include "compare/running/gnuplot.h"

namespace compare {

namespace {

// A chart's file in gnuplot's directory.
std::string chart_name(size_t test, size_t series) {
  return fmt::format("chart-{}-{}.svg", test, series);
}

const std::array<const char*, 3> kSeriesTitles = {"bench_random (s)", "bench_fixed (s)",
                                                  "random - fixed (s)"};

// The data blocks of one chart: the entries, the reference and the sessions;
// the reference's figure, and whether any value can be drawn at all.
std::string chart_data(const Merge& m, size_t t, size_t k, double& reference_value, bool& drawn) {
  std::string entries = "$entries << EOD\n";
  std::string reference = "$reference << EOD\n";
  std::string sessions = "$sessions << EOD\n";
  for (size_t i = 0; i < m.entries.size(); ++i) {
    const Entry& e = m.entries[i];
    const Estimate& est = e.tests.at(t).across.at(k);
    const double low = est.interval ? est.interval->low : est.estimate;
    const double high = est.interval ? est.interval->high : est.estimate;
    const std::string line = fmt::format("{} {} {} {}\n", data_value(est.estimate), i + 1,
                                         data_value(low), data_value(high));
    (e.label == m.reference ? reference : entries) += line;
    if (e.label == m.reference) reference_value = est.estimate;
    drawn = drawn || drawable(est.estimate) || drawable(low) || drawable(high);
    for (double v : e.tests.at(t).sessions.at(k)) {
      sessions += fmt::format("{} {}\n", data_value(v), i + 1);
      drawn = drawn || drawable(v);
    }
  }
  // An empty block would make gnuplot fail; a missing point draws nothing.
  std::string out;
  for (std::string* block : {&entries, &reference, &sessions}) {
    out += *block + "NaN NaN NaN NaN\nEOD\n";
  }
  return out;
}

}  // namespace

// One row per entry, top to bottom in entry order, so that the charts grow
// in height with the entries and every label keeps its own line.
std::string merge_charts_script(const Merge& m) {
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
    for (const Series which : kSeries) {
      const size_t k = index_of(which);
      double reference_value = NAN;
      bool drawn = false;
      s += chart_data(m, t, k, reference_value, drawn);
      s += fmt::format("set output {}\n", gnuplot_quoted(chart_name(t, k)));
      s +=
          fmt::format("set title {}\n",
                      gnuplot_quoted(fmt::format("{}: {}", kTestNames.at(t), kSeriesTitles.at(k))));
      // gnuplot cannot scale an axis to no point at all.
      s += drawn ? "set autoscale x\nunset arrow\n" : "set xrange [-1:1]\nunset arrow\n";
      if (drawable(reference_value)) {
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
  Drawing drawing;
  drawing.script = merge_charts_script(m);
  for (size_t t = 0; t < kTests; ++t) {
    for (size_t k = 0; k < kSeries.size(); ++k) drawing.charts.push_back(chart_name(t, k));
  }
  const std::map<std::string, std::string> charts = draw(drawing, gnuplot);

  std::string out = page_head("bench_compare merge: " + m.reference);
  out += "<h1>" + html_escape(merge_summary(m)) + "</h1>\n";
  if (!m.comparisons.empty()) {
    const std::string title = "Every ratio to " + m.reference;
    out += "<h2>" + html_escape(title) + "</h2>\n<figure class=\"wide\">" +
           inline_svg(forest_svg(m.comparisons, title, gnuplot), "f-") + "</figure>\n";
  }
  out += "<p>" + html_escape(kMergeMeaning) + " " + html_escape(kIntervalsNote) + "</p>\n";
  Table machines = machines_table(m);
  machines.title = "* differs from the reference";
  out += "<h2>Machines and builds</h2>\n" + html_table(machines);
  out += "<h2>Figures across sessions</h2>\n";
  for (const Table& t : figures_tables(m)) out += html_table(t);
  out += "<h2>Against the reference</h2>\n";
  for (const Table& t : verdict_tables_by_test(m.comparisons, m.reference)) out += html_table(t);
  out +=
      "<h2>Charts</h2>\n<p>Per test and series, each entry's geometric mean of its session "
      "medians with its 95% interval, and its sessions' medians in gray; the reference in red, "
      "its figure also as a dashed line.</p>\n";
  for (size_t t = 0; t < kTests; ++t) {
    out += "<h3>" + html_escape(kTestNames.at(t)) + "</h3>\n<div class=\"charts\">\n";
    for (size_t k = 0; k < kSeries.size(); ++k) {
      const std::string& svg = charts.at(chart_name(t, k));
      out += "<figure>" + inline_svg(svg, fmt::format("c{}{}-", t, k)) + "</figure>\n";
    }
    out += "</div>\n";
  }
  // Last, as there may be many: each session brings its own.
  return out + warnings_html(merge_warnings(m)) + page_tail();
}

}  // namespace compare
