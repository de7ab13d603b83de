// commands/: what bench_compare does, one file per mode: measure (run the
// pair and report), merge (compare exports side by side) and verify (prove
// the work under the probe). main.cpp only parses the options and picks one.
// A command checks everything it can before its first run, builds every
// export before it writes any, and returns the exit status. Commands use
// every other folder; no other folder uses them.
//
// This header: what the commands share: exit statuses, errors, and writing
// the exports.
#pragma once

// Before namespace compare is declared (see model.h).
#include <fmt/format.h>

#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace compare {

constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kInterrupted = 130;  // as a shell reports a program ended by Ctrl-C

// "bench_compare: MESSAGE" on one line (made printable), returning kFailed;
// usage_error adds where the options are explained and returns kUsage.
int fail(std::ostream& err, const std::string& message);
int usage_error(std::ostream& err, const std::string& message);

// The paths of the exports asked for; empty where none.
struct ExportPaths {
  std::string json, csv, markdown, plot, html;
  std::string gnuplot = "gnuplot";  // the command that draws --plot and --html
};

// "cannot write PATH: why" for the first export that cannot be written, or
// why gnuplot cannot draw the charts asked for, or empty; checked before any
// run.
std::string unwritable_export(const ExportPaths& paths);

// One export: where it goes and how it is made.
struct Export {
  std::string path;
  std::function<std::string()> make;
};

// Makes and writes each export on its own, so that a chart gnuplot could
// not draw costs no other export of a comparison that took minutes; each
// failure is reported on `err`. False when any failed.
bool write_each(const std::vector<Export>& exports, std::ostream& err);

// Every export made, as path and text; false (the failure reported on
// `err`) when any could not be made.
using Made = std::vector<std::pair<std::string, std::string>>;
bool make_exports(const std::vector<Export>& exports, Made& made, std::ostream& err);

// Writes what was made; false when any write failed (each reported).
bool write_made(const Made& made, std::ostream& err);

}  // namespace compare
