// bench_compare: runs bench_random and bench_fixed in interleaved rounds and
// reports, per test, what the contrast measures, with its uncertainty. This
// file parses the options and hands them to one command (commands/).
#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <random>

#include "compare/commands/history.h"
#include "compare/commands/measure.h"
#include "compare/commands/merge.h"
#include "compare/commands/trend.h"
#include "compare/commands/verify.h"
#include "compare/history/store.h"
#include "compare/proof/prove.h"
#include "compare/render/table.h"
#include "compare/running/files.h"
#include "compare/running/process.h"
#include "compare/running/progress.h"

#ifndef BENCH_VERSION
#define BENCH_VERSION "unknown"
#endif

namespace {

using namespace compare;

// CLI11's range check alone calls "x" a value out of range.
CLI::Validator whole_number(long long low, long long high) {
  return CLI::Validator(
      [=](std::string& text) -> std::string {
        std::size_t used = 0;
        long long value = 0;
        try {
          value = std::stoll(text, &used);
        } catch (const std::exception&) {
          used = 0;
        }
        if (used == 0 || used != text.size() || value < low || value > high) {
          return fmt::format("needs a whole number from {} to {}, not {}", low, high, text);
        }
        return {};
      },
      fmt::format("INT in [{} - {}]", low, high));
}

// What a run does: time one pair, several builds, merge exports or verify.
// Each option is declared with the modes it means something in; given in
// another, it is refused with one line.
enum Mode : unsigned {
  kPair = 1U,
  kBuilds = 2U,
  kMerge = 4U,
  kVerify = 8U,
  kImport = 16U,
  kTrend = 32U
};
constexpr unsigned kMeasuring = kPair | kBuilds;
constexpr unsigned kEveryMode = kMeasuring | kMerge | kVerify | kImport | kTrend;
// What reports comparisons already made, running nothing.
constexpr unsigned kReporting = kMerge | kTrend;

class Declared {
 public:
  CLI::Option* in(unsigned modes, CLI::Option* option) {
    modes_.emplace_back(option, modes);
    return option;
  }

  // The first option given that `mode` does not take, or null.
  const CLI::Option* misplaced(Mode mode) const {
    for (const auto& [option, modes] : modes_) {
      if (option->count() != 0 && (modes & mode) == 0) return option;
    }
    return nullptr;
  }

  // The options `mode` takes, as "--a, --b and --c", but for `own` (the
  // mode's own flag) and those that change nothing in it (--quiet).
  std::string taken_by(Mode mode, const std::string& own) const {
    std::vector<std::string> names;
    for (const auto& [option, modes] : modes_) {
      const std::string name = option->get_name();
      if ((modes & mode) != 0 && name != own && name != "--quiet") names.push_back(name);
    }
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
      text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    }
    return text;
  }

 private:
  std::vector<std::pair<const CLI::Option*, unsigned>> modes_;
};

// Every option, as parsed; each command takes its part.
struct Options {
  Declared declared;
  MeasureOptions measure;
  MergeOptions merge;
  std::vector<std::string> imports;
  bool trend = false;
  TrendOptions trend_options;
  double precision = 0;
  bool quiet = false;
  bool verify = false;
};

// The pair beside bench_compare: installed together in one bin/, or in the
// build tree as siblings' subdirectories.
std::string beside_me(const std::string& name) {
  const std::string dir = own_directory();
  const std::string file = name + kProgramSuffix;
  for (const std::string& candidate :
       {fmt::format("{}/{}", dir, file), fmt::format("{}/../{}/{}", dir, name, file)}) {
    if (exists(candidate)) {
      return std::filesystem::u8path(candidate).lexically_normal().u8string();
    }
  }
  return dir + "/" + file;
}

