#include "compare/commands/measure.h"

#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "compare/history/baseline.h"
#include "compare/render/format.h"
#include "compare/report/report.h"
#include "compare/running/build_session.h"
#include "compare/running/builds.h"
#include "compare/running/counting_probe.h"
#include "compare/running/machine.h"
#include "compare/running/process.h"
#include "compare/stats/across_sessions.h"
#include "compare/stats/builds.h"

namespace compare {

namespace {

// Exports may overwrite neither each other nor an input: the programs and
// the baseline.
int refuse_overwriting_inputs(const MeasureOptions& options, const std::vector<BuildSpec>& builds,
                              std::ostream& err) {
  std::vector<NamedFile> inputs = {{"--random", options.session.random},
                                   {"--fixed", options.session.fixed},
                                   {"--baseline", options.baseline}};
  if (!builds.empty()) inputs.clear();
  for (const BuildSpec& b : builds) {
    inputs.push_back({"--build " + b.label, b.random});
    inputs.push_back({"--build " + b.label, b.fixed});
  }
  return refuse_overwriting(named_exports(options.exports), inputs, err);
}

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

// The builds of --build, checked; the exit status when they cannot be used.
int builds_of(const MeasureOptions& options, std::vector<BuildSpec>& builds_given,
              std::ostream& err) {
  for (const std::string& text : options.builds) {
    BuildSpec given;
    const std::string why = read_build(text, given);
    if (!why.empty()) {
      return text.find('=') == std::string::npos ? usage_error(err, why) : fail(err, why);
    }
    builds_given.push_back(given);
  }
  const std::string why = builds_unusable(builds_given, options.reference);
  return why.empty() ? 0 : usage_error(err, why);
}

// Programs built for different architectures do different work, so their
// times are not comparable: refused before any run, as a usage error of one
// line (no option mends it, so no pointer to the options).
int refuse_mixed_architectures(
    const std::vector<std::pair<std::string, ProgramRecord>>& named_programs, std::ostream& err) {
  const std::string why = architectures_differ(named_programs);
  if (why.empty()) return 0;
  fail(err, why);
  return kUsage;
}

// Everything about the builds that can be found out before the first round.
std::string builds_checked(const MeasureOptions& options,
                           const std::vector<BuildSpec>& builds_given, SessionOptions& session) {
  std::string why = unwritable_export(options.exports);
  if (why.empty() && options.counters) {
    session.counting_probe = counting_probe_path(options.probe);
    for (const BuildSpec& b : builds_given) {
      if (why.empty()) why = counting_unusable(session.counting_probe, b.random, b.fixed);
    }
  }
  return why;
}

std::vector<Export> exports_of(const Comparison& c, const ExportPaths& paths) {
  return {{paths.json, [&] { return export_text(to_json(c)); }},
          {paths.csv, [&] { return to_csv(c); }},
          {paths.markdown, [&] { return to_markdown(c); }},
          {paths.html, [&] { return comparison_html(c, paths.gnuplot); }},
          {paths.plot, [&] { return chart_svg(c, paths.gnuplot); }}};
}

// Reports the comparison and writes its exports; the exit status.
int finish(const Comparison& c, const MeasureOptions& options, bool interrupted, std::ostream& out,
           std::ostream& err) {
  if (!c.stopped.empty()) fail(err, c.stopped);
  out << text_report(c) << std::flush;
  const bool exported = write_each(exports_of(c, options.exports), err);
  // An interrupt while gnuplot drew ends the comparison as one between runs.
  if (interrupted || compare::interrupted()) return kInterrupted;
  return c.stopped.empty() && exported && out.good() ? 0 : kFailed;
}

Comparison started(const MeasureOptions& options, const SessionOptions& session) {
  Comparison c;
  c.version = options.version;
  c.label = options.label.empty() ? host_name() : options.label;
  c.seed = session.seed;
  c.machine = read_machine();
  return c;
}

// Several builds in the same rounds.
int measure_builds(const MeasureOptions& options, std::ostream& out, std::ostream& err) {
  std::vector<BuildSpec> builds_given;
  if (const int status = builds_of(options, builds_given, err); status != 0) return status;
  if (const int status = refuse_overwriting_inputs(options, builds_given, err); status != 0) {
    return status;
  }
  std::vector<std::pair<std::string, ProgramRecord>> programs;
  for (const BuildSpec& given : builds_given) {
    programs.emplace_back("bench_random of " + given.label, program_record(given.random));
    programs.emplace_back("bench_fixed of " + given.label, program_record(given.fixed));
  }
  if (const int status = refuse_mixed_architectures(programs, err); status != 0) return status;
  SessionOptions session = options.session;
  const std::string why = builds_checked(options, builds_given, session);
  if (!why.empty()) return fail(err, why);
  Comparison c = started(options, session);
  c.builds = BuildsComparison{};
  c.builds->reference = options.reference.empty() ? builds_given.front().label : options.reference;
  for (std::size_t i = 0; i < builds_given.size(); ++i) {
    Build b;
    b.label = builds_given[i].label;
    b.random = programs.at(2 * i).second;
    b.fixed = programs.at(2 * i + 1).second;
    c.builds->builds.push_back(std::move(b));
  }
  catch_interrupts();
  c.started_at = iso8601_utc(std::time(nullptr));
  const RunStatus status =
      run_sessions(session, options.schedule, c,
                   [&](const SessionOptions& each, const std::string& at, Comparison& into) {
                     return run_builds_session(each, builds_given, at, into);
                   });
  c.finished_at = iso8601_utc(std::time(nullptr));
  read_machine_after(c.machine);
  summarise_builds(c, status.notes);
  return finish(c, options, status.interrupted, out, err);
}

}  // namespace

int measure(const MeasureOptions& options, std::ostream& out, std::ostream& err) {
  if (!options.builds.empty()) return measure_builds(options, out, err);
  if (const int status = refuse_overwriting_inputs(options, {}, err); status != 0) return status;
  SessionOptions session = options.session;
  const std::vector<std::pair<std::string, ProgramRecord>> programs = {
      {"bench_random", program_record(session.random)},
      {"bench_fixed", program_record(session.fixed)}};
  if (const int status = refuse_mixed_architectures(programs, err); status != 0) return status;
  std::optional<Baseline> baseline;
  const std::string why = checked(options, session, baseline);
  if (!why.empty()) return fail(err, why);

  Comparison c = started(options, session);
  c.random = programs[0].second;
  c.fixed = programs[1].second;

  catch_interrupts();
  c.started_at = iso8601_utc(std::time(nullptr));
  const RunStatus status = run_sessions(session, options.schedule, c);
  c.finished_at = iso8601_utc(std::time(nullptr));
  read_machine_after(c.machine);
  summarise_comparison(c, status.notes);
  if (baseline && !c.rounds.empty()) {
    c.baseline = compare_with_baseline(c, *baseline, options.baseline);
  }
  return finish(c, options, status.interrupted, out, err);
}

}  // namespace compare
