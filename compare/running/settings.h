// What a measuring run was asked to do, parsed once and not changed after,
// and, apart from it, where the run stands (its session, that session's
// seed, the time so far): the settings are the user's, the state is the run's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

// One build's pair: where its programs are, found before any run. A single
// pair is a build of one, without a label.
struct BuildSpec {
  std::string label;
  std::string random, fixed;  // absolute paths of the two programs
};

// Idle seconds between sessions by default: long enough for the machine to
// leave the state the last session ran in, short enough that five sessions
// take minutes.
constexpr double kDefaultPause = 30;

struct RunSettings {
  std::vector<BuildSpec> builds;  // 1 to 16, every one in every round
  int rounds = 20;                // counted rounds per session, rounded up to even
  int warmup = 1;
  double timeout = 60;  // per run, seconds
  // A precision goal: one pair's tests, percent of each median difference;
  // several builds' series, the half-width of each ratio's interval as a
  // fraction of the ratio (0.005 for 0.5%). Pursued until the time or the
  // round limit, whichever comes first.
  std::optional<double> precision;
  double time_limit = 300;  // seconds for the whole comparison
  int round_limit = 1000;   // counted rounds in a session
  std::optional<int> cpu;   // every run is kept to this processor
  int sessions = 1;
  double pause = kDefaultPause;  // seconds between sessions
  bool progress = false;         // a one-line display on standard error
  std::uint64_t seed = 0;        // of the block orders
  std::string counting_probe;    // preloaded into every run when set (--counters)

  // With several sessions a precision goal is met by adding sessions, not rounds.
  bool adds_sessions() const { return precision.has_value() && sessions > 1; }
  // Whether the goal is on the ratios to the reference build.
  bool ratio_goal() const { return precision.has_value() && builds.size() > 1; }
  int counted_rounds() const { return rounds + rounds % 2; }
  int runs_per_round() const { return 2 * static_cast<int>(builds.size()); }
};

// Where one session stands among the others.
struct SessionState {
  int session = 1;            // from 1
  std::uint64_t seed = 0;     // of this session's block orders
  double elapsed_before = 0;  // seconds the comparison ran before this session
};

// What running left besides what it added to the comparison.
struct RunStatus {
  bool interrupted = false;
  double run_seconds = 0;           // the runs' own wall times, added up
  std::vector<std::string> notes;   // e.g. which test fell short of the precision goal
  std::optional<GoalOutcome> goal;  // with a precision goal: what ended the comparison
};

}  // namespace compare