// The options of a comparison: its rounds, sessions, programs and exports.
void add_measure_options(CLI::App& app, Options& o) {
  Declared& d = o.declared;
  RunSettings& s = o.measure.run;
  ExportPaths& e = o.measure.exports;
  d.in(kMeasuring, app.add_option("--rounds", s.rounds, "Counted rounds, rounded up to even"))
      ->capture_default_str()
      ->check(whole_number(1, 1000000));
  d.in(kMeasuring, app.add_option("--warmup", s.warmup, "Rounds run first and not counted"))
      ->capture_default_str()
      ->check(whole_number(0, 1000000));
  auto* sessions =
      d.in(kMeasuring,
           app.add_option("--sessions", s.sessions,
                          "Sessions, apart in time, each with its own warm-up and rounds"))
          ->capture_default_str()
          ->check(whole_number(1, 10000));
  d.in(kMeasuring, app.add_option("--pause", s.pause, "Idle seconds between sessions"))
      ->capture_default_str()
      ->check(CLI::Range(0.0, 86400.0))
      ->needs(sessions);
  d.in(kPair | kVerify, app.add_option("--random", o.measure.random, "bench_random to run"))
      ->type_name("PROGRAM")
      ->default_str("bench_random beside bench_compare");
  d.in(kPair | kVerify, app.add_option("--fixed", o.measure.fixed, "bench_fixed to run"))
      ->type_name("PROGRAM")
      ->default_str("bench_fixed beside bench_compare");
  d.in(kMeasuring | kVerify,
       app.add_option("--timeout", s.timeout, "Seconds a run may take before it is killed"))
      ->capture_default_str()
      ->check(CLI::Range(0.001, 1e6));
  d.in(kEveryMode, app.add_option("--json", e.json, "Write everything found as JSON to FILE"))
      ->type_name("FILE");
  d.in(kMeasuring | kReporting,
       app.add_option("--csv", e.csv, "Write one row per run and test as CSV to FILE"))
      ->type_name("FILE");
  d.in(kMeasuring | kReporting,
       app.add_option("--markdown", e.markdown, "Write the summary table as Markdown to FILE"))
      ->type_name("FILE");
  d.in(kMeasuring,
       app.add_option("--plot", e.plot, "Draw the rounds and differences as SVG to FILE"))
      ->type_name("FILE");
  d.in(kMeasuring | kReporting,
       app.add_option("--html", e.html, "Write the report and charts as one web page to FILE"))
      ->type_name("FILE");
  d.in(kMeasuring | kReporting,
       app.add_option("--gnuplot", e.gnuplot, "The gnuplot that draws --plot and --html"))
      ->type_name("PROGRAM")
      ->capture_default_str();
  d.in(kMeasuring | kTrend,
       app.add_option("--label", o.measure.label,
                      "Name of this comparison among others (default: host name); with --trend, "
                      "only the sessions of the comparisons or builds so labelled"))
      ->type_name("LABEL");
}

// The trend's own options: what it reports on and when it fails.
void add_trend_options(CLI::App& app, Options& o) {
  Declared& d = o.declared;
  TrendOptions& t = o.trend_options;
  d.in(kTrend, app.add_flag("--trend", o.trend,
                            "Instead of timing, report each series of --history over time and "
                            "the changes found in it"));
  d.in(kTrend, app.add_option("--since", t.filter.since,
                              "Only sessions started at or after DATE (ISO 8601, UTC)"))
      ->type_name("DATE");
  d.in(kTrend, app.add_option("--until", t.filter.until,
                              "Only sessions started up to DATE (a date: all of that day)"))
      ->type_name("DATE");
  d.in(kTrend, app.add_option("--machine", t.filter.machine,
                              "Only sessions on the machine (processor) so named"))
      ->type_name("NAME");
  d.in(kTrend, app.add_option("--fail-on-slower", t.fail_on_slower,
                              "Exit with status 1 when a slower change begins among the latest "
                              "N sessions of a series"))
      ->type_name("N")
      ->check(whole_number(1, 1000000));
}

