// Text for gnuplot scripts.
#include "compare/render/gnuplot.h"

#include "compare/render/table.h"

namespace compare {

// gnuplot reads a script line by line: a raw line break would end the string
// and start a command of the text's choosing, so control characters (and bytes
// that are not UTF-8) go in as printable() writes them.
std::string gnuplot_quoted(const std::string& s) {
  std::string out = "'";
  for (char ch : printable(s)) out += ch == '\'' ? std::string("''") : std::string(1, ch);
  return out + "'";
}

}  // namespace compare
