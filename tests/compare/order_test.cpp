// The orders a round runs its programs in: uniform over every permutation,
// and with one build the same draw as a single pair's session.
#include "compare/running/order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <boost/math/distributions/chi_squared.hpp>
#include <map>
#include <random>
#include <vector>

namespace {

using namespace compare;

std::vector<int> as_numbers(const std::vector<Slot>& order) {
  std::vector<int> numbers;
  numbers.reserve(order.size());
  for (const Slot& s : order)
    numbers.push_back(static_cast<int>(2 * s.build + (s.side == Side::Fixed ? 1 : 0)));
  return numbers;
}

TEST(DrawnOrder, OneBuildRunsRandomFirstExactlyWhenTheDrawIsEven) {
  std::mt19937_64 draw(7);
  std::mt19937_64 same(7);
  int random_first = 0;
  for (int i = 0; i < 200; ++i) {
    const std::vector<Slot> order = drawn_order(1, draw);
    ASSERT_EQ(order.size(), 2u);
    const bool even = same() % 2 == 0;
    EXPECT_EQ(order[0].side == Side::Random, even);
    EXPECT_NE(order[0].side, order[1].side);
    random_first += even ? 1 : 0;
  }
  EXPECT_GT(random_first, 0);
  EXPECT_LT(random_first, 200);
}

// 72,000 orders of three builds' six programs: each of the 720 permutations
// is expected 100 times. A shuffle that reaches only some permutations (only
// rotations, say) or favours some fails the chi-square test at 0.001.
TEST(DrawnOrder, UniformOverEveryPermutationOfThreeBuilds) {
  std::mt19937_64 draw(20240528);
  std::map<std::vector<int>, int> seen;
  constexpr int kOrders = 72000;
  for (int i = 0; i < kOrders; ++i) ++seen[as_numbers(drawn_order(3, draw))];
  EXPECT_EQ(seen.size(), 720u);
  const double expected = kOrders / 720.0;
  double chi_square = 0;
  for (const auto& [order, count] : seen) {
    EXPECT_TRUE(std::is_permutation(order.begin(), order.end(),
                                    std::vector<int>{0, 1, 2, 3, 4, 5}.begin()));
    chi_square += (count - expected) * (count - expected) / expected;
  }
  chi_square += static_cast<double>(720 - seen.size()) * expected;  // permutations never drawn
  const boost::math::chi_squared dist(719);
  EXPECT_LT(chi_square, boost::math::quantile(dist, 0.999));
}

}  // namespace
