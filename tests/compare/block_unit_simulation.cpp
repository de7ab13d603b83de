// Which unit the paired comparison of builds in the same rounds should test:
// a round, a mirrored block of two (the mean of its two log ratios), or a
// block counted only when its two rounds agree in sign. For
// each drifting machine, each shape of comparison and each unit: how often
// an identical build gets p < 0.05 (should be at most 5%), and how often a
// 2% slower bench_random is found slower. Seeded: the same numbers on every
// run. Usage: block_unit_simulation [repetitions]  (default 2000)
#include <cstdio>
#include <cstdlib>
#include <string>

#include "compare/stats/reference.h"
#include "drifting_standins.h"

namespace {

struct Scenario {
  const char* name;
  standins::Drift drift;
};

struct Shape {
  const char* name;
  int sessions;
  int rounds;
};

// How often the series' test rejects at 0.05 (`slower`: and finds it slower).
int rejections(const standins::Drift& drift, const Shape& shape, compare::PairedUnit unit,
               bool difference, int repetitions) {
  std::mt19937_64 gen(20240528);  // the same stand-ins for either unit
  int count = 0;
  for (int i = 0; i < repetitions; ++i) {
    const standins::Comparison c = standins::simulate(drift, shape.sessions, shape.rounds, gen);
    const compare::ReferenceTest t =
        compare::paired_ratio(difference ? c.difference : c.random, unit);
    if (t.p && *t.p < compare::kAlpha && (drift.change == 1 || *t.ratio > 1)) ++count;
  }
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? static_cast<int>(std::strtol(argv[1], nullptr, 10)) : 2000;
  if (repetitions <= 0) {
    (void)std::fputs("usage: block_unit_simulation [repetitions, at least 1]\n", stderr);
    return 2;
  }
  const Scenario scenarios[] = {
      {"noise 1%", {}},
      {"linear drift 0.2%/run", {0.01, 0.002, 0, 0, 0, 1}},
      {"random walk 0.5%/run", {0.01, 0, 0.005, 0, 0, 1}},
      {"round's ends +3%", {0.01, 0, 0, 0.03, 0, 1}},
      {"repeat -3%", {0.01, 0, 0, 0, 0.03, 1}},
      {"all of them", {0.01, 0.002, 0.005, 0.03, 0.03, 1}},
  };
  const Shape shapes[] = {{"1 x 20", 1, 20}, {"1 x 40", 1, 40}, {"3 x 20", 3, 20}};
  std::printf("%d repetitions each; false = A/A p < 0.05, power = 2%% slower found slower\n",
              repetitions);
  std::printf("%-24s %-7s %-6s %14s %14s %14s %14s\n", "machine", "shape", "unit", "random false",
              "random power", "diff. false", "diff. power");
  for (const Scenario& s : scenarios) {
    for (const Shape& shape : shapes) {
      for (const auto unit : {compare::PairedUnit::Round, compare::PairedUnit::Block,
                              compare::PairedUnit::AgreeingBlock}) {
        standins::Drift slower = s.drift;
        slower.change = 1.02;
        const char* names[] = {"round", "block", "agree"};
        std::printf("%-24s %-7s %-6s", s.name, shape.name, names[static_cast<int>(unit)]);
        for (const bool difference : {false, true}) {
          std::printf(" %14d %14d", rejections(s.drift, shape, unit, difference, repetitions),
                      rejections(slower, shape, unit, difference, repetitions));
        }
        std::printf("\n");
      }
    }
  }
  return 0;
}
