// A trend's page: its tables, and one chart per series over time drawn by
// gnuplot, each significant change marked at its first session.
#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

#include "compare/render/format.h"
#include "compare/render/gnuplot.h"
#include "compare/render/page.h"
#include "compare/report/trend.h"
#include "compare/running/gnuplot.h"

namespace compare {

namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
long long days_from_civil(long long y, long long m, long long d) {
  y -= m <= 2 ? 1 : 0;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// The whole number of `n` digits at `at`, or -1.
long long digits_at(const std::string& s, std::size_t at, std::size_t n) {
  long long v = 0;
  for (std::size_t i = at; i < at + n; ++i) {
    if (i >= s.size() || std::isdigit(static_cast<unsigned char>(s[i])) == 0) return -1;
    v = v * 10 + (s[i] - '0');
  }
  return v;
}

std::string trend_chart_name(std::size_t series) { return fmt::format("trend-{}.svg", series); }

// A gnuplot string cannot hold a line break.
std::string one_line(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char ch) { return ch == '\n' || ch == '\r'; }, ' ');
  return text;
}

std::string chart_title(const TrendSeries& s) {
  const std::string where = s.build.empty() ? known(s.machine) : known(s.machine) + ", " + s.build;
  return one_line(fmt::format("{}: {} {}", where, s.test, series_name(s.series)));
}

// Where each significant change begins, as a line and its ratio beside it.
std::string change_marks(const TrendSeries& s) {
  std::string out = "unset arrow\nunset label\n";
  for (const ChangePoint& c : s.changes) {
    if (!significant(c) || c.first >= s.points.size()) continue;
    const std::optional<double> x = epoch_seconds(s.points[c.first].started_at);
    if (!x) continue;
    const char* colour = c.verdict == VerdictKind::Slower ? "#a1121b" : "#0a6b2b";
    out += fmt::format(
        "set arrow from {:.17g}, graph 0 to {:.17g}, graph 1 nohead dt 2 lw 1.5 "
        "lc '{}'\n",
        *x, *x, colour);
    const std::string text =
        std::isfinite(c.ratio) ? fmt::format("{:.4g}x", c.ratio) : std::string("n/a");
    out += fmt::format("set label {} at {:.17g}, graph 0.96 left offset 0.4,0 tc rgb '{}'\n",
                       gnuplot_quoted(text), *x, colour);
  }
  return out;
}

// The median of each segment between significant changes as a level line,
// from its first session to the next segment's.
std::string level_lines(const TrendSeries& s) {
  const std::size_t n = s.points.size();
  std::vector<std::size_t> starts{0};
  std::vector<double> medians;
  for (const ChangePoint& c : s.changes) {
    if (!significant(c) || c.first >= n || c.first <= starts.back()) continue;
    if (medians.empty()) medians.push_back(c.median_before);
    starts.push_back(c.first);
    medians.push_back(c.median_after);
  }
  const auto x = [&](std::size_t i) {
    return data_value(epoch_seconds(s.points[i].started_at).value_or(NAN));
  };
  std::string out;
  for (std::size_t k = 0; k < medians.size(); ++k) {
    const std::size_t to = k + 1 < starts.size() ? starts[k + 1] : n - 1;
    out += fmt::format("{} {}\n{} {}\n\n", x(starts[k]), data_value(medians[k]), x(to),
                       data_value(medians[k]));
  }
  return out;
}

// The points with their intervals and the level lines; the x range when
// gnuplot cannot find one (no point, or every point at one moment).
std::string series_data(const TrendSeries& s) {
  std::string points = "$points << EOD\n";
  std::string levels = "$levels << EOD\n";
  std::vector<double> xs;
  for (const TrendPoint& p : s.points) {
    const double x = epoch_seconds(p.started_at).value_or(NAN);
    const double low = p.interval ? p.interval->low : p.value;
    const double high = p.interval ? p.interval->high : p.value;
    points += fmt::format("{} {} {} {}\n", data_value(x), data_value(p.value), data_value(low),
                          data_value(high));
    if (drawable(x) && drawable(p.value)) xs.push_back(x);
  }
  levels += level_lines(s);
  std::string out = points + "NaN NaN NaN NaN\nEOD\n" + levels + "NaN NaN\nEOD\n";
  const auto [low, high] = std::minmax_element(xs.begin(), xs.end());
  if (xs.empty()) return out + "set xrange [0:86400]\nset yrange [0:1]\n";
  if (*low == *high) {
    return out + fmt::format("set xrange [{:.17g}:{:.17g}]\nset autoscale y\n", *low - 43200,
                             *high + 43200);
  }
  return out + "set autoscale x\nset autoscale y\n";
}

