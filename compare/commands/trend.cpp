#include "compare/commands/trend.h"

#include "compare/commands/trend_report.h"
#include "compare/history/trend_changes.h"
#include "compare/history/trend_figures.h"

namespace compare {

namespace {

Trend read_trend(const TrendOptions& o) {
  Store store(o.history, Store::Access::Read);
  Trend t = trend_of(read_figures(store, o.filter), o.reference);
  t.version = o.version;
  t.since = o.filter.since;
  t.until = o.filter.until;
  t.label_filter = o.filter.label;
  t.machine_filter = o.filter.machine;
  find_trend_changes(t, o.seed);
  return t;
}

}  // namespace

int run_trend(const TrendOptions& o, std::ostream& out, std::ostream& err) {
  if (const int refused = check_trend_outputs(o.exports, o.history, err)) return refused;
  Trend t;
  try {
    t = read_trend(o);
  } catch (const StoreError& e) {
    return fail(err, e.what());
  }
  if (const int status = write_trend_report(t, o.exports, out, err)) return status;
  if (o.fail_on_slower && slower_among_latest(t, *o.fail_on_slower)) {
    return fail(
        err, fmt::format("a slower change begins among the latest {} sessions", *o.fail_on_slower));
  }
  return 0;
}

}  // namespace compare
