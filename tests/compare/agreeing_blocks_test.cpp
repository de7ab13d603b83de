// The sign test over blocks whose rounds agree: counts, p, the interval it
// does not reject, and its level where a block's rounds move together.
#include "compare/stats/agreeing_blocks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "compare/stats/reference.h"

namespace compare {
namespace {

// Six blocks, each wholly above 0: rounds 0.01 0.02, 0.02 0.03, ..., 0.06 0.07.
std::vector<double> six_blocks_up() {
  std::vector<double> logs;
  for (int k = 1; k <= 6; ++k) logs.insert(logs.end(), {0.01 * k, 0.01 * (k + 1)});
  return logs;
}

TEST(AgreeingBlocks, CountsOnlyBlocksWhollyOnOneSide) {
  const std::vector<BlockPair> blocks = block_pairs({0.02, -0.01, 0.03, 0.01, -0.02, -0.04, 0.5});
  ASSERT_EQ(blocks.size(), 3U);  // the last round has no mirror
  EXPECT_DOUBLE_EQ(blocks[0].low, -0.01);
  EXPECT_DOUBLE_EQ(blocks[0].high, 0.02);
  const Agreeing at0 = agreeing_at(blocks, 0);
  EXPECT_EQ(at0.up, 1U);    // 0.03 and 0.01
  EXPECT_EQ(at0.down, 1U);  // -0.02 and -0.04
  // A value on the shift itself is on neither side, but counts as a tie.
  const Agreeing at1 = agreeing_at(blocks, 0.01);
  EXPECT_EQ(at1.up, 0U);
  EXPECT_EQ(at1.up_or_tied, 1U);
  EXPECT_EQ(at1.down_or_tied, 1U);
}

// Rounds on a coarse grid, so that blocks often have a round exactly at 0 or
// at each other's ends: p below 0.05 exactly when the interval excludes 0,
// ties or not. 11 blocks up and 9 tied at 0 must not be called: counting the
// tied blocks on neither side would give 11 of 11 (p = 2 / 2048) while the
// interval reached down to 0.
TEST(AgreeingBlocks, TiesCountAgainstAVerdictAndPAndTheIntervalAgree) {
  std::vector<double> logs(22, 0.01);
  logs.insert(logs.end(), 18, 0.0);
  const std::optional<AgreeingTest> tied = agreeing_test(block_pairs(logs));
  EXPECT_GE(tied->p, kAlpha);
  ASSERT_TRUE(tied->interval);
  EXPECT_LE(tied->interval->low, 0);
  std::mt19937_64 gen(5);
  std::uniform_int_distribution<int> step(-2, 6);
  int rejected = 0;
  for (int i = 0; i < 3000; ++i) {
    std::vector<double> grid(static_cast<std::size_t>(2 * (6 + i % 15)));
    for (double& v : grid) v = 0.01 * step(gen);
    const std::optional<AgreeingTest> t = agreeing_test(block_pairs(grid));
    if (!t->interval) continue;
    const bool excludes = t->interval->low > 0 || t->interval->high < 0;
    EXPECT_EQ(t->p < kAlpha, excludes) << i;
    rejected += excludes ? 1 : 0;
  }
  EXPECT_GT(rejected, 300);
}

TEST(AgreeingBlocks, SixBlocksUpRejectAndTheIntervalSpansTheOuterRounds) {
  const std::optional<AgreeingTest> t = agreeing_test(block_pairs(six_blocks_up()));
  ASSERT_TRUE(t);
  EXPECT_DOUBLE_EQ(t->p, 2.0 / 64);  // 6 of 6 up
  // One block on the shift leaves 5 of 5, p = 2/32 one-sided 1/32 >= 0.025:
  // kept from the lowest round to the highest.
  ASSERT_TRUE(t->interval);
  EXPECT_DOUBLE_EQ(t->interval->low, 0.01);
  EXPECT_DOUBLE_EQ(t->interval->high, 0.07);
  EXPECT_DOUBLE_EQ(t->estimate, 0.04);  // 2 up and 2 down there, and nowhere else
  EXPECT_LT(t->p, kAlpha);
  EXPECT_GT(t->interval->low, 0);  // p and the interval agree
}

TEST(AgreeingBlocks, ATailInOneRoundDoesNotTurnItsBlock) {
  std::vector<double> logs = six_blocks_up();
  // Four blocks whose one round fell far into a tail: their means are below
  // 0, which would give a sign test on block means 6 up and 4 down.
  for (int k = 0; k < 4; ++k) logs.insert(logs.end(), {-0.3, 0.01});
  const std::optional<AgreeingTest> t = agreeing_test(block_pairs(logs));
  ASSERT_TRUE(t);
  EXPECT_DOUBLE_EQ(t->p, 2.0 / 64);
  std::vector<double> means;
  for (std::size_t i = 0; i + 1 < logs.size(); i += 2) means.push_back((logs[i] + logs[i + 1]) / 2);
  EXPECT_GT(sign_test_p_with_ties(means), 0.5);
}

TEST(AgreeingBlocks, TooFewBlocksOnASideHaveNoInterval) {
  // Five blocks up: 2/32 > 0.05, nothing can be rejected below them.
  std::vector<double> logs = six_blocks_up();
  logs.resize(10);
  const std::optional<AgreeingTest> t = agreeing_test(block_pairs(logs));
  ASSERT_TRUE(t);
  EXPECT_FALSE(t->interval);
  EXPECT_DOUBLE_EQ(t->p, 2.0 / 32);
  EXPECT_FALSE(agreeing_test({}));
}

// A/A blocks whose two rounds share a large effect of their places in the
// round (both rounds of a block alike, its sign drawn per block), plus noise:
// the test keeps its level (within 3 standard errors of 5%); the sign test on
// single rounds, which takes the two rounds for independent, does not.
TEST(AgreeingBlocks, KeepsItsLevelWhereABlocksRoundsMoveTogether) {
  constexpr int kRepetitions = 4000;
  const int most =
      static_cast<int>(kRepetitions * 0.05 + 3 * std::sqrt(kRepetitions * 0.05 * 0.95));
  std::mt19937_64 gen(11);
  std::normal_distribution<double> noise(0, 0.01);
  std::bernoulli_distribution heads(0.5);
  int agreeing = 0;
  int rounds = 0;
  for (int i = 0; i < kRepetitions; ++i) {
    std::vector<double> logs;
    for (int b = 0; b < 20; ++b) {
      const double shared = heads(gen) ? 0.02 : -0.02;
      logs.insert(logs.end(), {shared + noise(gen), shared + noise(gen)});
    }
    agreeing += agreeing_test(block_pairs(logs))->p < kAlpha ? 1 : 0;
    rounds += sign_test_p_with_ties(logs) < kAlpha ? 1 : 0;
  }
  EXPECT_LE(agreeing, most);
  EXPECT_GT(rounds, most);
}

}  // namespace
}  // namespace compare
