// commands/: what bench_compare does, one file per mode: measure (run the
// pair and report), merge (compare exports side by side) and verify (prove
// the work under the probe). main.cpp only parses the options and picks one.
// A command checks everything it can before its first run, prints its text
// report, makes and writes each export on its own, and returns the exit
// status. Commands use
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

// A file given to an option, as "--json" and "out.json".
struct NamedFile {
  std::string option;
  std::string path;
};

// The exports asked for, each with its option.
std::vector<NamedFile> named_exports(const ExportPaths& paths);

// Refuses the first export that names the same file as another or as an
// input, with one line on `err` ("--json a.json and --csv ./a.json name the
// same file", "--json a.json would overwrite --baseline a.json"): kUsage,
// else 0. Checked before any run.
int refuse_overwriting(const std::vector<NamedFile>& exports, const std::vector<NamedFile>& inputs,
                       std::ostream& err);

// One export: where it goes and how it is made.
struct Export {
  std::string path;
  std::function<std::string()> make;
};

// Makes and writes each export on its own, so that one that cannot be made
// (a chart gnuplot could not draw) or written costs no other export of a
// comparison that took minutes: each failure is one line on `err` naming the
// file, and whether an earlier file there is left as it was. False when any
// failed.
bool write_each(const std::vector<Export>& exports, std::ostream& err);

// A report of what ran before (a merge, a trend): its text on `out`, then
// each export on its own. 0; kFailed when the text or any export could not
// be written; kInterrupted on Ctrl-C while gnuplot drew.
int write_report(const std::string& text, const std::vector<Export>& exports, std::ostream& out,
                 std::ostream& err);

}  // namespace compare
