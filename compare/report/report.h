// What a comparison shows to its user: the console report (report.cpp), the
// exports (export_json.cpp, export_csv.cpp, export_markdown.cpp), a baseline
// read back from an earlier JSON export (baseline.cpp), and the chart drawn by
// gnuplot (plot.cpp). The web page is html.h's; what they all share is
// report_parts.h's.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

// The console report: header, summary table and what it means, baseline,
// warnings, an early stop, and the record of machine and programs.
std::string text_report(const Comparison& c);

// The summary table, heading row first, and what its figures mean.
std::vector<std::vector<std::string>> summary_table(const Comparison& c);
std::string summary_meaning(const Comparison& c);

// The record of the machine and programs: one row of item and value each.
std::vector<std::vector<std::string>> record_table(const Comparison& c);

// The whole comparison as one self-describing JSON document; numbers that
// are not finite become null.
nlohmann::json to_json(const Comparison& c);

// One row per run and test: round,block,first,program,position,test,seconds,
// then the run's usage (usage_csv_header).
std::string to_csv(const Comparison& c);

// The summary table as Markdown, what it means, and the warnings.
std::string to_markdown(const Comparison& c);

// An earlier comparison, as read back from its JSON export.
struct Baseline {
  std::vector<Round> rounds;
  MachineRecord machine;
  ProgramRecord random, fixed;
};

// The machine and programs of a JSON export as to_json writes them; what is
// missing or not text is "unknown" (an empty path).
MachineRecord machine_from_json(const nlohmann::json& machine);
void programs_from_json(const nlohmann::json& programs, ProgramRecord& random,
                        ProgramRecord& fixed);

// Reads a file written from to_json; throws std::runtime_error with a
// one-line message naming the file and what is wrong with it.
Baseline read_baseline(const std::string& path);

// One sentence for each way the baseline's machine or build differs from now:
// the processor, either program's compiler, the kernel.
std::vector<std::string> baseline_notes(const Comparison& now, const Baseline& base);

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

}  // namespace compare
