// The one-line progress display on standard error while the runs go on, and
// the line of a pause between sessions. Drawn only when asked for (a
// terminal, and no --quiet); cleared when done.
#pragma once

// Before namespace compare is declared (see model.h).
#include <fmt/format.h>

#include <chrono>
#include <string>

#include "compare/running/settings.h"

namespace compare {

// The line itself: "session 2 of 3: round 3 of 20 done, about 12 s left".
// `per_run` seconds a run takes, `runs_left` in this session, `elapsed` the
// comparison's seconds so far; later sessions are counted with every
// build's runs and the pauses before them.
std::string progress_text(const RunSettings& settings, const SessionState& state,
                          const std::string& what, int done, int total, double per_run,
                          int runs_left, double elapsed);

class Progress {
 public:
  Progress(const RunSettings& settings, const SessionState& state);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void update(const std::string& what, int done, int total, double per_run, int runs_left);

 private:
  const RunSettings& settings_;
  const SessionState& state_;
  std::chrono::steady_clock::time_point started_;
  bool drawn_ = false;
};

// Whether standard error is a terminal (a console window on Windows), where
// the progress line may be drawn.
bool progress_can_be_shown();

// The line shown during a pause before a session, and its clearing.
void show_pause(double seconds, int next_session);
void clear_progress_line();

// For the progress code: replaces the line on standard error with the text.
void draw_progress_line(const std::string& text);

}  // namespace compare
