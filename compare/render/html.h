// The web page of a merge or of a single comparison: one self-contained HTML
// file with the report's tables and charts drawn by gnuplot as inline SVG,
// loading nothing from anywhere.
#pragma once

#include <string>
#include <vector>

#include "compare/history/merge.h"
#include "compare/history/merge_report.h"
#include "compare/model.h"

namespace compare {

// Text made safe inside HTML elements and attribute values.
std::string html_escape(const std::string& text);

// gnuplot's SVG made fit to sit inline in a page beside others: no XML
// prolog, and its ids prefixed so that no two charts share one.
std::string inline_svg(const std::string& svg, const std::string& id_prefix);

// The gnuplot script drawing, per test and series, each entry's figure with
// its interval and its session medians, one row per entry, into
// svg_directory/chart-T-S.svg (T the test, S the series, from 0).
std::string merge_charts_script(const Merge& m, const std::string& svg_directory);

// The pages; throw std::runtime_error when gnuplot fails.
std::string merge_html(const Merge& m, const std::string& gnuplot = "gnuplot");
std::string comparison_html(const Comparison& c, const std::string& gnuplot = "gnuplot");

}  // namespace compare
