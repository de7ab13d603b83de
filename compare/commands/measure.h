// bench_compare's own work: runs the pair in interleaved rounds (and
// sessions), compares with a baseline when asked, and reports in every
// format asked for.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "compare/commands/outputs.h"
#include "compare/running/several_sessions.h"

namespace compare {

struct MeasureOptions {
  RunSettings run;  // rounds, sessions, timeout, seed, precision; its builds are found here
  std::string random, fixed;  // the pair, without --build
  ExportPaths exports;
  std::string baseline;   // an earlier export to compare with, when given
  std::string label;      // of this comparison; the host name when empty
  std::string history;    // the SQLite history the comparison is appended to, when given
  bool counters = false;  // count each window under the counting probe
  std::string probe;      // the tracing probe; the counting probe is beside it
  std::string version;    // of this bench_compare
  std::string cpu;        // --cpu: a processor's number or "quiet"; empty: any
  // With --build: each LABEL=DIR (or LABEL=RANDOM,FIXED), and the label the
  // others are compared with (the first when empty).
  std::vector<std::string> builds;
  std::string reference;
};

// Checks everything it can, runs the sessions, prints the report to `out`
// and writes the exports. Returns 0, 1 when a check, a run or an export
// failed, 2 when the builds are given wrong or an export would overwrite an
// input or another export, 130 when interrupted.
int measure(const MeasureOptions& options, std::ostream& out, std::ostream& err);

}  // namespace compare
