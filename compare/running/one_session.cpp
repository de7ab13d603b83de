#include "compare/running/one_session.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <random>

#include "compare/running/goal.h"
#include "compare/running/order.h"
#include "compare/running/progress.h"
#include "compare/running/runner.h"
#include "compare/stats/stopping.h"
#include "compare/stats/summary.h"

namespace compare {
namespace {

using Clock = std::chrono::steady_clock;

// One round: every build's pair in `order`, each build's round into `rounds`.
class RoundRunner {
 public:
  RoundRunner(const RunSettings& settings, const SessionState& state, Comparison& into,
              Runner& runner)
      : settings_(settings), state_(state), into_(into), runner_(runner) {}

  // False when a run failed; a counted round's order and counts are kept.
  bool run(const std::vector<Slot>& order, int index, bool counted, std::vector<Round>& rounds) {
    const std::vector<BuildSpec>& builds = settings_.builds;
    const std::string name = fmt::format("{} {}", counted ? "round" : "warm-up round", index);
    rounds.assign(builds.size(), Round{});
    std::vector<std::string> names;
    std::vector<RoundCounts> counts(builds.size());
    int position = 0;
    for (const Slot& slot : order) {
      const BuildSpec& given = builds[slot.build];
      Round& round = rounds[slot.build];
      round.index = index;
      round.session = state_.session;
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
      if (builds.size() == 1) round.random_position = round.fixed_position = 0;
    }
    if (!counted) return true;
    if (builds.size() > 1) into_.orders[{state_.session, index}] = names;
    if (!settings_.counting_probe.empty()) {
      for (std::size_t b = 0; b < builds.size(); ++b)
        into_.builds[b].counters[{state_.session, index}] = counts[b];
    }
    return true;
  }

 private:
  const RunSettings& settings_;
  const SessionState& state_;
  Comparison& into_;
  Runner& runner_;
};

// The comparison so far with this session's rounds in it: what the goal is
// checked on.
Comparison with_session(const Comparison& into, const std::vector<SessionRecord>& sessions) {
  Comparison so_far;
  so_far.reference = into.reference;
  so_far.builds = into.builds;
  for (std::size_t b = 0; b < so_far.builds.size(); ++b)
    so_far.builds[b].sessions.push_back(sessions[b]);
  return so_far;
}

}  // namespace

RunStatus run_session(const RunSettings& settings, const SessionState& state,
                      const std::string& started_at, Comparison& into) {
  RunStatus status;
  Runner runner(settings, into, status);
  RoundRunner round_of(settings, state, into, runner);
  const auto started = Clock::now();
  std::mt19937_64 draw(state.seed);
  const std::size_t builds = settings.builds.size();
  const int rounds = settings.counted_rounds();
  const int runs_per_round = settings.runs_per_round();
  Progress progress(settings, state);
  std::vector<SessionRecord> sessions(builds, SessionRecord{state.session, started_at, {}, {}});
  std::vector<Round> one;
  for (int w = 1; w <= settings.warmup; ++w) {
    if (!round_of.run(listed_order(builds), w, false, one)) return status;
    for (std::size_t b = 0; b < builds; ++b) into.builds[b].warmup.push_back(one[b]);
    progress.update("warm-up round", w, settings.warmup, runner.per_run(),
                    runs_per_round * (settings.warmup - w + rounds));
  }
  // Drawn per block: drift within a block and the place in a round cancel out.
  auto run_block = [&]() -> bool {
    std::vector<Slot> order = drawn_order(builds, draw);
    for (int half = 0; half < 2; ++half) {
      const int index = static_cast<int>(sessions[0].rounds.size()) + 1;
      if (!round_of.run(order, index, true, one)) return false;
      for (std::size_t b = 0; b < builds; ++b) sessions[b].rounds.push_back(one[b]);
      const int total = std::max(rounds, index);
      progress.update("round", index, total, runner.per_run(), runs_per_round * (total - index));
      std::reverse(order.begin(), order.end());
    }
    return true;
  };
  bool ran = true;
  while (ran && static_cast<int>(sessions[0].rounds.size()) < rounds) ran = run_block();
  const bool goal = settings.precision && !settings.adds_sessions();
  while (ran && goal) {
    const int counted = static_cast<int>(sessions[0].rounds.size());
    const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
    std::vector<ShortOfGoal> short_of = short_of_goal(settings, with_session(into, sessions));
    // Another block only when it is likely to end in time and within the rounds.
    const std::optional<StopReason> why =
        stop_reason({short_of.empty(), counted, settings.round_limit, 2, elapsed,
                     2 * runs_per_round * runner.per_run(), settings.time_limit});
    if (!why) {
      ran = run_block();
      continue;
    }
    note_short_of_goal(settings, short_of, fmt::format("{} rounds", counted), elapsed, status);
    status.goal = goal_outcome(settings, *why, counted, 1, elapsed, std::move(short_of));
    break;
  }
  for (std::size_t b = 0; b < builds && !sessions[b].rounds.empty(); ++b) {
    sessions[b].tests = summarise(sessions[b].rounds);
    into.builds[b].sessions.push_back(std::move(sessions[b]));
  }
  return status;
}

}  // namespace compare
