#include "compare/history/trend_changes.h"

#include <vector>

#include "compare/stats/change_points.h"

namespace compare {

void find_trend_changes(Trend& trend, std::uint64_t seed) {
  ChangeSettings settings;
  settings.family = trend.series.empty() ? 1 : trend.series.size();
  settings.seed = seed;
  std::vector<SeriesChanges> found;
  found.reserve(trend.series.size());
  for (const TrendSeries& s : trend.series) {
    std::vector<double> values;
    values.reserve(s.points.size());
    for (const TrendPoint& p : s.points) values.push_back(p.value);
    found.push_back(find_changes(values, settings));
  }
  adjust_changes(found);
  for (std::size_t i = 0; i < found.size(); ++i) {
    std::vector<ChangePoint>& changes = trend.series[i].changes;
    changes.clear();
    for (const FoundChange& f : found[i].changes) {
      changes.push_back({f.first, f.median_before, f.median_after, f.ratio, f.interval, f.p,
                         f.p_adjusted, f.verdict});
    }
  }
}

bool slower_among_latest(const Trend& trend, std::size_t latest) {
  for (const TrendSeries& s : trend.series) {
    for (const ChangePoint& c : s.changes) {
      if (c.verdict == VerdictKind::Slower && c.first + latest >= s.points.size()) return true;
    }
  }
  return false;
}

}  // namespace compare
