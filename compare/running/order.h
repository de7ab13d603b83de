// The order in which a round runs its programs: every build's two programs
// in an order drawn uniformly from all of them, from the seeded generator,
// so that a seed repeats it anywhere.
#pragma once

#include <cstddef>
#include <random>
#include <vector>

#include "compare/model.h"

namespace compare {

struct Slot {
  std::size_t build;
  Side side;
};

// The slots {build 0 random, build 0 fixed, build 1 random, ...} as listed:
// the warm-up's order, which draws nothing, so that the counted orders of a
// seed do not depend on --warmup.
std::vector<Slot> listed_order(std::size_t builds);

// The slots {build 0 random, build 0 fixed, build 1 random, ...} shuffled by
// the forward Fisher-Yates: for i in 0..n-2, swap slot i with slot
// i + draw() % (n - i). With one build, random runs first exactly when the
// first draw is even.
std::vector<Slot> drawn_order(std::size_t builds, std::mt19937_64& draw);

}  // namespace compare
