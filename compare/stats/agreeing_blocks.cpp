#include "compare/stats/agreeing_blocks.h"

#include <algorithm>
#include <boost/math/distributions/binomial.hpp>
#include <cmath>
#include <limits>

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

// The blocks' ends, each sorted, to count the blocks on either side of a
// shift by halving rather than by walking every block at every shift.
struct SortedEnds {
  std::vector<double> lows, highs;
  explicit SortedEnds(const std::vector<BlockPair>& blocks) {
    for (const BlockPair& b : blocks) {
      lows.push_back(b.low);
      highs.push_back(b.high);
    }
    std::sort(lows.begin(), lows.end());
    std::sort(highs.begin(), highs.end());
  }
  Agreeing at(double shift) const {
    Agreeing a;
    a.up = count(lows.end() - std::upper_bound(lows.begin(), lows.end(), shift));
    a.up_or_tied = count(lows.end() - std::lower_bound(lows.begin(), lows.end(), shift));
    a.down = count(std::lower_bound(highs.begin(), highs.end(), shift) - highs.begin());
    a.down_or_tied = count(std::upper_bound(highs.begin(), highs.end(), shift) - highs.begin());
    return a;
  }
  static std::size_t count(std::ptrdiff_t n) { return static_cast<std::size_t>(n); }
};

// The middle of the shifts where up and down are closest: the balance
// up - down falls as the shift rises, so its smallest size m is beside where
// it turns to 0 or below, and the shifts with |balance| = m lie together.
template <typename FirstWhere, typename Balance>
double balance_point(const std::vector<double>& shifts, const SortedEnds& ends,
                     FirstWhere&& first_where, Balance&& balance) {
  const std::size_t turn = first_where([&](const Agreeing& a) { return balance(a) <= 0; });
  long long m = std::numeric_limits<long long>::max();
  if (turn < shifts.size()) m = -balance(ends.at(shifts[turn]));
  if (turn > 0) m = std::min(m, balance(ends.at(shifts[turn - 1])));
  const std::size_t from = first_where([&](const Agreeing& a) { return balance(a) <= m; });
  const std::size_t past = first_where([&](const Agreeing& a) { return balance(a) < -m; });
  return (shifts[from] + shifts[past - 1]) / 2;
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
  return SortedEnds(blocks).at(shift);
}

double agreeing_p_up(const Agreeing& a) { return at_least(a.up, a.up + a.down_or_tied); }
double agreeing_p_down(const Agreeing& a) { return at_least(a.down, a.down + a.up_or_tied); }

double agreeing_p(const Agreeing& a) {
  return std::min(1.0, 2 * std::min(agreeing_p_up(a), agreeing_p_down(a)));
}

std::optional<AgreeingTest> agreeing_test(const std::vector<BlockPair>& blocks) {
  if (blocks.empty()) return std::nullopt;
  AgreeingTest t;
  const SortedEnds ends(blocks);
  t.p = agreeing_p(ends.at(0));
  const std::vector<double> at = breakpoints(blocks);
  const std::vector<double> shifts = probes(at);
  // As the shift rises, up falls and down rises, so each one-sided p and the
  // balance up - down are monotone over the probes: every end is found by
  // halving, which keeps the test cheap enough to ask after every block.
  auto first_where = [&](auto&& holds) {  // holds: false, then true
    return static_cast<std::size_t>(
        std::partition_point(shifts.begin(), shifts.end(),
                             [&](double shift) { return !holds(ends.at(shift)); }) -
        shifts.begin());
  };
  auto balance = [](const Agreeing& a) {
    return static_cast<long long>(a.up) - static_cast<long long>(a.down);
  };
  t.estimate = balance_point(shifts, ends, first_where, balance);
  // Shifts not rejected: neither one-sided p below kAlpha / 2. A breakpoint
  // is judged as the stretch beside it that rejects less, so both ends are
  // breakpoints not rejected, and p(0) < kAlpha exactly when 0 lies outside.
  const std::size_t first =
      first_where([&](const Agreeing& a) { return agreeing_p_up(a) >= kAlpha / 2; });
  const std::size_t past =
      first_where([&](const Agreeing& a) { return agreeing_p_down(a) < kAlpha / 2; });
  // Probe 0 lies below every breakpoint and the last above: kept there, the
  // data cannot reject a shift that far, and there is no interval.
  if (first < past && first > 0 && past < shifts.size()) {
    // Probe 2j + 1 is breakpoint j; probe 2j + 2 the stretch after it.
    const std::size_t low = (first - 1) / 2;
    const std::size_t high = (past - 1) / 2;
    t.interval = Interval{at[low], at[std::min(high, at.size() - 1)]};
  }
  return t;
}

}  // namespace compare
