// Running one program of a round and reading what it gave: its times, its
// usage, its counts, or why it failed. Shared by a session of one pair and a
// session of several builds.
#pragma once

#include <string>

#include "compare/model.h"
#include "compare/running/settings.h"

namespace compare {

class Runner {
 public:
  Runner(const RunSettings& settings, Comparison& into, RunStatus& status);

  // Runs `program`, the program of `side`, once into its side of `round`
  // (with counting, its counts into `counts`); false, with into.stopped
  // saying why, when it failed or was interrupted. `build` names its build
  // in that message, when there are several.
  bool run_once(const std::string& program, Side side, const std::string& name, Round& round,
                RunCounts& counts, const std::string& build = "");

  // The seconds a run has taken so far, on average.
  double per_run() const;

 private:
  const RunSettings& settings_;
  Comparison& into_;
  RunStatus& status_;
  int runs_ = 0;
};

}  // namespace compare
