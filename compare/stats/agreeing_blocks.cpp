#include "compare/stats/agreeing_blocks.h"

#include <algorithm>
#include <boost/math/distributions/binomial.hpp>
#include <cmath>

namespace compare {

namespace {

// P(Bin(n, 1/2) >= k): the one-sided p of k of n blocks on one side.
double at_least(std::size_t k, std::size_t n) {
  if (k == 0) return 1;
  if (k > n) return 0;
  const boost::math::binomial_distribution<double> half(static_cast<double>(n), 0.5);
  return boost::math::cdf(boost::math::complement(half, static_cast<double>(k - 1)));
}

// Every shift where a count changes, in order, without repeats.
std::vector<double> breakpoints(const std::vector<BlockPair>& blocks) {
  std::vector<double> at;
  for (const BlockPair& b : blocks) at.insert(at.end(), {b.low, b.high});
  std::sort(at.begin(), at.end());
  at.erase(std::unique(at.begin(), at.end()), at.end());
  return at;
}

// A shift inside each stretch between breakpoints, and the breakpoints
// themselves: where the counts take every value they take.
std::vector<double> probes(const std::vector<double>& at) {
  std::vector<double> shifts;
  shifts.push_back(at.front() - 1);
  for (std::size_t i = 0; i < at.size(); ++i) {
    shifts.push_back(at[i]);
    shifts.push_back(i + 1 < at.size() ? (at[i] + at[i + 1]) / 2 : at[i] + 1);
  }
  return shifts;
}

}  // namespace

std::vector<BlockPair> block_pairs(const std::vector<double>& round_logs) {
  std::vector<BlockPair> blocks;
  for (std::size_t i = 0; i + 1 < round_logs.size(); i += 2) {
    blocks.push_back(
        {std::min(round_logs[i], round_logs[i + 1]), std::max(round_logs[i], round_logs[i + 1])});
  }
  return blocks;
}

Agreeing agreeing_at(const std::vector<BlockPair>& blocks, double shift) {
  Agreeing a;
  for (const BlockPair& b : blocks) {
    a.up += b.low > shift ? 1 : 0;
    a.down += b.high < shift ? 1 : 0;
  }
  return a;
}

double agreeing_p(const Agreeing& a) {
  const std::size_t n = a.up + a.down;
  return std::min(1.0, 2 * at_least(std::max(a.up, a.down), n));
}

std::optional<AgreeingTest> agreeing_test(const std::vector<BlockPair>& blocks) {
  if (blocks.empty()) return std::nullopt;
  AgreeingTest t;
  t.p = agreeing_p(agreeing_at(blocks, 0));
  const std::vector<double> at = breakpoints(blocks);
  const std::vector<double> shifts = probes(at);
  // Shifts not rejected: neither one-sided p below kAlpha / 2. The counts
  // change only at breakpoints, so the interval's ends are breakpoints.
  std::optional<std::size_t> first, last;  // of the probes kept
  std::size_t closest = blocks.size() + 1;
  double from = 0, to = 0;  // the shifts where up and down are closest
  for (std::size_t i = 0; i < shifts.size(); ++i) {
    const Agreeing a = agreeing_at(blocks, shifts[i]);
    const std::size_t n = a.up + a.down;
    if (at_least(a.up, n) >= kAlpha / 2 && at_least(a.down, n) >= kAlpha / 2) {
      if (!first) first = i;
      last = i;
    }
    const std::size_t apart = a.up > a.down ? a.up - a.down : a.down - a.up;
    if (apart < closest) {
      closest = apart;
      from = to = shifts[i];
    } else if (apart == closest) {
      to = shifts[i];
    }
  }
  t.estimate = (from + to) / 2;
  // Probe 0 lies below every breakpoint and the last above: kept there, the
  // data cannot reject a shift that far, and there is no interval.
  if (first && *first > 0 && *last + 1 < shifts.size()) {
    // Probe 2j + 1 is breakpoint j; probe 2j + 2 the stretch after it.
    const std::size_t low = (*first - 1) / 2;
    const std::size_t high = *last / 2;
    t.interval = Interval{at[low], at[std::min(high, at.size() - 1)]};
  }
  return t;
}

}  // namespace compare
