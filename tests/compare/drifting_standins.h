// Stand-in times of two builds run in the same rounds on a machine whose
// speed drifts, for judging the paired comparison: seeded, no clock. Each
// block draws one order of the four programs (as bench_compare does) and
// runs it, then runs it reversed. A run's log time is its program's own, plus
// the machine's speed at that moment (linear drift and a random walk), plus
// an effect of its place in the round, minus a gain when the program ran just
// before (warm caches), plus noise.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "compare/running/order.h"

namespace standins {

struct Drift {
  double noise = 0.01;  // sd of a run's log time
  double linear = 0;    // change of the log speed per run
  double walk = 0;      // sd of the log speed's step per run
  double ends = 0;      // added to the first and the last run of a round
  double repeat = 0;    // taken off a run that follows the same program
  double change = 1;    // the now build's bench_random time over the reference's
};

// Per session, each round's (now, reference) value of one series.
using Paired = std::vector<std::vector<std::pair<double, double>>>;
struct Comparison {
  Paired random;      // bench_random's times
  Paired difference;  // random - fixed
};

inline double normal(std::mt19937_64& gen) {
  const double u1 = (static_cast<double>(gen() >> 11) + 0.5) * 0x1p-53;
  const double u2 = static_cast<double>(gen() >> 11) * 0x1p-53;
  return std::sqrt(-2 * std::log(u1)) * std::cos(2 * 3.14159265358979323846 * u2);
}

class Machine {
 public:
  Machine(const Drift& drift, std::mt19937_64& gen) : d_(drift), gen_(gen) {}

  // One round in `order`: times[build][side] (build 0 is now, 1 the reference).
  std::vector<std::vector<double>> round(const std::vector<compare::Slot>& order) {
    std::vector<std::vector<double>> times(2, std::vector<double>(2));
    for (std::size_t place = 0; place < order.size(); ++place) {
      const compare::Slot& s = order[place];
      const int program = static_cast<int>(2 * s.build + (s.side == compare::Side::Fixed ? 1 : 0));
      speed_ += d_.linear + d_.walk * normal(gen_);
      double log_time = std::log(s.side == compare::Side::Random ? 1.3 : 1.0) + speed_;
      if (s.build == 0 && s.side == compare::Side::Random) log_time += std::log(d_.change);
      if (place == 0 || place + 1 == order.size()) log_time += d_.ends;
      if (program == last_) log_time -= d_.repeat;
      last_ = program;
      times[s.build][s.side == compare::Side::Fixed ? 1 : 0] =
          std::exp(log_time + d_.noise * normal(gen_));
    }
    return times;
  }

 private:
  Drift d_;
  std::mt19937_64& gen_;
  double speed_ = 0;
  int last_ = -1;
};

inline Comparison simulate(const Drift& drift, int sessions, int rounds, std::mt19937_64& gen) {
  Comparison c;
  for (int s = 0; s < sessions; ++s) {
    Machine machine(drift, gen);
    c.random.emplace_back();
    c.difference.emplace_back();
    for (int r = 0; r < rounds; r += 2) {
      std::vector<compare::Slot> order = compare::drawn_order(2, gen);
      for (int half = 0; half < 2; ++half) {
        const auto t = machine.round(order);
        c.random.back().emplace_back(t[0][0], t[1][0]);
        c.difference.back().emplace_back(t[0][0] - t[0][1], t[1][0] - t[1][1]);
        std::reverse(order.begin(), order.end());
      }
    }
  }
  return c;
}

}  // namespace standins
