// The order in which a round runs its programs: every build's two programs
// in an order drawn uniformly from all of them, from the seeded generator,
// so that a seed repeats it anywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "compare/model.h"

namespace compare {

struct Slot {
  std::size_t build;
  Side side;
};

// The slots {build 0 random, build 0 fixed, build 1 random, ...} shuffled by
// the forward Fisher-Yates: for i in 0..n-2, swap slot i with slot
// i + draw() % (n - i). With one build, random runs first exactly when the
// first draw is even.
std::vector<Slot> drawn_order(std::size_t builds, std::mt19937_64& draw);

// The seed of the warm-up rounds' own generator, from the session's: the
// warm-up draws from it, so that the counted rounds' orders under a seed do
// not depend on how many warm-up rounds came first.
std::uint64_t warmup_seed(std::uint64_t session_seed);

}  // namespace compare
