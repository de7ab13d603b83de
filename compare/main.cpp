// bench_compare: runs bench_random and bench_fixed in interleaved rounds and
// reports, per test, what the contrast measures, with its uncertainty.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <random>

#include "compare/files.h"
#include "compare/model.h"
#include "compare/process.h"
#include "compare/record.h"
#include "compare/report.h"
#include "compare/session.h"
#include "compare/stats.h"
#include "compare/verify.h"
#include "compare/warnings.h"

#ifndef BENCH_VERSION
#define BENCH_VERSION "unknown"
#endif

namespace {

using namespace compare;

constexpr int kUsage = 2;
constexpr int kInterrupted = 130;

void fail(const std::string& message) { std::cerr << "bench_compare: " << message << "\n"; }

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
  std::string json, csv, markdown, plot;
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
  options.random = beside_me("bench_random");
  options.fixed = beside_me("bench_fixed");
  Exports exports;
  std::string baseline_path;
  double precision = 0;
  bool quiet = false;
  bool verify_only = false;
  std::string probe = default_probe_path(self_directory());
  std::uint64_t seed = std::random_device{}();

  // As with most tools, an option given twice takes its last value.
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.set_version_flag("--version", std::string("bench_compare ") + BENCH_VERSION);
  app.add_option("--rounds", options.rounds, "Counted rounds, rounded up to even")
      ->capture_default_str()
      ->check(CLI::Range(1, 1000000));
  app.add_option("--warmup", options.warmup, "Rounds run first and not counted")
      ->capture_default_str()
      ->check(CLI::Range(0, 1000000));
  app.add_option("--random", options.random, "bench_random to run")->capture_default_str();
  app.add_option("--fixed", options.fixed, "bench_fixed to run")->capture_default_str();
  app.add_option("--timeout", options.timeout, "Seconds a run may take before it is killed")
      ->capture_default_str()
      ->check(CLI::Range(0.001, 1e6));
  app.add_option("--json", exports.json, "Write everything found as JSON to FILE");
  app.add_option("--csv", exports.csv, "Write one row per run and test as CSV to FILE");
  app.add_option("--markdown", exports.markdown, "Write the summary table as Markdown to FILE");
  app.add_option("--plot", exports.plot, "Draw the rounds and differences as SVG to FILE");
  app.add_option("--baseline", baseline_path, "Compare with a JSON file an earlier run wrote");
  auto* precision_option =
      app.add_option("--precision", precision,
                     "Add rounds until every interval's half-width is at most PERCENT of its "
                     "median difference")
          ->check(CLI::PositiveNumber);
  app.add_option("--max-time", options.max_time, "Seconds the precision goal may take")
      ->capture_default_str()
      ->check(CLI::PositiveNumber)
      ->needs(precision_option);
  app.add_option("--seed", seed, "Seed of the block orders, to repeat a comparison's order");
  app.add_flag("--quiet", quiet, "No progress display");
  auto* verify_flag = app.add_flag(
      "--verify", verify_only,
      "Instead of timing, prove under the probe that each program does exactly its listed work");
  app.add_option("--probe", probe, "The probe library --verify preloads")
      ->capture_default_str()
      ->needs(verify_flag);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    fail(e.what());
    std::cerr << app.help();
    return kUsage;
  }
  // Each run happens in a scratch directory, where a relative path means nothing.
  options.random = absolute_path(options.random);
  options.fixed = absolute_path(options.fixed);
  if (verify_only) {
    for (const char* other : {"--csv", "--markdown", "--plot", "--baseline", "--rounds", "--warmup",
                              "--precision", "--seed", "--quiet"}) {
      if (app.count(other) != 0) {
        fail(std::string("--verify takes only --random, --fixed, --probe, --timeout and --json, "
                         "not ") +
             other);
        std::cerr << app.help();
        return kUsage;
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
  for (const std::string* path : {&exports.json, &exports.csv, &exports.markdown, &exports.plot}) {
    const std::string why = path->empty() ? "" : unwritable(*path);
    if (!why.empty()) {
      fail("cannot write " + *path + ": " + why);
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
  comparison.seed = seed;
  comparison.machine = read_machine();
  comparison.random = {options.random, compiler_of(options.random)};
  comparison.fixed = {options.fixed, compiler_of(options.fixed)};

  catch_interrupts();
  const SessionResult session = run_session(options);
  read_machine_after(comparison.machine);

  comparison.rounds = session.rounds;
  comparison.warmup = session.warmup;
  if (!comparison.rounds.empty()) {
    comparison.tests = summarise(comparison.rounds);
  }
  comparison.warnings = warnings_for(comparison.rounds, comparison.tests, comparison.machine);
  comparison.warnings.insert(comparison.warnings.end(), session.notes.begin(), session.notes.end());
  comparison.stopped = session.failure;
  if (baseline && !comparison.rounds.empty()) {
    BaselineComparison against;
    against.path = baseline_path;
    against.notes = baseline_notes(comparison, *baseline);
    against.verdicts = compare_with_baseline(comparison.rounds, baseline->rounds);
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
