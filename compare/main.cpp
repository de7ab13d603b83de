// bench_compare: runs bench_random and bench_fixed in interleaved rounds and
// reports, per test, what the contrast measures, with its uncertainty.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <random>

#include "compare/commands/merge.h"
#include "compare/model.h"
#include "compare/proof/verify.h"
#include "compare/render/html.h"
#include "compare/report/report.h"
#include "compare/running/counting_probe.h"
#include "compare/running/files.h"
#include "compare/running/machine.h"
#include "compare/running/one_session.h"
#include "compare/running/process.h"
#include "compare/running/several_sessions.h"
#include "compare/stats/across_sessions.h"
#include "compare/stats/statistical_tests.h"
#include "compare/stats/warnings.h"

#ifndef BENCH_VERSION
#define BENCH_VERSION "unknown"
#endif

namespace {

using namespace compare;

constexpr int kUsage = 2;
constexpr int kInterrupted = 130;

void fail(const std::string& message) { std::cerr << "bench_compare: " << message << "\n"; }

// As most tools do: the message and where to read more, not the whole help.
int usage_error(const std::string& message) {
  fail(message);
  std::cerr << "Run 'bench_compare --help' for the options.\n";
  return kUsage;
}

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
        if (used == 0 || used != text.size()) {
          return fmt::format("needs a whole number from {} to {}, not {}", low, high, text);
        }
        if (value < low || value > high) {
          return fmt::format("needs a whole number from {} to {}, not {}", low, high, text);
        }
        return {};
      },
      fmt::format("INT in [{} - {}]", low, high));
}

std::string host_name() {
  char name[256] = {};
  return gethostname(name, sizeof name - 1) == 0 && name[0] != '\0' ? name : "unknown";
}

std::string self_directory() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string(".") : self.parent_path().string();
}

// The pair beside bench_compare: installed together in one bin/, or in the
// build tree as siblings' subdirectories.
std::string beside_me(const std::string& name) {
  const std::string dir = self_directory();
  for (const std::string& candidate :
       {fmt::format("{}/{}", dir, name), fmt::format("{}/../{}/{}", dir, name, name)}) {
    if (access(candidate.c_str(), F_OK) == 0) {
      return std::filesystem::path(candidate).lexically_normal().string();
    }
  }
  return dir + "/" + name;
}

bool write_export(const std::string& path, const std::string& text) {
  const std::string why = write_text(path, text);
  if (!why.empty()) {
    fail("cannot write " + path + ": " + why);
  }
  return why.empty();
}

struct Exports {
  std::string json, csv, markdown, plot, html;
};

// Writes every export asked for; false when any failed (each is reported).
bool write_exports(const Comparison& comparison, const Exports& exports) {
  bool ok = true;
  if (!exports.json.empty()) {
    ok &= write_export(exports.json, to_json(comparison).dump(2) + "\n");
  }
  if (!exports.csv.empty()) {
    ok &= write_export(exports.csv, to_csv(comparison));
  }
  if (!exports.markdown.empty()) {
    ok &= write_export(exports.markdown, to_markdown(comparison));
  }
  if (!exports.html.empty()) {
    try {
      ok &= write_export(exports.html, comparison_html(comparison));
    } catch (const std::exception& error) {
      fail(error.what());
      ok = false;
    }
  }
  if (!exports.plot.empty()) {
    try {
      draw_plot(comparison, exports.plot);
    } catch (const std::exception& error) {
      fail(error.what());
      ok = false;
    }
  }
  return ok;
}

}  // namespace

