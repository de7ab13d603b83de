#include "compare/running/one_session.h"

#include <fmt/format.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>

#include "compare/running/counting_probe.h"
#include "compare/running/documents.h"
#include "compare/running/process.h"
#include "compare/stats/statistical_tests.h"

namespace compare {
namespace {

using Clock = std::chrono::steady_clock;

std::string base_name(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The run's own standard error on one line, so the message stays one line.
std::string one_line(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\n' || c == '\r') {
      if (!out.empty() && out.back() != ' ') {
        out += out.back() == ';' ? " " : "; ";
      }
    } else {
      out += c;
    }
  }
  while (!out.empty() && (out.back() == ' ' || out.back() == ';')) {
    out.pop_back();
  }
  return out;
}

class Progress {
 public:
  explicit Progress(const SessionOptions& options) : options_(options), started_(Clock::now()) {}
  ~Progress() {
    if (drawn_) {
      (void)std::fputs("\r\033[K", stderr);
    }
  }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void update(const std::string& what, int done, int total, double per_run, int runs_left) {
    if (!options_.progress) {
      return;
    }
    // Later sessions take as long as this one, and a pause before each.
    const int later = std::max(options_.sessions - options_.session, 0);
    const double seconds =
        per_run *
            (runs_left + later * 2 * (options_.warmup + options_.rounds + options_.rounds % 2)) +
        later * options_.pause;
    std::string left = fmt::format("about {:.0f} s left", std::max(seconds, 0.0));
    if (options_.precision || options_.sessions == 0) {
      // Rounds or sessions are added until the goal is met, so only the limit is known.
      const double elapsed =
          options_.elapsed_before + std::chrono::duration<double>(Clock::now() - started_).count();
      left = fmt::format("up to {:.0f} s left", std::max(options_.max_time - elapsed, 0.0));
    }
    std::string session;
    if (options_.sessions != 1) {
      session = options_.sessions > 0
                    ? fmt::format("session {} of {}: ", options_.session, options_.sessions)
                    : fmt::format("session {}: ", options_.session);
    }
    (void)std::fputs(
        fmt::format("\r\033[K{}{} {} of {} done, {}", session, what, done, total, left).c_str(),
        stderr);
    (void)std::fflush(stderr);
    drawn_ = true;
  }

 private:
  const SessionOptions& options_;
  Clock::time_point started_;
  bool drawn_ = false;
};

// Runs one program once into its side of `into`: its times and what it took
// from the machine (and with counting, its counts), or the failure's message.
std::optional<Times> run_once(const SessionOptions& options, Side side, const std::string& round,
                              SessionResult& result, Round& into, RunCounts& counts) {
  const bool random = side == Side::Random;
  const std::string& program = random ? options.random : options.fixed;
  const std::string results_file = random ? kRandomResults : kFixedResults;
  RunRequest request;
  request.program = program;
  request.timeout = options.timeout;
  request.files = {results_file};
  const bool counting = !options.counting_probe.empty();
  if (counting) {
    add_counting(request, options.counting_probe);
  }
  const RunOutcome run = run_in_scratch(request);
  result.run_seconds += run.seconds;
  (random ? into.random_usage : into.fixed_usage) = run.usage;

  const std::string who = base_name(program) + " (" + side_name(side) + ")";
  std::string what;
  switch (run.end) {
    case RunOutcome::End::Interrupted:
      result.interrupted = true;
      result.failure = fmt::format("interrupted in {} while {} ran", round, who);
      return std::nullopt;
    case RunOutcome::End::NotStarted:
      what = run.error;
      break;
    case RunOutcome::End::TimedOut:
      what =
          fmt::format("it ran longer than the timeout of {:g} s and was killed", options.timeout);
      break;
    case RunOutcome::End::Signalled:
      what = fmt::format("it was killed by signal {} ({})", run.status, strsignal(run.status));
      break;
    case RunOutcome::End::Exited: {
      if (run.status != 0) {
        what = fmt::format("it exited with status {}", run.status);
        break;
      }
      const auto file = run.files.find(results_file);
      if (file == run.files.end()) {
        what = "it wrote no results file " + results_file;
        break;
      }
      std::optional<Times> times = read_times(file->second, run.out, what);
      if (times && (!counting || counts_of(run, counts, result.counters_unavailable, what))) {
        (random ? into.random : into.fixed) = *times;
        return times;
      }
      break;
    }
  }
  const std::string err = one_line(run.err);
  result.failure = fmt::format("{} failed in {}: {}{}", who, round, what,
                               err.empty() ? "" : "; its standard error: " + err);
  return std::nullopt;
}

}  // namespace

