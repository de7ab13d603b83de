// Running gnuplot, for the chart of a comparison and those of the web pages:
// through the same runner as the pair, in a scratch directory of its own.
#pragma once

#include <map>
#include <string>
#include <vector>

// Before namespace compare is declared (see model.h).
#include <fmt/format.h>

namespace compare {

// The seconds gnuplot may take for one drawing before it is killed: far
// more than any of bench_compare's charts takes.
constexpr double kGnuplotTimeout = 120;

// What gnuplot draws: its script and the data files it reads, and the SVG
// files it writes, all named relative to the directory it runs in, so that
// no path from the environment enters a script.
struct Drawing {
  std::string script;
  std::map<std::string, std::string> data;
  std::vector<std::string> charts;
};

// Runs the gnuplot command on the drawing with the deadline above, killed at
// once on an interrupt; the text of each chart by name. Throws
// std::runtime_error ("cannot draw the chart: ...") when gnuplot is missing,
// fails, is killed or interrupted, or writes a chart that is no SVG.
std::map<std::string, std::string> draw(const Drawing& drawing, const std::string& gnuplot);

// Why the gnuplot command cannot be run ("gnuplot is not installed ..."),
// or empty when it can; checked before the first round.
std::string gnuplot_unusable(const std::string& gnuplot);

// The line of gnuplot's complaints that says what went wrong: the one
// naming the script's line, else the first not blank.
std::string gnuplot_complaint(const std::string& complaints);

// The gnuplot command as a program to start: a name looked up in the PATH
// (never the current directory unless the PATH names it), a path made
// absolute; empty when there is none. System-specific.
std::string gnuplot_program(const std::string& gnuplot);

// "gnuplot is not installed ...", naming a command other than gnuplot.
std::string gnuplot_not_installed(const std::string& gnuplot);

}  // namespace compare
