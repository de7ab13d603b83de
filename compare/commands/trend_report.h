// The trend's outputs, as the merge writes its own: the text report on
// standard output and each export asked for made and written on its own.
// The trend itself is assembled from the history by its command.
#pragma once

#include <ostream>
#include <string>

#include "compare/commands/outputs.h"
#include "compare/history/trend.h"

namespace compare {

// Before the history is read: kUsage when an export names the same file as
// another or as the history (which --json would otherwise overwrite),
// kFailed when one cannot be written or gnuplot cannot draw the page; else
// 0. One line on `err` either way. A trend has no --plot: its charts are on
// the page.
int check_trend_outputs(const ExportPaths& paths, const std::string& history, std::ostream& err);

// The text report on `out`, then --json, --csv, --markdown and --html: 0, or
// kFailed when the text or any export could not be written (each failure a
// line on `err`), kInterrupted on Ctrl-C while gnuplot drew.
int write_trend_report(const Trend& t, const ExportPaths& paths, std::ostream& out,
                       std::ostream& err);

}  // namespace compare
