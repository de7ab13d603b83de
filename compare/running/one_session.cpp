#include "compare/running/one_session.h"

#include <fmt/format.h>

#include <chrono>
#include <random>

#include "compare/running/progress.h"
#include "compare/running/runner.h"
#include "compare/stats/summary.h"

namespace compare {
namespace {

using Clock = std::chrono::steady_clock;

Side other(Side side) { return side == Side::Random ? Side::Fixed : Side::Random; }

const std::string& program_of(const SessionOptions& options, Side side) {
  return side == Side::Random ? options.random : options.fixed;
}

}  // namespace

RunStatus run_session(const SessionOptions& options, const std::string& started_at,
                      Comparison& into) {
  RunStatus status;
  Runner runner(options, into, status);
  const auto started = Clock::now();
  std::mt19937_64 draw(options.seed);
  const int rounds = options.rounds + options.rounds % 2;
  Progress progress(options);
  SessionRecord session{options.session, started_at, {}, {}};
  auto keep = [&] {
    if (!session.rounds.empty()) session.tests = summarise(session.rounds);
    if (!session.rounds.empty()) into.sessions.push_back(std::move(session));
  };

  for (int w = 1; w <= options.warmup; ++w) {
    Round warmup;
    warmup.index = w;
    warmup.session = options.session;
    for (const Side side : {Side::Random, Side::Fixed}) {
      RunCounts counts{};
      if (!runner.run_once(program_of(options, side), side, fmt::format("warm-up round {}", w),
                           warmup, counts)) {
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
        if (!runner.run_once(program_of(options, side), side, fmt::format("round {}", round.index),
                             round, counts)) {
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
