// One session of several builds, run in the same rounds: warm-up rounds,
// then counted rounds in blocks of two. The first round of a block runs
// every build's bench_random and bench_fixed once, in an order drawn at
// random; the second runs the reverse order, so that over each block every
// program's mean position in the round is the same. The machine's speed
// drifts from minute to minute; within a round it touches every build
// alike, so it cancels in their ratios.
#pragma once

#include <string>
#include <vector>

#include "compare/model.h"
#include "compare/running/builds.h"
#include "compare/running/one_session.h"

namespace compare {

// Runs one session of the builds into into.builds (which holds one Build per
// given, in the same order): each build's warm-up rounds, counted rounds as a
// new session numbered options.session, and counts; each round's order. A
// failed run ends the session, its round left out for every build;
// into.stopped says why. options.random and options.fixed are not used.
RunStatus run_builds_session(const SessionOptions& options,
                             const std::vector<BuildSpec>& builds_given,
                             const std::string& started_at, Comparison& into);

}  // namespace compare
