// Text for gnuplot scripts; running gnuplot is in running/gnuplot.h.
#pragma once

#include <string>

// Before namespace compare is declared (see model.h).
#include <fmt/format.h>

namespace compare {

// A gnuplot single-quoted string: nothing is special in it but the quote.
std::string gnuplot_quoted(const std::string& s);

}  // namespace compare
