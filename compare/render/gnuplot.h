// Text for gnuplot scripts; running gnuplot is in running/gnuplot.h.
#pragma once

#include <string>

// Before namespace compare is declared (see model.h).
#include <fmt/format.h>

namespace compare {

// A gnuplot single-quoted string: the quote doubled, and no control character
// (a line break above all) nor invalid UTF-8 in it, each written as printable()
// does, as "\x0a".
std::string gnuplot_quoted(const std::string& s);

}  // namespace compare