int run(int argc, char** argv) {
  // A vanished reader of the report fails the write (and the exit status)
  // instead of killing the comparison before its exports are written.
  (void)std::signal(SIGPIPE, SIG_IGN);
  CLI::App app{
      "Runs bench_random and bench_fixed in interleaved rounds and reports, per test, the cost "
      "of the draws and remainders (random - fixed) and of the memory traffic (fixed), with "
      "medians, their spread and 95% confidence intervals.",
      "bench_compare"};
  SessionOptions options;
  ScheduleOptions schedule;
  options.random = beside_me("bench_random");
  options.fixed = beside_me("bench_fixed");
  Exports exports;
  std::string baseline_path;
  double precision = 0;
  bool quiet = false;
  bool verify_only = false;
  bool counters = false;
  std::string probe = default_probe_path(self_directory());
  std::uint64_t seed = std::random_device{}();
  std::string label;
  MergeOptions merge;

  // As with most tools, an option given twice takes its last value.
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.set_version_flag("--version", std::string("bench_compare ") + BENCH_VERSION);
  app.add_option("--rounds", options.rounds, "Counted rounds, rounded up to even")
      ->capture_default_str()
      ->check(whole_number(1, 1000000));
  app.add_option("--warmup", options.warmup, "Rounds run first and not counted")
      ->capture_default_str()
      ->check(whole_number(0, 1000000));
  auto* sessions_option =
      app.add_option("--sessions", schedule.sessions,
                     "Sessions, apart in time, each with its own warm-up and rounds")
          ->capture_default_str()
          ->check(whole_number(1, 10000));
  app.add_option("--pause", schedule.pause, "Idle seconds between sessions")
      ->capture_default_str()
      ->check(CLI::Range(0.0, 86400.0))
      ->needs(sessions_option);
  app.add_option("--random", options.random, "bench_random to run")->capture_default_str();
  app.add_option("--fixed", options.fixed, "bench_fixed to run")->capture_default_str();
  app.add_option("--timeout", options.timeout, "Seconds a run may take before it is killed")
      ->capture_default_str()
      ->check(CLI::Range(0.001, 1e6));
  app.add_option("--json", exports.json, "Write everything found as JSON to FILE");
  app.add_option("--csv", exports.csv, "Write one row per run and test as CSV to FILE");
  app.add_option("--markdown", exports.markdown, "Write the summary table as Markdown to FILE");
  app.add_option("--plot", exports.plot, "Draw the rounds and differences as SVG to FILE");
  app.add_option("--html", exports.html, "Write the report and charts as one web page to FILE");
  app.add_option("--label", label, "Name of this comparison among others (default: host name)");
  auto* merge_option = app.add_option(
      "--merge", merge.inputs,
      "Instead of timing, compare the JSON exports (files or directories of them) side by side");
  merge_option->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  app.add_option("--reference", merge.reference, "The label the merge compares the others with")
      ->needs(merge_option);
  app.add_option("--baseline", baseline_path, "Compare with a JSON file an earlier run wrote");
  auto* precision_option =
      app.add_option("--precision", precision,
                     "Add rounds (with several sessions: sessions) until every interval's "
                     "half-width is at most PERCENT of its median difference")
          ->check(CLI::PositiveNumber);
  app.add_option("--max-time", options.max_time, "Seconds the precision goal may take")
      ->capture_default_str()
      ->check(CLI::PositiveNumber)
      ->needs(precision_option);
  app.add_option("--seed", seed, "Seed of the block orders, to repeat a comparison's order");
  app.add_flag("--quiet", quiet, "No progress display");
  app.add_flag(
      "--verify", verify_only,
      "Instead of timing, prove under the probe that each program does exactly its listed work");
  app.add_flag("--counters", counters,
               "Count each window's page faults, context switches and, where the kernel offers "
               "them, hardware events, under the counting probe beside --probe");
  app.add_option("--probe", probe,
                 "The probe library --verify preloads; --counters preloads the counting probe "
                 "beside it")
      ->capture_default_str();

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return usage_error(e.what());
  }
  if (app.count("--probe") != 0 && !verify_only && !counters) {
    return usage_error("--probe requires --verify or --counters");
  }
  // Each run happens in a scratch directory, where a relative path means nothing.
  options.random = absolute_path(options.random);
  options.fixed = absolute_path(options.fixed);
  if (verify_only) {
    for (const char* other : {"--csv", "--markdown", "--plot", "--baseline", "--rounds", "--warmup",
                              "--sessions", "--pause", "--precision", "--seed", "--quiet",
                              "--counters", "--html", "--label", "--merge"}) {
      if (app.count(other) != 0) {
        return usage_error(
            std::string("--verify takes only --random, --fixed, --probe, --timeout and --json, "
                        "not ") +
            other);
      }
    }
    VerifyOptions verify_options;
    verify_options.random = options.random;
    verify_options.fixed = options.fixed;
    verify_options.probe = probe;
    verify_options.json = exports.json;
    if (app.count("--timeout") != 0) {
      verify_options.timeout = options.timeout;
    }
    return verify(verify_options, std::cout, std::cerr);
  }
  if (!merge.inputs.empty()) {
    for (const char* other : {"--rounds", "--warmup", "--random", "--fixed", "--timeout", "--plot",
                              "--baseline", "--precision", "--seed", "--quiet", "--label",
                              "--counters", "--probe", "--sessions", "--pause"}) {
      if (app.count(other) != 0) return usage_error(std::string("--merge runs nothing: ") + other);
    }
    merge.json = exports.json;
    merge.csv = exports.csv;
    merge.markdown = exports.markdown;
    merge.html = exports.html;
    merge.version = BENCH_VERSION;
    return run_merge(merge, std::cout, std::cerr);
  }
  if (app.count("--label") != 0 && label.empty()) return usage_error("--label must not be empty");
  if (app.count("--precision") != 0) {
    options.precision = precision;
  }
  options.seed = seed;
  options.progress = !quiet && isatty(STDERR_FILENO) != 0;

  // Everything that can be found out before the first round is.
  const std::string cannot_run = pair_unrunnable(options.random, options.fixed);
  if (!cannot_run.empty()) {
    fail(cannot_run);
    return 1;
  }
  for (const std::string* path :
       {&exports.json, &exports.csv, &exports.markdown, &exports.plot, &exports.html}) {
    const std::string why = path->empty() ? "" : unwritable(*path);
    if (!why.empty()) {
      fail("cannot write " + *path + ": " + why);
      return 1;
    }
  }
  if (counters) {
    options.counting_probe = counting_probe_path(probe);
    const std::string why =
        counting_unusable(options.counting_probe, options.random, options.fixed);
    if (!why.empty()) {
      fail(why);
      return 1;
    }
  }
  std::optional<Baseline> baseline;
  if (!baseline_path.empty()) {
    try {
      baseline = read_baseline(baseline_path);
    } catch (const std::exception& error) {
      fail(error.what());
      return 1;
    }
  }

  Comparison comparison;
  comparison.version = BENCH_VERSION;
  comparison.label = label.empty() ? host_name() : label;
  comparison.seed = seed;
  comparison.machine = read_machine();
  comparison.random = {options.random, compiler_of(options.random)};
  comparison.fixed = {options.fixed, compiler_of(options.fixed)};

  catch_interrupts();
  comparison.started_at = iso8601_utc(std::time(nullptr));
  const ScheduleResult session = run_sessions(options, schedule);
  comparison.finished_at = iso8601_utc(std::time(nullptr));
  read_machine_after(comparison.machine);

  comparison.sessions = session.sessions;
  summarise_comparison(comparison);
  comparison.warmup = session.warmup;
  comparison.warnings.insert(comparison.warnings.end(), session.notes.begin(), session.notes.end());
  comparison.stopped = session.failure;
  comparison.counters = session.counters;
  comparison.counters_unavailable = session.counters_unavailable;
  if (baseline && !comparison.rounds.empty()) {
    BaselineComparison against;
    against.path = baseline_path;
    against.notes = baseline_notes(comparison, *baseline);
    const auto now = by_session(comparison.rounds);
    const auto then = by_session(baseline->rounds);
    against.verdicts = compare_sessions(now, then);
    against.sessions = now.size();
    against.baseline_sessions = then.size();
    comparison.baseline = against;
  }

  if (!session.failure.empty()) {
    fail(session.failure);
  }
  std::cout << text_report(comparison) << std::flush;
  const bool exported = write_exports(comparison, exports);
  if (session.interrupted) {
    return kInterrupted;
  }
  return session.failure.empty() && exported && std::cout.good() ? 0 : 1;
}

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& error) {  // e.g. out of memory: reported, not a crash
    fail(std::string("stopped: ") + error.what());
    return 1;
  }
}
