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

// Why the gnuplot command cannot be run ("gnuplot is not installed ..."),
// or empty when it can; checked before the first round.
std::string gnuplot_unusable(const std::string& gnuplot);

// The line of gnuplot's complaints (in the file at err_path) that says what
// went wrong: the one naming the script's line, else the first not blank.
std::string gnuplot_complaint(const std::string& err_path);

// A gnuplot single-quoted string: the quote doubled, and no control character
// (a line break above all) nor invalid UTF-8 in it, each written as printable()
// does, as "\x0a".
std::string gnuplot_quoted(const std::string& s);

}  // namespace compare
