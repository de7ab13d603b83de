// The progress line on a Linux terminal: redrawn in place with the terminal's
// erase-line code.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "compare/running/progress.h"

namespace compare {

bool progress_can_be_shown() { return isatty(STDERR_FILENO) != 0; }

void draw_progress_line(const std::string& text) {
  (void)std::fputs(("\r\033[K" + text).c_str(), stderr);
  (void)std::fflush(stderr);
}

void clear_progress_line() { (void)std::fputs("\r\033[K", stderr); }

}  // namespace compare
