// The progress line in a Windows console: redrawn in place by a carriage
// return and padding, which every console understands.
#include <windows.h>

#include <cstdio>
#include <string>

#include "compare/running/progress.h"

namespace compare {
namespace {

std::size_t g_drawn = 0;  // the width of the line on the console

}  // namespace

bool progress_can_be_shown() {
  // NUL is a character device too: only a console has a console mode.
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void draw_progress_line(const std::string& text) {
  const std::string padding(g_drawn > text.size() ? g_drawn - text.size() : 0, ' ');
  (void)std::fputs(("\r" + text + padding).c_str(), stderr);
  (void)std::fflush(stderr);
  g_drawn = text.size();
}

void clear_progress_line() {
  (void)std::fputs(("\r" + std::string(g_drawn, ' ') + "\r").c_str(), stderr);
  g_drawn = 0;
}

}  // namespace compare
