// Several sessions of a comparison, apart in time: the machine's speed drifts
// from minute to minute, so only sessions spread over minutes show how much.
#pragma once

#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "compare/model.h"
#include "compare/running/one_session.h"

namespace compare {

// Idle seconds between sessions by default: long enough for the machine to
// leave the state the last session ran in, short enough that five sessions
// take minutes.
constexpr double kDefaultPause = 30;

struct ScheduleOptions {
  int sessions = 1;
  double pause = kDefaultPause;
};

// Runs the sessions one after another into `into`, each with its own warm-up
// and block orders (session 1 draws them from options.seed, as a single
// session does). With several sessions a precision goal adds sessions, not
// rounds. A failure or an interrupt ends them; into.stopped says why.
// `one` runs one session (run_session for one pair, a builds' session for
// several builds).
using SessionFn =
    std::function<RunStatus(const SessionOptions&, const std::string& started_at, Comparison&)>;
RunStatus run_sessions(const SessionOptions& options, const ScheduleOptions& schedule,
                       Comparison& into, const SessionFn& one = run_session);

// "2026-12-08T22:30:00Z" for the moment given, in UTC.
std::string iso8601_utc(std::time_t when);

}  // namespace compare