// The options of the other modes, and those every mode shares.
void add_other_options(CLI::App& app, Options& o) {
  Declared& d = o.declared;
  d.in(kMerge, app.add_option("--merge", o.merge.inputs,
                              "Instead of timing, compare the JSON exports (files or directories "
                              "of them) side by side"))
      ->type_name("EXPORT...")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  d.in(kBuilds | kVerify,
       app.add_option("--build", o.measure.builds,
                      "A build to compare with the others in the same rounds, as LABEL=DIR (a "
                      "build tree or installed prefix) or LABEL=RANDOM,FIXED; give 2 to 16"))
      ->type_name("LABEL=DIR")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  d.in(kMerge | kBuilds | kTrend,
       app.add_option("--reference", o.merge.reference,
                      "The label the merge or the builds are compared with (default: the "
                      "first); with --trend, the build whose ratios in the same rounds are shown"))
      ->type_name("LABEL");
  d.in(kPair, app.add_option("--baseline", o.measure.baseline,
                             "Compare with a JSON file an earlier run wrote"));
  auto* precision =
      d.in(kMeasuring,
           app.add_option("--precision", o.precision,
                          "Add rounds (with several sessions: sessions) until every interval's "
                          "half-width is at most PERCENT of its median difference; with --build, "
                          "until every ratio's interval is within +-X of it (0.005 for 0.5%)"))
          ->type_name("PERCENT|X")
          ->check(CLI::PositiveNumber);
  d.in(kMeasuring, app.add_option("--time-limit,--max-time", o.measure.run.time_limit,
                                  "Seconds the precision goal may take"))
      ->type_name("SECONDS")
      ->capture_default_str()
      ->check(CLI::PositiveNumber)
      ->needs(precision);
  d.in(kMeasuring, app.add_option("--max-rounds", o.measure.run.round_limit,
                                  "Counted rounds a session may run for the precision goal"))
      ->capture_default_str()
      ->check(whole_number(2, 1000000))
      ->needs(precision);
  d.in(kMeasuring, app.add_option("--cpu", o.measure.cpu,
                                  "Keep every run to processor N, or to the one other work uses "
                                  "least (quiet)"))
      ->type_name("N|quiet");
  d.in(kMeasuring | kTrend,
       app.add_option("--seed", o.measure.run.seed,
                      "Seed of the block orders, to repeat a comparison's order (with --trend: "
                      "of the permutation tests)"));
  d.in(kMeasuring | kImport | kTrend,
       app.add_option("--history", o.measure.history,
                      "Append the comparison (with --import: the exports) to the SQLite history "
                      "FILE, made when absent"))
      ->type_name("FILE");
  d.in(kImport, app.add_option("--import", o.imports,
                               "Instead of timing, store the JSON exports (files or directories of "
                               "them) in --history, each session once"))
      ->type_name("EXPORT...")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  add_trend_options(app, o);
  d.in(kEveryMode, app.add_flag("--quiet", o.quiet, "No progress display"));
  d.in(kVerify, app.add_flag("--verify", o.verify,
                             "Instead of timing, prove under the probe that each program does "
                             "exactly its listed work"));
  d.in(kMeasuring,
       app.add_flag("--counters", o.measure.counters,
                    "Count each window's page faults, context switches and, where the kernel "
                    "offers them, hardware events, under the counting probe beside --probe"));
  // In a measuring mode --probe needs --counters too: checked with the modes.
  d.in(kMeasuring | kVerify,
       app.add_option("--probe", o.measure.probe,
                      "The probe library --verify preloads; --counters preloads the counting "
                      "probe beside it"))
      ->type_name("LIBRARY")
      ->default_str("libbench_probe.so in ../lib/bench beside bench_compare");
}

Mode mode_of(const Options& o) {
  if (o.verify) return kVerify;
  if (!o.merge.inputs.empty()) return kMerge;
  if (o.trend) return kTrend;
  if (!o.imports.empty()) return kImport;
  return o.measure.builds.empty() ? kPair : kBuilds;
}

// Why the options given do not fit together, in one line; empty when they
// do. An option that changes nothing in a mode (--quiet: neither --verify
// nor --merge shows progress) is declared in every mode.
std::string misplaced_option(const CLI::App& app, const Options& o) {
  const Mode mode = mode_of(o);
  if (const CLI::Option* other = o.declared.misplaced(mode)) {
    const std::string name = other->get_name();
    switch (mode) {
      case kVerify:
        return "--verify takes only " + o.declared.taken_by(kVerify, "--verify") + ", not " + name;
      case kMerge:
        return "--merge runs nothing: " + name;
      case kImport:
        return "--import runs nothing: " + name;
      case kTrend:
        return "--trend runs nothing: " + name;
      case kBuilds:
        return "--build names each build's programs and compares them with each other: not " + name;
      default:
        return name + (name == "--reference" ? " requires --merge or --build"
                                             : " requires --verify or --build");
    }
  }
  if (mode != kVerify && app.count("--probe") != 0 && !o.measure.counters) {
    return "--probe requires --verify or --counters";
  }
  for (const std::string& build : o.measure.builds) {
    // A label names the build in every report and chart, as --label does.
    const std::size_t eq = build.find('=');
    if (eq == 0) return "--build " + build + ": the label must not be empty";
    if (eq != std::string::npos && printable(build.substr(0, eq)) != build.substr(0, eq)) {
      return "--build labels must not hold control characters";
    }
  }
  // A percent given for a ratio would ask for nothing: 5 is +-500%.
  if (mode == kBuilds && app.count("--precision") != 0 && o.precision >= 1) {
    return fmt::format(
        "--precision with --build is a fraction of each ratio, below 1 (0.005 for 0.5%), not {:g}",
        o.precision);
  }
  if (app.count("--history") != 0 && o.measure.history.empty()) {
    return "--history must not be empty";
  }
  if (mode == kImport && o.measure.history.empty()) return "--import requires --history";
  if (mode == kTrend && o.measure.history.empty()) return "--trend requires --history";
  for (const std::string* text : {&o.trend_options.filter.since, &o.trend_options.filter.until,
                                  &o.trend_options.filter.machine}) {
    if (printable(*text) != *text) return "--since, --until and --machine must be plain text";
  }
  if (app.count("--label") != 0 && o.measure.label.empty()) return "--label must not be empty";
  if (printable(o.measure.label) != o.measure.label) {
    return "--label must not hold control characters";
  }
  return {};
}

