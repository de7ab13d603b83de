// The figures read back for the trend, in the order it takes them.
#include <fmt/format.h>

#include "compare/history/store_sql.h"
#include "compare/render/table.h"

namespace compare {

namespace {

const char* const kFigures = R"(
SELECT m.cpu_model, c.label, s.started_at, s.key, b.label, c.reference, f.test, f.series,
  f.value, f.low, f.high, f.ratio, f.ratio_low, f.ratio_high
FROM figure f JOIN session s ON s.id = f.session_id JOIN build b ON b.id = s.build_id
  JOIN comparison c ON c.id = b.comparison_id JOIN machine m ON m.id = c.machine_id
WHERE (?1 = '' OR s.started_at >= ?1) AND (?2 = '' OR s.started_at <= ?2 || '~')
  AND (?3 = '' OR b.label = ?3 OR c.label = ?3) AND (?4 = '' OR m.cpu_model = ?4)
  AND f.test BETWEEN 0 AND 2 AND f.series BETWEEN 0 AND 2
ORDER BY m.cpu_model, b.label, f.test, f.series, s.started_at, s.id)";

std::optional<Interval> interval_at(const Statement& q, int low) {
  const std::optional<double> l = q.real(low);
  const std::optional<double> h = q.real(low + 1);
  if (!l || !h) return std::nullopt;
  return Interval{*l, *h};
}

StoredFigure figure_of(const Statement& q) {
  StoredFigure f;
  f.machine = q.text(0).empty() ? "unknown" : q.text(0);
  f.comparison = q.text(1);
  f.started_at = q.text(2);
  f.session_key = q.text(3);
  f.build = q.text(4);
  f.reference = q.text(5);
  f.test = static_cast<int>(q.integer(6));
  f.series = kSeries.at(static_cast<std::size_t>(q.integer(7)));
  f.value = q.real(8).value_or(0);
  f.interval = interval_at(q, 9);
  f.ratio = q.real(11);
  f.ratio_interval = interval_at(q, 12);
  // The reference's own figures are no ratios to it.
  if (!f.ratio) f.reference.clear();
  return f;
}

}  // namespace

std::vector<StoredFigure> read_figures(Store& store, const HistoryFilter& filter) {
  Statement q(store.impl(), kFigures);
  q.bind(1, filter.since).bind(2, filter.until).bind(3, filter.label).bind(4, filter.machine);
  std::vector<StoredFigure> figures;
  while (q.step()) {
    if (figures.size() == kMaxHistoryFigures) {
      throw StoreError(fmt::format(
          "{}: more than {} figures to read, the most a history may give at once; choose fewer "
          "sessions, builds or machines",
          printable(store.path()), kMaxHistoryFigures));
    }
    figures.push_back(figure_of(q));
  }
  return figures;
}

}  // namespace compare
