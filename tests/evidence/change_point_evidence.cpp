// How well the change search finds a known step in simulated histories of
// session figures, beside the plain threshold rule (the latest session against
// the ten before it, applied every session from the 11th on). Each history is
// 60 sessions of lognormal noise (sd of the log 0.01), with or without a step
// of +2% from session 40, with or without heavy tails (5% of the sessions
// 10% slower). Seeded: the same table on every run and every machine.
// Usage: change_point_evidence [histories]   (default 1000; flat ones: a tenth)
//        change_point_evidence --scale       (9 series of 10,000 sessions, timed)
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "compare/stats/change_points.h"

namespace {

using compare::FoundChange;
using compare::SplitMix64;

constexpr std::size_t kSessions = 60;
constexpr std::size_t kStepAt = 40;

struct Scenario {
  const char* name;
  double step;           // the ratio from kStepAt on (1: flat)
  double outlier_share;  // sessions slowed by `outlier`
  double outlier;
};

// Uniform in (0, 1) from the generator's top 53 bits, and a normal deviate by
// Box and Muller: the library's distributions differ between libraries.
double uniform(SplitMix64& rng) {
  return (static_cast<double>(rng() >> 11) + 0.5) / 9007199254740992.0;
}
double normal(SplitMix64& rng) {
  const double u = uniform(rng);
  const double v = uniform(rng);
  return std::sqrt(-2 * std::log(u)) * std::cos(6.283185307179586 * v);
}

std::vector<double> history(const Scenario& s, bool stepped, std::size_t sessions,
                            SplitMix64& rng) {
  std::vector<double> values;
  for (std::size_t i = 0; i < sessions; ++i) {
    double log_value = 0.01 * normal(rng);
    if (stepped && i >= kStepAt) log_value += std::log(s.step);
    if (uniform(rng) < s.outlier_share) log_value += std::log(s.outlier);
    values.push_back(std::exp(log_value));
  }
  return values;
}

struct Tally {
  int histories = 0;
  int found = 0;  // a change found from the step on (the rule: flagged at 40 or later)
  int exact = 0;
  int within1 = 0;
  int within3 = 0;
  int false_changes = 0;  // found where there is no step (more than 3 sessions from it)
  int histories_with_false = 0;
};

std::size_t distance(std::size_t a, std::size_t b) { return a > b ? a - b : b - a; }

// One history's outcome: how far from the step (or how late) the nearest
// change within 3 sessions of it was (none: kSessions), and the others.
void count(Tally& t, std::size_t off, int false_here) {
  ++t.histories;
  t.found += off < kSessions;
  t.exact += off == 0;
  t.within1 += off <= 1;
  t.within3 += off <= 3;
  t.false_changes += false_here;
  t.histories_with_false += false_here > 0;
}

// The search over a report of `family` series: `first`, which may step, and
// family - 1 flat ones with the same noise. Holm over all of them.
void search(const std::vector<double>& first, const Scenario& s, bool stepped, std::size_t family,
            std::uint64_t seed, SplitMix64& rng, Tally& t) {
  compare::ChangeSettings settings;
  settings.family = family;
  settings.seed = seed;
  std::vector<compare::SeriesChanges> series{compare::find_changes(first, settings)};
  for (std::size_t k = 1; k < family; ++k) {
    series.push_back(compare::find_changes(history(s, false, kSessions, rng), settings));
  }
  compare::adjust_changes(series);
  std::size_t nearest = kSessions;
  int false_here = 0;
  for (std::size_t k = 0; k < family; ++k) {
    for (const FoundChange& c : series[k].changes) {
      if (c.verdict == compare::VerdictKind::NoSignificantChange) continue;
      const std::size_t d = distance(c.first, kStepAt);
      if (stepped && k == 0 && d <= 3) {
        nearest = std::min(nearest, d);
      } else {
        ++false_here;
      }
    }
  }
  count(t, nearest, false_here);
}

// The rule on one series: how late it first flags the step, and its flags
// before the step (or anywhere, without one).
void threshold(const std::vector<double>& values, bool stepped, Tally& t) {
  std::size_t late = kSessions;
  int false_here = 0;
  for (const std::size_t at : compare::threshold_flags(values)) {
    if (stepped && at >= kStepAt) {
      late = std::min(late, at - kStepAt);
    } else {
      ++false_here;
    }
  }
  count(t, late, false_here);
}

void row(const char* scenario, const char* method, const Tally& t) {
  std::printf("| %-26s | %-24s | %5d | %5d | %5d | %5d | %5d | %6d | %6d |\n", scenario, method,
              t.histories, t.found, t.exact, t.within1, t.within3, t.false_changes,
              t.histories_with_false);
}

void table(int histories) {
  const Scenario scenarios[] = {{"+2% at 40, 1% noise", 1.02, 0, 1},
                                {"+2% at 40, heavy tails", 1.02, 0.05, 1.10}};
  std::printf("| %-26s | %-24s | %5s | %5s | %5s | %5s | %5s | %6s | %6s |\n", "Histories",
              "Method", "N", "found", "at 40", "<=1", "<=3", "false", "with");
  std::printf("|%s|%s|%s|%s|%s|%s|%s|%s|%s|\n", std::string(28, '-').c_str(),
              std::string(26, '-').c_str(),
              "------:", "------:", "------:", "------:", "------:", "-------:", "-------:");
  for (const Scenario& s : scenarios) {
    for (const bool stepped : {true, false}) {
      const int n = stepped ? histories : std::max(1, histories / 10);
      const std::string name =
          stepped ? s.name
                  : std::string("flat") + (s.outlier_share > 0 ? ", heavy tails" : ", 1% noise");
      Tally alone, among9, rule;
      SplitMix64 rng(stepped ? 40 : 60);
      for (int i = 0; i < n; ++i) {  // each method on the same history
        const std::vector<double> values = history(s, stepped, kSessions, rng);
        const auto seed = static_cast<std::uint64_t>(i);
        search(values, s, stepped, 1, seed, rng, alone);
        search(values, s, stepped, 9, seed, rng, among9);
        threshold(values, stepped, rule);
      }
      row(name.c_str(), "search, 1 series", alone);
      row(name.c_str(), "search, 1 of 9 series", among9);
      row(name.c_str(), "threshold, every session", rule);
    }
  }
}

// Nine series of 10,000 sessions searched as one report of nine (3,600
// permutations a test), flat or with a 2% step every 2,000 sessions; the
// time on the wall and the processor's (the machine may be shared).
void scale_case(bool stepped) {
  SplitMix64 rng(10000);
  const Scenario s{"", 1.02, 0, 1};
  compare::ChangeSettings settings;
  settings.family = 9;
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t cpu = std::clock();
  std::vector<compare::SeriesChanges> series;
  for (int k = 0; k < 9; ++k) {
    std::vector<double> values = history(s, false, 10000, rng);
    for (std::size_t i = 0; stepped && i < values.size(); ++i) {
      if ((i / 2000) % 2 == 1) values[i] *= 1.02;
    }
    series.push_back(compare::find_changes(values, settings));
  }
  compare::adjust_changes(series);
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  const double processor = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
  int significant = 0;
  for (const compare::SeriesChanges& one : series) {
    for (const FoundChange& c : one.changes) {
      significant += c.verdict != compare::VerdictKind::NoSignificantChange;
    }
  }
  std::printf(
      "9 series of 10000 sessions, %s: %d significant changes (%d made) in %.2f s (%.2f s "
      "of processor)\n",
      stepped ? "a step every 2000" : "flat", significant, stepped ? 36 : 0, wall.count(),
      processor);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--scale") {
    scale_case(false);
    scale_case(true);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
  }
  char* end = nullptr;
  const long histories = argc > 1 ? std::strtol(argv[1], &end, 10) : 1000;
  if ((argc > 1 && (end == argv[1] || *end != '\0')) || histories < 1 || histories > 1000000) {
    (void)std::fputs("change_point_evidence: histories must be a number from 1 to 1000000\n",
                     stderr);
    return 2;
  }
  table(static_cast<int>(histories));
  // A table cut short by a full disk is no table.
  return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
