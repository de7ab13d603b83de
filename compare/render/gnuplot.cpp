// What running gnuplot means on every system; starting it is in
// gnuplot_posix.cpp and gnuplot_windows.cpp.
#include "compare/render/gnuplot.h"

#include <fstream>

namespace compare {

std::string gnuplot_complaint(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::string first;
  while (std::getline(in, line)) {
    if (line.find("\" line ") != std::string::npos) return line;
    if (first.empty() && line.find_first_not_of(" \t\r^") != std::string::npos) first = line;
  }
  return first.empty() ? "no message" : first;
}

std::string gnuplot_quoted(const std::string& s) {
  std::string out = "'";
  for (char ch : s) out += ch == '\'' ? std::string("''") : std::string(1, ch);
  return out + "'";
}

}  // namespace compare
