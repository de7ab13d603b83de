#include "compare/running/several_sessions.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>

#include "compare/running/goal.h"
#include "compare/running/one_session.h"
#include "compare/running/process.h"
#include "compare/running/progress.h"
#include "compare/stats/stopping.h"

namespace compare {
namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string now_utc() { return iso8601_utc(std::time(nullptr)); }

// Whether a precision goal wants another session and it is likely to end in
// time; when it does not, the outcome (and with one pair the notes) say why.
bool another_for_precision(const RunSettings& settings, const Comparison& into, int sessions,
                           double elapsed, double longest, RunStatus& status) {
  std::vector<ShortOfGoal> short_of = short_of_goal(settings, into);
  const std::optional<StopReason> why = stop_reason(
      {short_of.empty(), 0, 0, 0, elapsed, settings.pause + longest, settings.time_limit});
  if (!why) return true;
  note_short_of_goal(settings, short_of, fmt::format("{} sessions", sessions), elapsed, status);
  const int rounds = into.builds.front().sessions.empty()
                         ? 0
                         : static_cast<int>(into.builds.front().sessions.back().rounds.size());
  status.goal = goal_outcome(settings, *why, rounds, sessions, elapsed, std::move(short_of));
  return false;
}

// The pause before session `index`; false when it was interrupted.
bool paused(const RunSettings& settings, int index, Comparison& into) {
  if (settings.progress) show_pause(settings.pause, index);
  const bool idled = idle_unless_interrupted(settings.pause);
  if (settings.progress) clear_progress_line();
  if (!idled) into.stopped = fmt::format("interrupted in the pause before session {}", index);
  return idled;
}

}  // namespace

std::string iso8601_utc(std::time_t when) {
  std::tm utc{};
  if (gmtime_r(&when, &utc) == nullptr) return "unknown";
  char text[32];
  const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return n == 0 ? "unknown" : std::string(text, n);
}

RunStatus run_sessions(const RunSettings& settings, Comparison& into) {
  const auto started = Clock::now();
  if (settings.sessions <= 1) return run_session(settings, {1, settings.seed, 0}, now_utc(), into);
  RunStatus status;
  double longest = 0;  // seconds of the longest session so far
  for (int index = 1;; ++index) {
    if (index > settings.sessions &&
        (!settings.precision || !another_for_precision(settings, into, index - 1,
                                                       seconds_since(started), longest, status))) {
      break;
    }
    if (index > 1 && !paused(settings, index, into)) {
      status.interrupted = true;
      break;
    }
    // Each session draws its own block orders, repeatable from the one seed.
    const SessionState state{
        index, settings.seed + static_cast<std::uint64_t>(index - 1) * 0x9E3779B97F4A7C15ULL,
        seconds_since(started)};
    const auto session_start = Clock::now();
    const RunStatus session = run_session(settings, state, now_utc(), into);
    longest = std::max(longest, seconds_since(session_start));
    status.run_seconds += session.run_seconds;
    status.notes.insert(status.notes.end(), session.notes.begin(), session.notes.end());
    status.interrupted = session.interrupted;
    if (!into.stopped.empty()) break;
  }
  return status;
}

}  // namespace compare
