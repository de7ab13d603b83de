#include "compare/report/forest.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "compare/render/format.h"
#include "compare/render/gnuplot.h"
#include "compare/render/page.h"
#include "compare/running/gnuplot.h"
#include "compare/stats/detectable.h"

namespace compare {

namespace {

// A gnuplot string cannot hold a line break.
std::string unbroken(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char ch) { return ch == '\n' || ch == '\r'; }, ' ');
  return text;
}

std::string row_label(const Verdict& v) {
  const std::string what = fmt::format("{} {}", v.test, series_name(v.series));
  return unbroken(v.entry.empty() ? what : v.entry + ": " + what);
}

// A log axis takes positive values only: anything else, or anything gnuplot
// cannot draw, is missing; so the range below is always finite and positive.
double positive(double x) { return drawable(x) && x > 0 ? x : NAN; }

// Labels at the ticks: a log axis's own labels leave out most of them.
std::string xtics(double low, double high) {
  std::string s;
  for (const double x : ratio_ticks(low, high)) {
    s += fmt::format("{}'{:.6g}' {:.6g}", s.empty() ? "" : ", ", x, x);
  }
  return s.empty() ? "set xtics ('1' 1)\n" : "set xtics (" + s + ")\n";
}

}  // namespace

std::vector<double> ratio_ticks(double low, double high) {
  std::vector<double> ticks;
  if (!(low > 0) || !(high >= low) || !std::isfinite(high)) return ticks;
  if (high / low > 4) {
    const int from = static_cast<int>(std::floor(std::log10(low)));
    const int to = static_cast<int>(std::ceil(std::log10(high)));
    for (int e = from; e <= to; ++e) {
      for (const double m : {1.0, 2.0, 5.0}) {
        const double x = m * std::pow(10.0, e);
        if (x >= low && x <= high) ticks.push_back(x);
      }
    }
    return ticks;
  }
  // At most 8 steps across; a step divides 1, so 1 is always among them.
  const double span = std::max(high - low, 1e-9);
  const double power = std::pow(10.0, std::floor(std::log10(span / 8)));
  double step = power;
  for (const double m : {1.0, 2.0, 5.0, 10.0}) {
    step = m * power;
    if (span / step <= 8) break;
  }
  // Counted in whole steps, so that no tick drifts by adding a fraction again and again.
  const auto first = static_cast<long long>(std::ceil(low / step));
  for (long long k = first; static_cast<double>(k) * step <= high; ++k) {
    ticks.push_back(static_cast<double>(k) * step);
  }
  return ticks;
}

namespace {

// The plot's data blocks, by verdict, and the range that holds every figure.
struct ForestData {
  // The range holds every figure and 1, a little beyond, so that gnuplot
  // never has to find one (it cannot when no ratio is known).
  double low = 1;
  double high = 1;
  std::string faster = "$faster << EOD\n";
  std::string slower = "$slower << EOD\n";
  std::string other = "$other << EOD\n";
  // The smallest change each comparison could have seen, either way: a grey
  // bar from faster to slower just under the row.
  std::string seen = "$seen << EOD\n";
  std::string tics;

  void widen(double x) {
    if (std::isfinite(x)) low = std::min(low, x), high = std::max(high, x);
  }
};

ForestData forest_data(const std::vector<Verdict>& verdicts) {
  ForestData d;
  for (std::size_t i = 0; i < verdicts.size(); ++i) {
    const Verdict& v = verdicts[i];
    const double ratio = positive(v.result.ratio.value_or(NAN));
    const std::optional<Interval>& interval = v.result.interval;
    const double from = interval ? positive(interval->low) : ratio;
    const double to = interval ? positive(interval->high) : ratio;
    for (const double x : {ratio, from, to}) d.widen(x);
    std::string& block = v.verdict == VerdictKind::Faster   ? d.faster
                         : v.verdict == VerdictKind::Slower ? d.slower
                                                            : d.other;
    block +=
        fmt::format("{} {} {} {}\n", data_value(ratio), i + 1, data_value(from), data_value(to));
    if (v.detectable && could_see_any(*v.detectable)) {
      const double least = positive(v.detectable->faster);
      const double most = positive(v.detectable->slower);
      d.widen(least);
      d.widen(most);
      d.seen += fmt::format("1 {}.3 {} {}\n", i + 1, data_value(least), data_value(most));
    }
    d.tics += fmt::format("{}{} {}", i == 0 ? "" : ", ", gnuplot_quoted(row_label(v)), i + 1);
  }
  return d;
}

}  // namespace

std::string forest_script(const std::vector<Verdict>& verdicts, const std::string& title,
                          const std::string& svg_path) {
  const std::size_t n = verdicts.size();
  ForestData d = forest_data(verdicts);
  const double low = d.low;
  const double high = d.high;
  const std::string& tics = d.tics;
  std::string s = fmt::format(
      "set terminal svg size 900,{} dynamic noenhanced font 'sans,11' background '#ffffff'\n",
      110 + 18 * static_cast<int>(n));
  s += fmt::format("set output {}\nset datafile missing 'NaN'\n", gnuplot_quoted(svg_path));
  s += fmt::format("set title {}\n", gnuplot_quoted(unbroken(title)));
  s += "unset arrow\nunset offsets\nset logscale x\nset grid xtics\nset key top outside "
       "horizontal\n";
  s += fmt::format("set xrange [{:.17g}:{:.17g}]\nset yrange [{}.5:0.5]\n", low / 1.05, high * 1.05,
                   n);
  s += fmt::format("set ytics ({}) nomirror\n", tics.empty() ? "'' 1" : tics);
  s += xtics(low / 1.05, high * 1.05);
  s += "set xlabel 'ratio to the reference, 95% interval (below 1: less time)'\n";
  s += "set arrow from 1, graph 0 to 1, graph 1 nohead dt 2 lc 'black'\n";
  // An empty block would make gnuplot fail; a missing point draws nothing.
  for (std::string* block : {&d.faster, &d.slower, &d.other, &d.seen})
    s += *block + "NaN NaN NaN NaN\nEOD\n";
  s += "plot $seen using 1:2:3:4 with xerrorbars ps 0 lw 2 lc '#9a9a9a' title 'detectable change "
       "(80%)', $faster using 1:2:3:4 with xerrorbars pt 7 ps 0.8 lc '#0a6b2b' title 'faster', "
       "$slower using 1:2:3:4 with xerrorbars pt 7 ps 0.8 lc '#a1121b' title 'slower', "
       "$other using 1:2:3:4 with xerrorbars pt 7 ps 0.8 lc 'blue' title 'no verdict of a "
       "change'\n";
  return s +
         "undefine $faster $slower $other $seen\nunset logscale x\nunset arrow\nset xtics "
         "autofreq\n"
         "set output\n";
}

std::string forest_svg(const std::vector<Verdict>& verdicts, const std::string& title,
                       const std::string& gnuplot) {
  Drawing drawing;
  drawing.script = forest_script(verdicts, title, "forest.svg");
  drawing.charts = {"forest.svg"};
  return draw(drawing, gnuplot).at("forest.svg");
}

}  // namespace compare