// Up to a few hundred sessions each is a point with its interval as an
// error bar; beyond, bars would hide each other and make the page heavy,
// so the intervals are a band and the figures a line through it.
constexpr std::size_t kMostBars = 400;
std::string sessions_plot(std::size_t sessions) {
  if (sessions <= kMostBars) {
    return "$points using 1:2:3:4 with yerrorbars pt 7 ps 0.5 lc 'blue' title 'session, 95%'";
  }
  return "$points using 1:3:4 with filledcurves fc '#b8c8f0' fs solid 0.6 noborder title '95%', "
         "$points using 1:2 with lines lw 0.8 lc 'blue' title 'session'";
}

}  // namespace

std::optional<double> epoch_seconds(const std::string& iso) {
  if (iso.size() < 19 || iso[4] != '-' || iso[7] != '-' || iso[10] != 'T' || iso[13] != ':' ||
      iso[16] != ':') {
    return std::nullopt;
  }
  const long long y = digits_at(iso, 0, 4), mo = digits_at(iso, 5, 2), d = digits_at(iso, 8, 2);
  const long long h = digits_at(iso, 11, 2), mi = digits_at(iso, 14, 2), s = digits_at(iso, 17, 2);
  if (y < 0 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 ||
      s < 0 || s > 60) {
    return std::nullopt;
  }
  std::size_t at = 19;
  if (at < iso.size() && iso[at] == '.') {
    const std::size_t digits = ++at;
    while (at < iso.size() && std::isdigit(static_cast<unsigned char>(iso[at])) != 0) ++at;
    if (at == digits) return std::nullopt;
  }
  if (at < iso.size() && iso[at] == 'Z') ++at;
  if (at != iso.size()) return std::nullopt;
  return static_cast<double>(days_from_civil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s);
}

std::string trend_charts_script(const Trend& t) {
  std::string s =
      "set terminal svg size 640,320 dynamic noenhanced font 'sans,11' background '#ffffff'\n"
      "set datafile missing 'NaN'\nset grid\nset key below horizontal\n"
      "set xtics time format '%Y-%m-%d' rotate by -30\n"
      "set offsets graph 0.02, graph 0.02, graph 0.08, graph 0.08\n";
  s += fmt::format(
      "set ylabel {}\n",
      gnuplot_quoted(t.reference.empty() ? "seconds (session median, 95%)"
                                         : one_line("ratio to " + t.reference + " (95%)")));
  for (std::size_t i = 0; i < t.series.size(); ++i) {
    const TrendSeries& series = t.series[i];
    s += series_data(series) + change_marks(series);
    s += fmt::format("set output {}\nset title {}\n", gnuplot_quoted(trend_chart_name(i)),
                     gnuplot_quoted(chart_title(series)));
    s += "plot " + sessions_plot(series.points.size()) +
         ", $levels using 1:2 with lines lw 1.5 lc '#555555' title 'median between changes'\n";
    s += "undefine $points $levels\n";
  }
  return s + "set output\n";
}

std::string trend_html(const Trend& t, const std::string& gnuplot) {
  std::map<std::string, std::string> charts;
  if (!t.series.empty()) {
    Drawing drawing;
    drawing.script = trend_charts_script(t);
    for (std::size_t i = 0; i < t.series.size(); ++i) drawing.charts.push_back(trend_chart_name(i));
    charts = draw(drawing, gnuplot);
  }
  const std::vector<std::string> lines = trend_lines(t);
  std::string out = page_head(t.reference.empty() ? "bench_compare trend"
                                                  : "bench_compare trend: ratio to " + t.reference);
  out += "<h1>" + html_escape(lines.front()) + "</h1>\n";
  for (std::size_t i = 1; i < lines.size(); ++i) out += "<p>" + html_escape(lines[i]) + "</p>\n";
  if (!t.series.empty()) out += "<p>" + html_escape(kTrendMeaning) + "</p>\n";
  for (const TrendGroup& g : trend_groups(t)) {
    out += "<h2>" + html_escape(g.heading) + "</h2>\n" + html_table(g.series);
    if (!g.changes.rows.empty()) out += html_table(g.changes);
    out += "<div class=\"charts\">\n";
    for (const std::size_t i : g.members) {
      out += "<figure>" + inline_svg(charts.at(trend_chart_name(i)), fmt::format("t{}-", i)) +
             "</figure>\n";
    }
    out += "</div>\n";
  }
  return out + page_tail();
}

}  // namespace compare
