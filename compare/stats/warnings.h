// The warnings of a comparison: plain sentences about anything in the rounds
// or on the machine that makes the figures less trustworthy than they look.
#pragma once

#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

// What a warning is about; repeats of one kind are summarised together.
enum class WarningKind {
  Rounds,      // too few counted rounds
  Spread,      // scattered times
  Drift,       // differences drifting over the rounds
  Position,    // the difference depends on which program ran first
  Resolution,  // times too close to the clock's tick
  Contention,  // other work took the processor from the runs
  Load,        // the machine's load average
  Governor,    // the frequency governor is not "performance"
  Turbo,       // turbo boost on
  Machine,     // the governor or turbo changed during the run
};

// One warning: its kind, what it is about (such as "bench_fixed's DNA" or
// "Integer"; may be empty), the figure that makes it worse or better than
// another of its kind, and its sentence.
struct Warning {
  WarningKind kind;
  std::string subject;
  double size = 0;
  std::string text;
};

// A warning of one session or merge entry: the prefix its sentence has when
// shown alone ("Session 2: "), where the summary says it was ("session 2").
struct PlacedWarning {
  std::string prefix;
  std::string where;
  Warning warning;
};

// Every warning that applies, each with its kind and figure, in the order of
// warnings_for.
std::vector<Warning> warning_list(const std::vector<Round>& rounds,
                                  const std::vector<TestResult>& tests,
                                  const MachineRecord& machine);

// The warnings of several places (sessions or entries) as a reader needs
// them: a kind found twice or more is one line with the count and its worst
// case; one found once keeps its sentence, prefixed by its place. `places`
// is how many places there are; `place_word` names them ("sessions").
std::vector<std::string> summarise_warnings(const std::vector<PlacedWarning>& found, int places,
                                            const std::string& place_word);

// Every warning that applies, one sentence each, in a fixed order: too few
// rounds, scattered times, drift, position effects, times too close to the
// clock's resolution, other work taking the processor from the runs, then
// the machine's load, governor and turbo.
std::vector<std::string> warnings_for(const std::vector<Round>& rounds,
                                      const std::vector<TestResult>& tests,
                                      const MachineRecord& machine);

// Only the warnings about the machine's load, governor and turbo.
std::vector<Warning> machine_warning_list(const MachineRecord& machine);
std::vector<std::string> machine_warnings(const MachineRecord& machine);

}  // namespace compare
