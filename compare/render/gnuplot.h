// Running gnuplot, for the chart of a comparison and those of the web page.
#pragma once

#include <string>

// Before namespace compare is declared (see model.h).
#include <fmt/format.h>

namespace compare {

// Runs the gnuplot command on the script, its complaints going to err_path;
// throws std::runtime_error ("cannot draw the chart: ...") when gnuplot is
// missing, fails or is killed.
void run_gnuplot(const std::string& script, const std::string& err_path,
                 const std::string& gnuplot);

// A gnuplot single-quoted string: nothing is special in it but the quote.
std::string gnuplot_quoted(const std::string& s);

}  // namespace compare
