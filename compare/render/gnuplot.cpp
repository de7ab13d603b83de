// What running gnuplot means on every system; starting it is in
// gnuplot_posix.cpp and gnuplot_windows.cpp.
#include "compare/render/gnuplot.h"

#include <fstream>

#include "compare/render/table.h"

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

// gnuplot reads a script line by line: a raw line break would end the string
// and start a command of the text's choosing, so control characters (and bytes
// that are not UTF-8) go in as printable() writes them.
std::string gnuplot_quoted(const std::string& s) {
  std::string out = "'";
  for (char ch : printable(s)) out += ch == '\'' ? std::string("''") : std::string(1, ch);
  return out + "'";
}

}  // namespace compare
