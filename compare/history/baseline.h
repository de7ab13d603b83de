// A baseline: an earlier comparison's export read back, how its machine or
// build differs from now, and each series now against it.
#pragma once

#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

// An earlier comparison, as read back from its JSON export.
struct Baseline {
  std::vector<Round> rounds;  // every session's, each naming its session
  MachineRecord machine;
  ProgramRecord random, fixed;
};

// Reads a file written from to_json through the one export reader; throws
// std::runtime_error with a one-line message naming the file and what is
// wrong with it ("the baseline PATH ...").
Baseline read_baseline(const std::string& path);

// One sentence for each way the baseline's machine or build differs from now
// (stats/differences.h): the processor, either program's compiler, the
// programs' or the machine's architecture, the kernel, the system.
std::vector<std::string> baseline_notes(const Comparison& now, const Baseline& base);

// Each series of `now` against the baseline, by session, with its notes.
BaselineComparison compare_with_baseline(const Comparison& now, const Baseline& base,
                                         const std::string& path);

}  // namespace compare
