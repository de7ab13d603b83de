// The rounds of a comparison: warm-up rounds, then counted rounds in blocks
// of two whose order is drawn per block, until the count is reached or, with
// a precision goal, until every interval is narrow enough or time is up.
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

struct SessionResult {
  std::vector<Round> rounds;  // counted rounds completed
  std::vector<Round> warmup;  // warm-up rounds completed, with each run's usage
  std::string failure;        // why the comparison stopped early; empty when it did not
  bool interrupted = false;
  double run_seconds = 0;          // the runs' own wall times, added up
  std::vector<std::string> notes;  // e.g. which test fell short of the precision goal
  CountsByRound counters;          // by session and round index, with counting
  std::map<std::string, std::string> counters_unavailable;  // event name: why
};

// Whether every test's interval half-width is at most `percent` of its median
// difference; the names of the tests that fall short go to `short_of`.
bool precise_enough(const std::vector<TestResult>& tests, double percent,
                    std::vector<std::string>& short_of);

SessionResult run_session(const SessionOptions& options);

}  // namespace compare
