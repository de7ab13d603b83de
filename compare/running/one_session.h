// running/: everything bench_compare does with processes and the machine:
// running a program in a scratch directory (process.h, files.h), one session
// of rounds (this header), several sessions apart in time
// (several_sessions.h), the progress line, reading the programs' documents,
// the machine's record, and carrying the counting probe. Uses model.h and
// stats/ (to know when a precision goal is met); never writes a report.
//
// This header: one session: warm-up rounds, then counted rounds in blocks of
// two whose order is drawn per block, until the count is reached or, with a
// precision goal, until every interval is narrow enough or time is up.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

struct SessionOptions {
  std::string random;  // paths of the two programs
  std::string fixed;
  int rounds = 20;  // counted rounds, rounded up to even
  int warmup = 1;
  double timeout = 60;              // per run, seconds
  std::optional<double> precision;  // percent of each median difference
  double max_time = 300;            // seconds for the whole comparison, with a precision goal
  bool progress = false;            // a one-line display on standard error
  std::uint64_t seed = 0;           // for the block orders
  std::string counting_probe;       // preloaded into every run when set (--counters)
  // Where this session stands among several, for the progress display.
  int session = 1;
  int sessions = 1;           // 0 while sessions are added for a precision goal
  double pause = 0;           // seconds between sessions
  double elapsed_before = 0;  // seconds the comparison ran before this session
};

// What running left besides what it added to the comparison.
struct RunStatus {
  bool interrupted = false;
  double run_seconds = 0;          // the runs' own wall times, added up
  std::vector<std::string> notes;  // e.g. which test fell short of the precision goal
};

// Runs one session and adds what ran to `into`: its warm-up rounds, its
// counts (with counting), the events not counted, and, when any counted
// round ran, a session numbered options.session that started at
// `started_at`. A run that fails ends the session; into.stopped says why.
RunStatus run_session(const SessionOptions& options, const std::string& started_at,
                      Comparison& into);

}  // namespace compare
