#include "compare/history/trend_figures.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace compare {

namespace {

// What one series is known by; a map of it keeps the report's order the
// same whatever order the figures came in.
using SeriesKey = std::tuple<std::string, std::string, int, std::size_t>;

SeriesKey key_of(const StoredFigure& f) { return {f.machine, f.build, f.test, index_of(f.series)}; }

// The figure a session gives the trend, or none where it has none to give.
std::optional<TrendPoint> point_of(const StoredFigure& f, const std::string& reference) {
  TrendPoint p;
  p.started_at = f.started_at;
  p.label = f.comparison;
  if (reference.empty()) {
    p.value = f.value;
    p.interval = f.interval;
    return p;
  }
  if (f.reference != reference || f.build == reference || !f.ratio) return std::nullopt;
  p.value = *f.ratio;
  p.interval = f.ratio_interval;
  return p;
}

}  // namespace

Trend trend_of(const std::vector<StoredFigure>& figures, const std::string& reference) {
  std::map<SeriesKey, TrendSeries> by_series;
  for (const StoredFigure& f : figures) {
    const std::optional<TrendPoint> point = point_of(f, reference);
    if (!point) continue;
    TrendSeries& s = by_series[key_of(f)];
    if (s.points.empty()) {
      s.machine = f.machine;
      s.build = f.build;
      s.test = kTestNames.at(static_cast<std::size_t>(f.test));
      s.series = f.series;
    }
    s.points.push_back(*point);
  }
  Trend t;
  t.reference = reference;
  for (auto& [key, s] : by_series) {
    // ISO 8601 UTC texts order as their times do; equal starts keep their order.
    std::stable_sort(
        s.points.begin(), s.points.end(),
        [](const TrendPoint& a, const TrendPoint& b) { return a.started_at < b.started_at; });
    t.series.push_back(std::move(s));
  }
  return t;
}

}  // namespace compare
