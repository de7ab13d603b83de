// running/: everything bench_compare does with processes and the machine:
// running a program in a scratch directory (process.h, files.h), one session
// of rounds (this header), several sessions apart in time
// (several_sessions.h), the progress line, reading the programs' documents,
// the machine's record, and carrying the counting probe. Uses model.h and
// stats/ (to know when a precision goal is met); never writes a report.
//
// This header: one session, of one build's pair or of several builds in the
// same rounds: warm-up rounds, then counted rounds in blocks of two. The
// first round of a block runs every build's bench_random and bench_fixed
// once, in an order drawn at random; the second runs the reverse order, so
// that over each block every program's mean position in the round is the
// same. The machine's speed drifts from minute to minute; within a round it
// touches every build alike, so it cancels in their ratios. With a precision
// goal (and one session) blocks are added until every interval is narrow
// enough, or the time or the round limit comes first (goal.h).
#pragma once

#include <string>
#include <vector>

#include "compare/model.h"
#include "compare/running/settings.h"

namespace compare {

// Runs one session into `into`, whose builds are settings.builds' in the
// same order: each build's warm-up rounds, its counted rounds as a new
// session numbered state.session that started at `started_at`, and counts;
// each round's order (with several builds). A failed run ends the session,
// its round left out for every build; into.stopped says why.
RunStatus run_session(const RunSettings& settings, const SessionState& state,
                      const std::string& started_at, Comparison& into);

}  // namespace compare
