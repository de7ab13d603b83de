// The warnings of a comparison: plain sentences about anything in the rounds
// or on the machine that makes the figures less trustworthy than they look.
#pragma once

#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

// Every warning that applies, one sentence each, in a fixed order: too few
// rounds, scattered times, drift, position effects, times too close to the
// clock's resolution, other work taking the processor from the runs, then
// the machine's load, governor and turbo.
std::vector<std::string> warnings_for(const std::vector<Round>& rounds,
                                      const std::vector<TestResult>& tests,
                                      const MachineRecord& machine);

// Only the warnings about the machine's load, governor and turbo.
std::vector<std::string> machine_warnings(const MachineRecord& machine);

}  // namespace compare
