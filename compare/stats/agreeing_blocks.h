// The sign test over the blocks whose two rounds agree: a block (a round and
// its mirror) counts up when both its rounds' log ratios lie above the shift
// tested, down when both lie below, and not at all when they disagree.
//
// Why: the per-round log ratios are a narrow core with heavy tails, and a
// block's mean takes on the tail of either round, which on the development
// machine doubled the sign test's interval. Single rounds are not
// independent units where a round's ends run slow, but a whole block is:
// under no change, flipping the signs of both its rounds together is as
// likely as not, and that is all this test assumes. Blocks that disagree say
// nothing under that flip, so the test is exact when it leaves them out.
#pragma once

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

#include "compare/model.h"

namespace compare {

// One block's two round log ratios, the lower and the higher.
struct BlockPair {
  double low = 0;
  double high = 0;
};

// Rounds 1-2, 3-4, ... as blocks (a last round without its mirror is left out).
std::vector<BlockPair> block_pairs(const std::vector<double>& round_logs);

// At `shift` (log): blocks wholly above it (up) and wholly below (down), and
// the same counting a block with a round exactly at the shift (a tie) on
// that side too.
struct Agreeing {
  std::size_t up = 0;
  std::size_t down = 0;
  std::size_t up_or_tied = 0;
  std::size_t down_or_tied = 0;
};
Agreeing agreeing_at(const std::vector<BlockPair>& blocks, double shift);

// The one-sided p of the blocks up, and of those down, with ties counted
// against each: P(Bin(up + down_or_tied, 1/2) >= up), and mirrored. So a
// shift at a block's end is judged as the stretch beside it that rejects
// less, and a tie never helps a verdict.
double agreeing_p_up(const Agreeing& a);
double agreeing_p_down(const Agreeing& a);

// Two-sided: min(1, 2 min(p up, p down)); 1 with no block on either side.
double agreeing_p(const Agreeing& a);

// What the test finds on one session's blocks: the log shift where up and
// down balance (the middle of the shifts where they are closest), and the
// shifts it does not reject at kAlpha: each one-sided p is monotone in the
// shift, so they form one interval, and p(0) < kAlpha exactly when it
// excludes 0. No interval where no shift could be rejected on either side.
struct AgreeingTest {
  double estimate = 0;
  std::optional<Interval> interval;
  double p = 1;
};
std::optional<AgreeingTest> agreeing_test(const std::vector<BlockPair>& blocks);

}  // namespace compare
