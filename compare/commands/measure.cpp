#include "compare/commands/measure.h"

#include <ctime>
#include <optional>

#include "compare/history/baseline.h"
#include "compare/report/report.h"
#include "compare/running/counting_probe.h"
#include "compare/running/machine.h"
#include "compare/running/process.h"
#include "compare/stats/across_sessions.h"

namespace compare {

namespace {

// Everything that can be found out before the first round: the pair, the
// exports' paths, the counting probe, the baseline. Empty when all is well.
std::string checked(const MeasureOptions& options, SessionOptions& session,
                    std::optional<Baseline>& baseline) {
  std::string why = pair_unrunnable(session.random, session.fixed);
  if (why.empty()) why = unwritable_export(options.exports);
  if (why.empty() && options.counters) {
    session.counting_probe = counting_probe_path(options.probe);
    why = counting_unusable(session.counting_probe, session.random, session.fixed);
  }
  if (why.empty() && !options.baseline.empty()) {
    try {
      baseline = read_baseline(options.baseline);
    } catch (const std::exception& error) {
      why = error.what();
    }
  }
  return why;
}

std::vector<Export> exports_of(const Comparison& c, const ExportPaths& paths) {
  return {{paths.json, [&] { return to_json(c).dump(2) + "\n"; }},
          {paths.csv, [&] { return to_csv(c); }},
          {paths.markdown, [&] { return to_markdown(c); }},
          {paths.html, [&] { return comparison_html(c, paths.gnuplot); }},
          {paths.plot, [&] { return chart_svg(c, paths.gnuplot); }}};
}

}  // namespace

int measure(const MeasureOptions& options, std::ostream& out, std::ostream& err) {
  SessionOptions session = options.session;
  std::optional<Baseline> baseline;
  const std::string why = checked(options, session, baseline);
  if (!why.empty()) return fail(err, why);

  Comparison c;
  c.version = options.version;
  c.label = options.label.empty() ? host_name() : options.label;
  c.seed = session.seed;
  c.machine = read_machine();
  c.random = {session.random, compiler_of(session.random)};
  c.fixed = {session.fixed, compiler_of(session.fixed)};

  catch_interrupts();
  c.started_at = iso8601_utc(std::time(nullptr));
  const RunStatus status = run_sessions(session, options.schedule, c);
  c.finished_at = iso8601_utc(std::time(nullptr));
  read_machine_after(c.machine);
  summarise_comparison(c, status.notes);
  if (baseline && !c.rounds.empty()) {
    c.baseline = compare_with_baseline(c, *baseline, options.baseline);
  }

  if (!c.stopped.empty()) fail(err, c.stopped);
  out << text_report(c) << std::flush;
  const bool exported = write_each(exports_of(c, options.exports), err);
  if (status.interrupted) return kInterrupted;
  return c.stopped.empty() && exported && out.good() ? 0 : kFailed;
}

}  // namespace compare
