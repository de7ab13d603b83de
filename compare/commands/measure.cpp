#include "compare/commands/measure.h"

#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "compare/commands/history.h"
#include "compare/history/baseline.h"
#include "compare/render/format.h"
#include "compare/report/report.h"
#include "compare/running/builds.h"
#include "compare/running/counting_probe.h"
#include "compare/running/cpus.h"
#include "compare/running/machine.h"
#include "compare/running/process.h"
#include "compare/stats/comparison.h"

namespace compare {

namespace {

// Exports may overwrite neither each other nor an input: the programs and
// the baseline.
int refuse_overwriting_inputs(const MeasureOptions& options, const std::vector<BuildSpec>& builds,
                              std::ostream& err) {
  std::vector<NamedFile> inputs = {{"--baseline", options.baseline},
                                   {"--history", options.history}};
  for (const BuildSpec& b : builds) {
    const bool pair = b.label.empty();
    inputs.push_back({pair ? "--random" : "--build " + b.label, b.random});
    inputs.push_back({pair ? "--fixed" : "--build " + b.label, b.fixed});
  }
  return refuse_overwriting(named_exports(options.exports), inputs, err);
}

// The builds of --build, checked, or the one pair; the exit status when they
// cannot be used.
int builds_of(const MeasureOptions& options, std::vector<BuildSpec>& builds_given,
              std::ostream& err) {
  if (options.builds.empty()) {
    builds_given = {{"", options.random, options.fixed}};
    return 0;
  }
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

// Each build's programs' records; programs built for different
// architectures do different work, so their times are not comparable:
// refused before any run, as a usage error of one line (no option mends it,
// so no pointer to the options).
int read_programs(const std::vector<BuildSpec>& builds, std::vector<Build>& records,
                  std::ostream& err) {
  std::vector<std::pair<std::string, ProgramRecord>> named;
  for (const BuildSpec& given : builds) {
    const std::string of = given.label.empty() ? "" : " of " + given.label;
    Build b;
    b.label = given.label;
    b.random = program_record(given.random);
    b.fixed = program_record(given.fixed);
    named.emplace_back("bench_random" + of, b.random);
    named.emplace_back("bench_fixed" + of, b.fixed);
    records.push_back(std::move(b));
  }
  const std::string why = architectures_differ(named);
  if (why.empty()) return 0;
  fail(err, why);
  return kUsage;
}

// Everything that can be found out before the first round: the pair, the
// exports' paths, the counting probe, the baseline. Empty when all is well.
std::string checked(const MeasureOptions& options, const std::vector<BuildSpec>& builds,
                    std::string& counting_probe, std::optional<Baseline>& baseline) {
  // --build's programs were checked as they were found.
  std::string why =
      options.builds.empty() ? pair_unrunnable(builds.front().random, builds.front().fixed) : "";
  if (why.empty()) why = unwritable_export(options.exports);
  if (why.empty() && !options.history.empty()) why = history_unusable(options.history);
  if (options.counters) counting_probe = counting_probe_path(options.probe);
  for (const BuildSpec& b : builds) {
    if (why.empty() && options.counters) why = counting_unusable(counting_probe, b.random, b.fixed);
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
  bool exported = write_each(exports_of(c, options.exports), err);
  // The history stores what the export holds, read back as --import reads it.
  if (!options.history.empty() && !rounds_of(pair_of(c)).empty()) {
    exported = append_history(options.history, export_text(to_json(c)), out, err) && exported;
  }
  // An interrupt while gnuplot drew ends the comparison as one between runs.
  if (interrupted || compare::interrupted()) return kInterrupted;
  return c.stopped.empty() && exported && out.good() ? 0 : kFailed;
}

// The settings of this run, made once: the user's, with the builds found
// and the counting probe chosen.
RunSettings settings_of(const MeasureOptions& options, std::vector<BuildSpec> builds,
                        std::string counting_probe) {
  RunSettings settings = options.run;
  settings.builds = std::move(builds);
  settings.counting_probe = std::move(counting_probe);
  return settings;
}

}  // namespace

int measure(const MeasureOptions& options, std::ostream& out, std::ostream& err) {
  std::vector<BuildSpec> builds;
  if (const int status = builds_of(options, builds, err); status != 0) return status;
  if (const int status = refuse_overwriting_inputs(options, builds, err); status != 0) {
    return status;
  }
  Comparison c;
  if (const int status = read_programs(builds, c.builds, err); status != 0) return status;
  std::string counting_probe;
  std::optional<Baseline> baseline;
  const std::string why = checked(options, builds, counting_probe, baseline);
  if (!why.empty()) return fail(err, why);
  RunSettings settings = settings_of(options, builds, counting_probe);

  c.version = options.version;
  c.label = options.label.empty() ? host_name() : options.label;
  c.seed = settings.seed;
  c.machine = read_machine();
  if (several_builds(c))
    c.reference = options.reference.empty() ? builds.front().label : options.reference;
  catch_interrupts();
  if (!options.cpu.empty()) {
    std::string why_not;
    settings.cpu = chosen_cpu(options.cpu, why_not, c.cpu_choice);
    if (!settings.cpu) return interrupted() ? kInterrupted : usage_error(err, why_not);
    c.cpu = settings.cpu;
  }
  c.started_at = iso8601_utc(std::time(nullptr));
  const RunStatus status = run_sessions(settings, c);
  c.finished_at = iso8601_utc(std::time(nullptr));
  read_machine_after(c.machine);
  c.goal = status.goal;
  summarise_comparison(c, status.notes);
  if (baseline && !rounds_of(pair_of(c)).empty()) {
    c.baseline = compare_with_baseline(c, *baseline, options.baseline);
  }
  return finish(c, options, status.interrupted, out, err);
}

}  // namespace compare
