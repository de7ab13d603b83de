#include "compare/running/build_session.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <random>

#include "compare/running/order.h"
#include "compare/running/progress.h"
#include "compare/running/runner.h"
#include "compare/stats/summary.h"

namespace compare {
namespace {

using Clock = std::chrono::steady_clock;

class BuildsRound {
 public:
  BuildsRound(const SessionOptions& options, const std::vector<BuildSpec>& builds_given,
              Comparison& into, Runner& runner)
      : options_(options), builds_(builds_given), into_(into), runner_(runner) {}

  // Runs one round in `order`: each build's round into `rounds` (one per
  // build); false when a run failed.
  bool run(const std::vector<Slot>& order, const std::string& name, int index, bool counted,
           std::vector<Round>& rounds) {
    rounds.assign(builds_.size(), Round{});
    std::vector<std::string> names;
    std::vector<RoundCounts> counts(builds_.size());
    int position = 0;
    for (const Slot& slot : order) {
      const BuildSpec& given = builds_[slot.build];
      Round& round = rounds[slot.build];
      round.index = index;
      round.session = options_.session;
      const bool random = slot.side == Side::Random;
      (random ? round.random_position : round.fixed_position) = ++position;
      RunCounts& run_counts = random ? counts[slot.build].random : counts[slot.build].fixed;
      if (!runner_.run_once(random ? given.random : given.fixed, slot.side, name, round, run_counts,
                            given.label)) {
        return false;
      }
      names.push_back(fmt::format("{} {}", given.label, side_name(slot.side)));
    }
    for (Round& round : rounds) {
      round.first = round.random_position < round.fixed_position ? Side::Random : Side::Fixed;
    }
    if (counted) {
      into_.builds->orders[{options_.session, index}] = names;
      if (!options_.counting_probe.empty()) {
        for (std::size_t b = 0; b < builds_.size(); ++b) {
          into_.builds->builds[b].counters[{options_.session, index}] = counts[b];
        }
      }
    }
    return true;
  }

 private:
  const SessionOptions& options_;
  const std::vector<BuildSpec>& builds_;
  Comparison& into_;
  Runner& runner_;
};

bool precise(const std::vector<SessionRecord>& sessions, double percent,
             std::vector<std::string>& short_of) {
  short_of.clear();
  for (const SessionRecord& s : sessions) {
    std::vector<std::string> missing;
    if (!precise_enough(summarise(s.rounds), percent, missing)) {
      short_of.insert(short_of.end(), missing.begin(), missing.end());
    }
  }
  std::sort(short_of.begin(), short_of.end());
  short_of.erase(std::unique(short_of.begin(), short_of.end()), short_of.end());
  return short_of.empty();
}

}  // namespace

RunStatus run_builds_session(const SessionOptions& options,
                             const std::vector<BuildSpec>& builds_given,
                             const std::string& started_at, Comparison& into) {
  RunStatus status;
  Runner runner(options, into, status);
  BuildsRound round_of(options, builds_given, into, runner);
  const auto started = Clock::now();
  std::mt19937_64 draw(options.seed);
  const int rounds = options.rounds + options.rounds % 2;
  const int runs_per_round = 2 * static_cast<int>(builds_given.size());
  Progress progress(options);
  std::vector<SessionRecord> sessions(builds_given.size());
  std::vector<Round> one;
  for (int w = 1; w <= options.warmup; ++w) {
    if (!round_of.run(drawn_order(builds_given.size(), draw), fmt::format("warm-up round {}", w), w,
                      false, one)) {
      return status;
    }
    for (std::size_t b = 0; b < builds_given.size(); ++b)
      into.builds->builds[b].warmup.push_back(one[b]);
    progress.update("warm-up round", w, options.warmup, runner.per_run(),
                    runs_per_round * (options.warmup - w + rounds));
  }
  auto run_block = [&]() -> bool {
    std::vector<Slot> order = drawn_order(builds_given.size(), draw);
    for (int half = 0; half < 2; ++half) {
      const int index = static_cast<int>(sessions[0].rounds.size()) + 1;
      if (!round_of.run(order, fmt::format("round {}", index), index, true, one)) return false;
      for (std::size_t b = 0; b < builds_given.size(); ++b) sessions[b].rounds.push_back(one[b]);
      const int total = std::max(rounds, index);
      progress.update("round", index, total, runner.per_run(), runs_per_round * (total - index));
      std::reverse(order.begin(), order.end());
    }
    return true;
  };
  bool ran = true;
  while (ran && static_cast<int>(sessions[0].rounds.size()) < rounds) ran = run_block();
  std::vector<std::string> short_of;
  while (ran && options.precision && !precise(sessions, *options.precision, short_of)) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
    if (elapsed + 2 * runs_per_round * runner.per_run() > options.max_time) {
      for (const std::string& test : short_of) {
        status.notes.push_back(fmt::format(
            "The {} test fell short of the precision goal for some build: after {} rounds and "
            "{:.0f} s an interval is wider than {:g}% of its median difference.",
            test, sessions[0].rounds.size(), elapsed, *options.precision));
      }
      break;
    }
    ran = run_block();
  }
  for (std::size_t b = 0; b < builds_given.size() && !sessions[b].rounds.empty(); ++b) {
    sessions[b].index = options.session;
    sessions[b].started_at = started_at;
    sessions[b].tests = summarise(sessions[b].rounds);
    into.builds->builds[b].sessions.push_back(std::move(sessions[b]));
  }
  return status;
}

}  // namespace compare