int dispatch(const CLI::App& app, Options& o) {
  MeasureOptions& m = o.measure;
  // Each run happens in a scratch directory, where a relative path means nothing.
  m.random = absolute_path(m.random);
  m.fixed = absolute_path(m.fixed);
  if (o.verify) {
    VerifyOptions verify_options{m.random, m.fixed, m.probe, m.exports.json};
    if (app.count("--timeout") != 0) verify_options.timeout = m.run.timeout;
    if (!m.builds.empty()) return verify_builds(m.builds, verify_options, std::cout, std::cerr);
    return verify(verify_options, std::cout, std::cerr);
  }
  if (o.trend) {
    TrendOptions& t = o.trend_options;
    t.history = m.history;
    t.filter.label = m.label;
    t.reference = o.merge.reference;
    if (app.count("--seed") != 0) t.seed = m.run.seed;
    t.exports = m.exports;
    t.version = BENCH_VERSION;
    return run_trend(t, std::cout, std::cerr);
  }
  if (!o.imports.empty()) return import_exports(m.history, o.imports, std::cout, std::cerr);
  if (!o.merge.inputs.empty()) {
    o.merge.json = m.exports.json;
    o.merge.csv = m.exports.csv;
    o.merge.markdown = m.exports.markdown;
    o.merge.html = m.exports.html;
    o.merge.gnuplot = m.exports.gnuplot;
    o.merge.version = BENCH_VERSION;
    return run_merge(o.merge, std::cout, std::cerr);
  }
  if (app.count("--precision") != 0) m.run.precision = o.precision;
  m.run.progress = !o.quiet && progress_can_be_shown();
  m.version = BENCH_VERSION;
  m.reference = o.merge.reference;
  return measure(m, std::cout, std::cerr);
}

}  // namespace

int run(int argc, char** argv) {
  // A vanished reader of the report fails the write (and the exit status)
  // instead of killing the comparison before its exports are written.
  set_up_own_streams();
  CLI::App app{
      "Runs bench_random and bench_fixed in interleaved rounds and reports, per test, the cost "
      "of the draws and remainders (random - fixed) and of the memory traffic (fixed), with "
      "medians, their spread and 95% confidence intervals.",
      "bench_compare"};
  Options o;
  o.measure.random = beside_me("bench_random");
  o.measure.fixed = beside_me("bench_fixed");
  o.measure.run.seed = std::random_device{}();
  o.measure.probe = default_probe_path(own_directory());
  // As with most tools, an option given twice takes its last value.
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.set_version_flag("--version", std::string("bench_compare ") + BENCH_VERSION);
  add_measure_options(app, o);
  add_other_options(app, o);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return usage_error(std::cerr, e.what());
  }
  // Refused whatever else is asked, in one line: this system cannot do it.
  const std::string unsupported = preloading_unsupported();
  if ((o.verify || o.measure.counters) && !unsupported.empty()) {
    fail(std::cerr, fmt::format("{} is not available here: {}",
                                o.verify ? "--verify" : "--counters", unsupported));
    return kUsage;
  }
  if (!o.measure.history.empty() && !history_unavailable().empty()) {
    return fail(std::cerr, history_unavailable());
  }
  const std::string misplaced = misplaced_option(app, o);
  if (!misplaced.empty()) return usage_error(std::cerr, misplaced);
  return dispatch(app, o);
}

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& error) {  // e.g. out of memory: reported, not a crash
    fail(std::cerr, std::string("stopped: ") + error.what());
    return 1;
  }
}