bool precise_enough(const std::vector<TestResult>& tests, double percent,
                    std::vector<std::string>& short_of) {
  short_of.clear();
  for (const TestResult& test : tests) {
    const bool ok = test.interval && std::isfinite(test.difference) && test.difference != 0 &&
                    (test.interval->high - test.interval->low) / 2 <=
                        percent / 100 * std::fabs(test.difference);
    if (!ok) {
      short_of.push_back(test.name);
    }
  }
  return short_of.empty();
}

SessionResult run_session(const SessionOptions& options) {
  SessionResult result;
  const auto started = Clock::now();
  std::mt19937_64 draw(options.seed);
  const int rounds = options.rounds + options.rounds % 2;
  Progress progress(options);
  double per_run = 0;
  int runs = 0;
  auto note_run = [&] {
    ++runs;
    per_run = result.run_seconds / runs;
  };

  for (int w = 1; w <= options.warmup; ++w) {
    const std::string name = fmt::format("warm-up round {}", w);
    Round warmup;
    warmup.index = w;
    warmup.session = options.session;
    for (const Side side : {Side::Random, Side::Fixed}) {
      RunCounts counts{};
      if (!run_once(options, side, name, result, warmup, counts)) {
        return result;
      }
      note_run();
    }
    result.warmup.push_back(warmup);
    progress.update("warm-up round", w, options.warmup, per_run, 2 * (options.warmup - w + rounds));
  }

  auto run_block = [&]() -> bool {
    // Drawn per block: drift within a block and the place in a round cancel out.
    const Side first = draw() % 2 == 0 ? Side::Random : Side::Fixed;
    for (int half = 0; half < 2; ++half) {
      Round round;
      round.index = static_cast<int>(result.rounds.size()) + 1;
      round.first = half == 0 ? first : (first == Side::Random ? Side::Fixed : Side::Random);
      const std::string name = fmt::format("round {}", round.index);
      const Side second = round.first == Side::Random ? Side::Fixed : Side::Random;
      for (const Side side : {round.first, second}) {
        RunCounts counts{};
        if (!run_once(options, side, name, result, round, counts)) {
          return false;
        }
        if (!options.counting_probe.empty()) {
          RoundCounts& both = result.counters[{options.session, round.index}];
          (side == Side::Random ? both.random : both.fixed) = counts;
        }
        note_run();
      }
      result.rounds.push_back(round);
      const int total = std::max(rounds, static_cast<int>(result.rounds.size()));
      progress.update("round", round.index, total, per_run, 2 * (total - round.index));
    }
    return true;
  };

  while (static_cast<int>(result.rounds.size()) < rounds) {
    if (!run_block()) {
      return result;
    }
  }
  if (options.precision) {
    std::vector<std::string> short_of;
    while (!precise_enough(summarise(result.rounds), *options.precision, short_of)) {
      const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
      // Another block only when it is likely to end in time.
      if (elapsed + 2 * 2 * per_run > options.max_time) {
        for (const std::string& test : short_of) {
          result.notes.push_back(fmt::format(
              "The {} test fell short of the precision goal: after {} rounds and {:.0f} s its "
              "interval is wider than {:g}% of its median difference.",
              test, result.rounds.size(), elapsed, *options.precision));
        }
        break;
      }
      if (!run_block()) {
        return result;
      }
    }
  }
  return result;
}

}  // namespace compare
