// Text for gnuplot scripts.
#include "compare/render/gnuplot.h"

namespace compare {

std::string gnuplot_quoted(const std::string& s) {
  std::string out = "'";
  for (char ch : s) out += ch == '\'' ? std::string("''") : std::string(1, ch);
  return out + "'";
}

}  // namespace compare
