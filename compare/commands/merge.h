// bench_compare --merge: reads comparisons' JSON exports and reports them side
// by side, running nothing.
#pragma once

// Before namespace compare is declared (see model.h).
#include <fmt/format.h>

#include <ostream>
#include <string>
#include <vector>

namespace compare {

struct MergeOptions {
  std::vector<std::string> inputs;  // export files and directories of them
  std::string reference;            // a label; the first entry when empty
  std::string json, csv, markdown, html;
  std::string version;  // of this bench_compare
  std::string gnuplot = "gnuplot";
};

// The exit status: 0, 1 when an input or an export fails, 2 when there are
// fewer than two entries or an export would overwrite an input or another
// export. Errors go to err as one line each.
int run_merge(const MergeOptions& options, std::ostream& out, std::ostream& err);

}  // namespace compare
