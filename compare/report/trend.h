// A trend's report: its tables, built once, and each format they are
// rendered in (the text, Markdown, CSV and the page with a chart per
// series); its JSON is export/trend.h's. Every text of a trend (machines,
// labels, dates) comes from a database and is kept inert in each format.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "compare/history/trend.h"
#include "compare/render/table.h"

namespace compare {

// The series of one machine and build, and the changes found in them.
struct TrendGroup {
  std::string heading;               // "Machine M, build B" or "Machine M"
  std::vector<std::size_t> members;  // its series' places in the trend, in order
  // Per series: test, series, sessions, the span of dates, the first and
  // last figure, and the changes found ("no change found").
  Table series;
  // Per significant change (the JSON and CSV hold every split tested): the
  // series, its first session, the ratio with its 95% interval, the verdict,
  // p, Holm's p, the medians before and after, and the first session's
  // label. No rows when none was found.
  Table changes;
};

// The groups in the order their machine and build first appear.
std::vector<TrendGroup> trend_groups(const Trend& t);

// The opening lines: what the history holds, what the figures are (seconds,
// or "figures are ratios to build R, measured in the same rounds"), and the
// filters given. How the changes were found is kTrendMeaning (history/trend.h).
std::vector<std::string> trend_lines(const Trend& t);

std::string trend_text(const Trend& t);
std::string trend_markdown(const Trend& t);

// One row per session of each series: machine, build, test, series, session
// (from 1 in the series), started_at, label, value, low, high; then the
// columns of a change, filled on the row of its first session and empty on
// every other (change_ratio, change_low, change_high, median_before,
// median_after, p_value, p_adjusted, verdict).
std::string trend_csv(const Trend& t);

// The page: the tables and one chart per series over time, each session's
// figure with its interval and each significant change marked at its first
// session with its ratio; throws std::runtime_error when gnuplot fails.
std::string trend_html(const Trend& t, const std::string& gnuplot = "gnuplot");

// The gnuplot script of those charts, into trend-N.svg in gnuplot's
// directory (N the series' place in the trend, from 0).
std::string trend_charts_script(const Trend& t);

// A session's start as seconds since 1970 (UTC), from "YYYY-MM-DDTHH:MM:SS"
// with an optional fraction and "Z"; none for anything else.
std::optional<double> epoch_seconds(const std::string& iso);

}  // namespace compare
