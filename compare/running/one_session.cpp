#include "compare/running/one_session.h"

#include <fmt/format.h>

#include <chrono>
#include <cstring>
#include <random>

#include "compare/running/counting_probe.h"
#include "compare/running/documents.h"
#include "compare/running/process.h"
#include "compare/running/progress.h"
#include "compare/stats/summary.h"

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

// Why a run that ended gave no times, or empty when it gave them (into
// `times`, and with counting its counts into `counts`).
std::string read_run(const RunOutcome& run, Side side, bool counting, Times& times,
                     RunCounts& counts, std::map<std::string, std::string>& unavailable) {
  const std::string results_file = side == Side::Random ? kRandomResults : kFixedResults;
  if (run.status != 0) return fmt::format("it exited with status {}", run.status);
  const auto file = run.files.find(results_file);
  if (file == run.files.end()) return "it wrote no results file " + results_file;
  std::string what;
  const std::optional<Times> read = read_times(file->second, run.out, what);
  if (!read || (counting && !counts_of(run, counts, unavailable, what))) return what;
  times = *read;
  return {};
}

// Runs the programs of one session, adding what they give to the comparison.
class SessionRunner {
 public:
  SessionRunner(const SessionOptions& options, Comparison& into, RunStatus& status)
      : options_(options), into_(into), status_(status) {}

  // Runs one program once into its side of `round`; false, with the
  // comparison's `stopped` set, when it failed or was interrupted.
  bool run_once(Side side, const std::string& name, Round& round, RunCounts& counts) {
    const bool random = side == Side::Random;
    const std::string& program = random ? options_.random : options_.fixed;
    RunRequest request;
    request.program = program;
    request.timeout = options_.timeout;
    request.files = {random ? kRandomResults : kFixedResults};
    const bool counting = !options_.counting_probe.empty();
    if (counting) add_counting(request, options_.counting_probe);
    const RunOutcome run = run_in_scratch(request);
    status_.run_seconds += run.seconds;
    ++runs_;
    (random ? round.random_usage : round.fixed_usage) = run.usage;

    const std::string who = base_name(program) + " (" + side_name(side) + ")";
    std::string what;
    switch (run.end) {
      case RunOutcome::End::Interrupted:
        status_.interrupted = true;
        into_.stopped = fmt::format("interrupted in {} while {} ran", name, who);
        return false;
      case RunOutcome::End::NotStarted:
        what = run.error;
        break;
      case RunOutcome::End::TimedOut:
        what = fmt::format("it ran longer than the timeout of {:g} s and was killed",
                           options_.timeout);
        break;
      case RunOutcome::End::Signalled:
        what = "it was killed by " + ending_name(run.status);
        break;
      case RunOutcome::End::Exited:
        what = read_run(run, side, counting, random ? round.random : round.fixed, counts,
                        into_.counters_unavailable);
        if (what.empty()) return true;
        break;
    }
    const std::string err = one_line(run.err);
    into_.stopped = fmt::format("{} failed in {}: {}{}", who, name, what,
                                err.empty() ? "" : "; its standard error: " + err);
    return false;
  }

  double per_run() const { return runs_ == 0 ? 0 : status_.run_seconds / runs_; }

 private:
  const SessionOptions& options_;
  Comparison& into_;
  RunStatus& status_;
  int runs_ = 0;
};

Side other(Side side) { return side == Side::Random ? Side::Fixed : Side::Random; }

}  // namespace

RunStatus run_session(const SessionOptions& options, const std::string& started_at,
                      Comparison& into) {
  RunStatus status;
  SessionRunner runner(options, into, status);
  const auto started = Clock::now();
  std::mt19937_64 draw(options.seed);
  const int rounds = options.rounds + options.rounds % 2;
  Progress progress(options);
  SessionRecord session;
  session.index = options.session;
  session.started_at = started_at;
  auto keep = [&] {
    if (session.rounds.empty()) return;
    session.tests = summarise(session.rounds);
    into.sessions.push_back(std::move(session));
  };

  for (int w = 1; w <= options.warmup; ++w) {
    Round warmup;
    warmup.index = w;
    warmup.session = options.session;
    for (const Side side : {Side::Random, Side::Fixed}) {
      RunCounts counts{};
      if (!runner.run_once(side, fmt::format("warm-up round {}", w), warmup, counts)) {
        return status;
      }
    }
    into.warmup.push_back(warmup);
    progress.update("warm-up round", w, options.warmup, runner.per_run(),
                    2 * (options.warmup - w + rounds));
  }

  auto run_block = [&]() -> bool {
    // Drawn per block: drift within a block and the place in a round cancel out.
    const Side first = draw() % 2 == 0 ? Side::Random : Side::Fixed;
    for (int half = 0; half < 2; ++half) {
      Round round;
      round.index = static_cast<int>(session.rounds.size()) + 1;
      round.session = options.session;
      round.first = half == 0 ? first : other(first);
      for (const Side side : {round.first, other(round.first)}) {
        RunCounts counts{};
        if (!runner.run_once(side, fmt::format("round {}", round.index), round, counts)) {
          return false;
        }
        if (!options.counting_probe.empty()) {
          RoundCounts& both = into.counters[{options.session, round.index}];
          (side == Side::Random ? both.random : both.fixed) = counts;
        }
      }
      session.rounds.push_back(round);
      const int total = std::max(rounds, static_cast<int>(session.rounds.size()));
      progress.update("round", round.index, total, runner.per_run(), 2 * (total - round.index));
    }
    return true;
  };

  while (static_cast<int>(session.rounds.size()) < rounds) {
    if (!run_block()) return keep(), status;
  }
  std::vector<std::string> short_of;
  while (options.precision &&
         !precise_enough(summarise(session.rounds), *options.precision, short_of)) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
    // Another block only when it is likely to end in time.
    if (elapsed + 2 * 2 * runner.per_run() > options.max_time) {
      for (const std::string& test : short_of) {
        status.notes.push_back(fmt::format(
            "The {} test fell short of the precision goal: after {} rounds and {:.0f} s its "
            "interval is wider than {:g}% of its median difference.",
            test, session.rounds.size(), elapsed, *options.precision));
      }
      break;
    }
    if (!run_block()) break;
  }
  keep();
  return status;
}

}  // namespace compare
