#include "compare/running/progress.h"

#include <fmt/format.h>

#include <algorithm>

#include "compare/running/one_session.h"

namespace compare {

using Clock = std::chrono::steady_clock;

Progress::Progress(const SessionOptions& options) : options_(options), started_(Clock::now()) {}

Progress::~Progress() {
  if (drawn_) clear_progress_line();
}

void Progress::update(const std::string& what, int done, int total, double per_run, int runs_left) {
  if (!options_.progress) {
    return;
  }
  // Later sessions take as long as this one, and a pause before each.
  const int later = std::max(options_.sessions - options_.session, 0);
  const double seconds =
      per_run *
          (runs_left + later * 2 * (options_.warmup + options_.rounds + options_.rounds % 2)) +
      later * options_.pause;
  std::string left = fmt::format("about {:.0f} s left", std::max(seconds, 0.0));
  if (options_.precision || options_.sessions == 0) {
    // Rounds or sessions are added until the goal is met, so only the limit is known.
    const double elapsed =
        options_.elapsed_before + std::chrono::duration<double>(Clock::now() - started_).count();
    left = fmt::format("up to {:.0f} s left", std::max(options_.max_time - elapsed, 0.0));
  }
  std::string session;
  if (options_.sessions != 1) {
    session = options_.sessions > 0
                  ? fmt::format("session {} of {}: ", options_.session, options_.sessions)
                  : fmt::format("session {}: ", options_.session);
  }
  draw_progress_line(fmt::format("{}{} {} of {} done, {}", session, what, done, total, left));
  drawn_ = true;
}

void show_pause(double seconds, int next_session) {
  draw_progress_line(fmt::format("pausing {:g} s before session {}", seconds, next_session));
}

}  // namespace compare
