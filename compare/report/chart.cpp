// The chart of a comparison, drawn by gnuplot as SVG.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <stdexcept>

#include "compare/render/format.h"
#include "compare/render/gnuplot.h"
#include "compare/render/page.h"
#include "compare/report/report.h"
#include "compare/report/tables.h"
#include "compare/running/files.h"
#include "compare/running/gnuplot.h"
#include "compare/stats/builds.h"

namespace compare {

namespace {

// Several builds: per round, each build's ratio to the reference, for every
// test and series in turn (test-major), one column per build.
std::string builds_data(const Comparison& c) {
  const Build& ref = reference_of(c);
  const std::vector<Round> ref_rounds = rounds_of(ref);
  std::vector<std::vector<Round>> others;  // every other build's rounds, in the same order
  for (const Build& build : c.builds) {
    if (&build != &ref) others.push_back(rounds_of(build));
  }
  std::string out = "# round, then per test and series each build's ratio to the reference\n";
  for (std::size_t i = 0; i < ref_rounds.size(); ++i) {
    out += std::to_string(i + 1);
    for (int t = 0; t < kTests; ++t) {
      for (const Series which : kSeries) {
        for (const std::vector<Round>& rounds : others) {
          // A ratio of values that are not both positive means nothing: not drawn.
          const double now = i < rounds.size() ? value_of(rounds[i], which, t) : NAN;
          const double then = value_of(ref_rounds[i], which, t);
          out += " " + data_value(now > 0 && then > 0 ? now / then : NAN);
        }
      }
    }
    out += "\n";
  }
  return out;
}

std::string builds_script(const Comparison& c, const std::string& data_path,
                          const std::string& svg_path) {
  const Comparison& b = c;
  std::string s =
      "set terminal svg size 1200,1100 dynamic noenhanced font 'sans,11' background '#ffffff'\n";
  s += fmt::format("set output {}\nset datafile missing 'NaN'\n", gnuplot_quoted(svg_path));
  s += fmt::format("set multiplot layout 3,3 title {}\n",
                   gnuplot_quoted(fmt::format("bench_compare {}: each round's ratio to {}",
                                              c.version, b.reference)));
  s += "set xlabel 'round'\nset grid\nset key outside top center horizontal\n";
  int column = 2;
  for (int t = 0; t < kTests; ++t) {
    for (const Series which : kSeries) {
      s += fmt::format("set title {}\nplot 1 with lines dt 2 lc 'red' notitle",
                       gnuplot_quoted(fmt::format("{}: {}", kTestNames.at(static_cast<size_t>(t)),
                                                  series_name(which))));
      for (const Build& build : b.builds) {
        if (build.label == b.reference) continue;
        s += fmt::format(", {} using 1:{} with points pt 7 ps 0.5 title {}",
                         gnuplot_quoted(data_path), column++, gnuplot_quoted(build.label));
      }
      s += "\n";
    }
  }
  return s + "unset multiplot\nset output\n";
}

}  // namespace

std::string plot_data(const Comparison& c) {
  if (several_builds(c)) return builds_data(c);
  std::string out = "# round";
  for (const char* series : {"random", "fixed", "difference"}) {
    for (const char* test : kTestNames) out += fmt::format(" {}_{}", series, test);
  }
  out += "\n";
  // Numbered in the order run, so that sessions follow each other.
  int position = 0;
  for (const Round& r : rounds_of(pair_of(c))) {
    out += std::to_string(++position);
    for (int t = 0; t < kTests; ++t) out += " " + data_value(r.random.at(t));
    for (int t = 0; t < kTests; ++t) out += " " + data_value(r.fixed.at(t));
    for (int t = 0; t < kTests; ++t) out += " " + data_value(r.random.at(t) - r.fixed.at(t));
    out += "\n";
  }
  return out;
}

std::string gnuplot_script(const Comparison& c, const std::string& data_path,
                           const std::string& svg_path) {
  if (several_builds(c)) return builds_script(c, data_path, svg_path);
  const int last = std::max(1, static_cast<int>(rounds_of(pair_of(c)).size()));
  std::string s;
  s += "set terminal svg size 1100,1200 dynamic noenhanced font 'sans,11' background '#ffffff'\n";
  s += fmt::format("set output {}\n", gnuplot_quoted(svg_path));
  s += "set datafile missing 'NaN'\n";
  s += fmt::format(
      "set multiplot layout 3,2 title {}\n",
      gnuplot_quoted(fmt::format("bench_compare {}: {}", c.version,
                                 plural(rounds_of(pair_of(c)).size(), "round", "rounds"))));
  s += fmt::format("set xrange [0.5:{}.5]\n", last);
  s += "set xlabel 'round'\nset ylabel 'seconds'\nset grid\n"
       "set key outside top center horizontal\n";
  const std::string data = gnuplot_quoted(data_path);
  for (int t = 0; t < kTests; ++t) {
    const std::string name = kTestNames.at(t);
    s += fmt::format("set title {}\n", gnuplot_quoted(name + ": each round's time"));
    s += "set logscale y\n";
    s += fmt::format(
        "plot {} using 1:{} with points pt 7 ps 0.6 title 'bench_random', "
        "'' using 1:{} with points pt 5 ps 0.6 title 'bench_fixed'\n",
        data, 2 + t, 2 + kTests + t);
    s += "unset logscale y\n";
    s += fmt::format("set title {}\n", gnuplot_quoted(name + ": random - fixed per round"));
    // The band goes first so that the points stay visible over it; the
    // summary comes from the same test's result, when it has one.
    std::string band;
    std::string median;
    for (const TestResult& result : pair_of(c).tests) {
      if (result.name != name) continue;
      // Drawable only, as the data are: gnuplot scales its axes to them.
      if (result.interval && drawable(result.interval->low) && drawable(result.interval->high)) {
        band = fmt::format(
            "'+' using 1:({:.17g}):({:.17g}) with filledcurves fs transparent solid 0.25 noborder "
            "lc 'gray' title '95% interval', ",
            result.interval->low, result.interval->high);
      }
      if (drawable(result.difference)) {
        median =
            fmt::format(", {:.17g} with lines lw 2 lc 'black' title 'median'", result.difference);
      }
    }
    const std::string plot = fmt::format(
        "plot {}{} using 1:{} with points pt 7 ps 0.6 lc 'dark-violet' title 'difference'{}", band,
        data, 2 + 2 * kTests + t, median);
    s += plot + "\n";
  }
  s += "unset multiplot\nset output\n";
  return s;
}

namespace {

// The chart's SVG text, drawn in gnuplot's own directory by relative names.
std::string chart_text(const Comparison& c, const std::string& gnuplot) {
  // Every build ran in every round: the first build's rounds are every build's.
  if (rounds_of(pair_of(c)).empty())
    throw std::runtime_error("cannot draw the chart: no round was completed");
  Drawing drawing;
  drawing.data = {{"rounds.dat", plot_data(c)}};
  drawing.script = gnuplot_script(c, "rounds.dat", "chart.svg");
  drawing.charts = {"chart.svg"};
  return draw(drawing, gnuplot).at("chart.svg");
}

}  // namespace

void draw_plot(const Comparison& c, const std::string& svg_path, const std::string& gnuplot) {
  // Written only once whole, so a failed drawing leaves nothing at svg_path.
  const std::string why = write_text(svg_path, chart_text(c, gnuplot));
  if (!why.empty()) {
    throw std::runtime_error(fmt::format("cannot write the chart {}: {}", svg_path, why));
  }
}

std::string chart_svg(const Comparison& c, const std::string& gnuplot) {
  return chart_text(c, gnuplot);
}

}  // namespace compare
