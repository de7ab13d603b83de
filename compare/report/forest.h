// The chart a reader of a comparison against a reference comes for: every
// ratio with its interval against 1, in one picture (a forest plot).
#pragma once

#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

// The gnuplot script drawing the verdicts into svg_path: one row per entry
// (none for a baseline), test and series, a point at the ratio and a bar for
// its 95% interval, coloured by verdict, a grey bar under it from the
// smallest "faster" to the smallest "slower" it could have seen, a dashed
// line at 1, the ratio on a log axis so that 0.5x and 2x lie as far from 1.
// Ticks for a ratio axis from low to high (0 < low <= high), enough to read a
// ratio's size: 1, 2 or 5 times a power of ten apart where the range is
// narrow (0.95, 1, 1.05), the 1, 2 and 5 of every decade where it spans more
// than a factor of four.
std::vector<double> ratio_ticks(double low, double high);

std::string forest_script(const std::vector<Verdict>& verdicts, const std::string& title,
                          const std::string& svg_path);

// The chart as the text of an SVG document; throws std::runtime_error when
// gnuplot fails or writes none.
std::string forest_svg(const std::vector<Verdict>& verdicts, const std::string& title,
                       const std::string& gnuplot = "gnuplot");

}  // namespace compare
