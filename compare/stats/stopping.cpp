#include "compare/stats/stopping.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "compare/stats/agreeing_blocks.h"
#include "compare/stats/builds.h"
#include "compare/stats/one_sample.h"
#include "compare/stats/reference.h"
#include "compare/stats/statistical_tests.h"
#include "compare/stats/summary.h"

namespace compare {

namespace {

// The units' sizes with signs that alternate from the largest down: a sample
// about no change as spread as the units, whose signs tell nothing.
std::vector<double> about_no_change(std::vector<double> units) {
  for (double& u : units) u = std::fabs(u);
  std::sort(units.begin(), units.end(), std::greater<>());
  for (std::size_t i = 1; i < units.size(); i += 2) units[i] = -units[i];
  return units;
}

// The same for blocks: each turned so that its rounds' sum is not negative
// (the reverse of a block, both rounds' signs flipped, is as likely under no
// change), then every other one reversed, from the largest sum down.
std::vector<BlockPair> blocks_about_no_change(std::vector<BlockPair> blocks) {
  auto reversed = [](const BlockPair& b) { return BlockPair{-b.high, -b.low}; };
  for (BlockPair& b : blocks)
    if (b.low + b.high < 0) b = reversed(b);
  // Ties broken by the rounds themselves, so that the order, and so the
  // width, depends on nothing but the blocks' sizes.
  std::sort(blocks.begin(), blocks.end(), [](const BlockPair& a, const BlockPair& b) {
    return std::make_pair(a.low + a.high, a.low) > std::make_pair(b.low + b.high, b.low);
  });
  for (std::size_t i = 1; i < blocks.size(); i += 2) blocks[i] = reversed(blocks[i]);
  return blocks;
}

// One session's interval about no change, and its centre (log).
std::optional<std::pair<Interval, double>> one_session_about_no_change(
    const std::vector<std::pair<double, double>>& rounds) {
  if (kPairedUnit != PairedUnit::AgreeingBlock) {
    const std::vector<double> sample = about_no_change(unit_log_ratios(rounds, kPairedUnit));
    const std::optional<Interval> interval = sign_interval(sample);
    if (!interval) return std::nullopt;
    return std::make_pair(*interval, median(sample));
  }
  const std::optional<AgreeingTest> t = agreeing_test(
      blocks_about_no_change(block_pairs(unit_log_ratios(rounds, PairedUnit::Round))));
  if (!t || !t->interval) return std::nullopt;
  return std::make_pair(*t->interval, t->estimate);
}

// A log interval's farther end from its centre, as a fraction of the ratio.
double reach_of(const Interval& log_interval, double centre) {
  return std::max(std::exp(log_interval.high - centre) - 1,
                  1 - std::exp(log_interval.low - centre));
}

}  // namespace

std::optional<double> sign_free_half_width(
    const std::vector<std::vector<std::pair<double, double>>>& sessions) {
  for (const auto& session : sessions) {
    for (const auto& [now, reference] : session) {
      if (!(now > 0 && reference > 0 && std::isfinite(now) && std::isfinite(reference))) {
        return std::nullopt;
      }
    }
  }
  const auto with_units = sessions_with_units(sessions, kPairedUnit);
  if (with_units.empty()) return std::nullopt;
  if (with_units.size() == 1) {
    const auto found = one_session_about_no_change(*with_units.front());
    if (!found) return std::nullopt;
    return reach_of(found->first, found->second);
  }
  std::vector<double> figures;
  figures.reserve(with_units.size());
  for (const auto* session : with_units)
    figures.push_back(*session_log_ratio(*session, kPairedUnit));
  const std::optional<OneSampleT> t = one_sample_t(about_no_change(figures));
  if (!t) return std::nullopt;
  return reach_of(t->interval, t->mean);
}

std::vector<ShortOfGoal> short_of_ratio_goal(const Comparison& so_far, double within) {
  const Build& reference = reference_of(so_far);
  std::vector<ShortOfGoal> short_of;
  for (const Build& build : so_far.builds) {
    if (&build == &reference) continue;
    for (int test = 0; test < kTests; ++test) {
      for (const Series which : kSeries) {
        const std::optional<double> reach =
            sign_free_half_width(paired_values(build, reference, which, test));
        if (reach && *reach <= within) continue;
        short_of.push_back(
            {fmt::format("{} {} {}", build.label, kTestNames.at(static_cast<std::size_t>(test)),
                         series_name(which)),
             reach});
      }
    }
  }
  return short_of;
}

std::vector<ShortOfGoal> short_of_percent_goal(const std::vector<TestResult>& tests,
                                               double percent) {
  std::vector<ShortOfGoal> short_of;
  for (const TestResult& test : tests) {
    std::optional<double> reached;
    if (test.interval && std::isfinite(test.difference) && test.difference != 0) {
      reached = (test.interval->high - test.interval->low) / 2 / std::fabs(test.difference) * 100;
    }
    if (reached && *reached <= percent) continue;
    short_of.push_back({test.name, reached});
  }
  return short_of;
}

std::optional<StopReason> stop_reason(const Standing& p) {
  if (p.goal_met) return StopReason::GoalMet;
  if (p.round_limit > 0 && p.rounds + p.next_rounds > p.round_limit) return StopReason::RoundLimit;
  if (p.elapsed + p.next_seconds > p.time_limit) return StopReason::TimeLimit;
  return std::nullopt;
}

}  // namespace compare
