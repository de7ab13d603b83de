#include "compare/running/progress.h"

#include <fmt/format.h>

#include <algorithm>

namespace compare {

using Clock = std::chrono::steady_clock;

std::string progress_text(const RunSettings& settings, const SessionState& state,
                          const std::string& what, int done, int total, double per_run,
                          int runs_left, double elapsed) {
  // Later sessions take as long as this one was planned to, and a pause before each.
  const int later = settings.adds_sessions() ? 0 : std::max(settings.sessions - state.session, 0);
  const int runs_later =
      later * settings.runs_per_round() * (settings.warmup + settings.counted_rounds());
  const double seconds = per_run * (runs_left + runs_later) + later * settings.pause;
  std::string left = fmt::format("about {:.0f} s left", std::max(seconds, 0.0));
  if (settings.precision) {
    // Rounds or sessions are added until the goal is met, so only the limit is known.
    left = fmt::format("up to {:.0f} s left", std::max(settings.time_limit - elapsed, 0.0));
  }
  std::string session;
  if (settings.sessions != 1) {
    session = settings.adds_sessions()
                  ? fmt::format("session {}: ", state.session)
                  : fmt::format("session {} of {}: ", state.session, settings.sessions);
  }
  return fmt::format("{}{} {} of {} done, {}", session, what, done, total, left);
}

Progress::Progress(const RunSettings& settings, const SessionState& state)
    : settings_(settings), state_(state), started_(Clock::now()) {}

Progress::~Progress() {
  if (drawn_) clear_progress_line();
}

void Progress::update(const std::string& what, int done, int total, double per_run, int runs_left) {
  if (!settings_.progress) return;
  const double elapsed =
      state_.elapsed_before + std::chrono::duration<double>(Clock::now() - started_).count();
  draw_progress_line(
      progress_text(settings_, state_, what, done, total, per_run, runs_left, elapsed));
  drawn_ = true;
}

void show_pause(double seconds, int next_session) {
  draw_progress_line(fmt::format("pausing {:g} s before session {}", seconds, next_session));
}

}  // namespace compare
