// Several sessions of a comparison, apart in time: the machine's speed drifts
// from minute to minute, so only sessions spread over minutes show how much.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "compare/model.h"
#include "compare/running/one_session.h"

namespace compare {

// Runs settings.sessions sessions one after another into `into` (one Build
// per settings.builds, in order), each with its own warm-up and block orders
// (session 1 draws them from settings.seed, as a single session does). With
// several sessions a precision goal adds sessions, not rounds. A failure or
// an interrupt ends them; into.stopped says why.
RunStatus run_sessions(const RunSettings& settings, Comparison& into);

// "2026-12-08T22:30:00Z" for the moment given, in UTC.
std::string iso8601_utc(std::time_t when);

}  // namespace compare
