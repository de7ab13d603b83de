// The builds of `--build LABEL=DIR` (or LABEL=RANDOM,FIXED): where each
// build's pair is, found before any run.
#pragma once

#include <string>
#include <vector>

#include "compare/running/settings.h"

namespace compare {

// Reads one --build value. The pair is found at DIR/bench_random/bench_random
// and DIR/bench_fixed/bench_fixed (a build tree), else in DIR/bin/ (an
// installed prefix), else in DIR itself; "LABEL=RANDOM,FIXED" names them.
// Empty when all is well, else why not, one line.
std::string read_build(const std::string& text, BuildSpec& given);

// Why the builds cannot be compared: fewer than 2 or more than 16, a label
// given twice, a reference that names none. Empty when they can.
std::string builds_unusable(const std::vector<BuildSpec>& builds, const std::string& reference);

}  // namespace compare
