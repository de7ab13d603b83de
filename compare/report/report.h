// report/: a comparison's report in each format: the text for the terminal,
// JSON, CSV, Markdown, the web page and the chart. The tables are built once
// (tables.h, verdicts.h, counts.h, usage.h) and each format renders them
// through render/, the JSON export's parts through export/. Uses model.h,
// export/, stats/ and render/; runs nothing but gnuplot (through
// running/gnuplot.h).
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

// The console report: header, summary table and what it means, sessions,
// usage, counts, baseline, warnings, an early stop, and the record.
std::string text_report(const Comparison& c);

// The warnings as the reports show them: with several sessions a kind that
// repeats is one line; the JSON keeps every one under "warnings".
const std::vector<std::string>& shown_warnings(const Comparison& c);

// The whole comparison as one self-describing JSON document (each part
// written by export/); numbers that are not finite become null.
nlohmann::json to_json(const Comparison& c);

// One row per run and test: round,block,first,program,position,test,seconds,
// session, with several builds the build (position is then among every
// build's runs in the round), then the run's usage and, with counts, its counts.
std::string to_csv(const Comparison& c);

// The summary table as Markdown, what it means, usage, counts, the baseline's
// verdicts and the warnings.
std::string to_markdown(const Comparison& c);

// The web page: the report's tables and its chart; throws std::runtime_error
// when gnuplot fails.
std::string comparison_html(const Comparison& c, const std::string& gnuplot = "gnuplot");

// The gnuplot script drawing data_path (as plot_data writes it) into svg_path.
std::string gnuplot_script(const Comparison& c, const std::string& data_path,
                           const std::string& svg_path);

// The chart's data: one line per round with its index, the three random
// times, the three fixed times and the three differences.
std::string plot_data(const Comparison& c);

// Draws the chart into svg_path with the gnuplot command; throws
// std::runtime_error when gnuplot is missing or fails, or writes no chart.
void draw_plot(const Comparison& c, const std::string& svg_path,
               const std::string& gnuplot = "gnuplot");

// The chart as the text of an SVG document; throws as draw_plot does.
std::string chart_svg(const Comparison& c, const std::string& gnuplot = "gnuplot");

}  // namespace compare
