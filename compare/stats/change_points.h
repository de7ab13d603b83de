// Changes over time in one series of session figures (one positive value per
// session, in time order): where the level steps, found by divisive
// segmentation on the logarithms with a permutation test per split, and how
// large each step is. Also the plain rule a nightly job might use instead, a
// t test of the latest session against the ten before it, for comparison.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "compare/model.h"

namespace compare {

struct ChangeSettings {
  std::size_t min_segment = 3;   // sessions on either side of any split (2 at least)
  double alpha_search = kAlpha;  // a split is kept while its permutation p is below this
  std::size_t family = 1;        // series the caller will adjust over together (Holm's m)
  std::size_t permutations = 0;  // 0: max(199, ceil(20 * family / alpha_search))
  std::size_t stop_after = 20;   // stop a test once this many permuted statistics reach
                                 // the observed one (0: never stop early)
  std::uint64_t seed = 20261210;
};

// A change found in one series: where it begins and how large it is.
struct FoundChange {
  std::size_t first = 0;             // index of the first value after the change
  double median_before = 0;          // median of the segment before (from the previous change)
  double median_after = 0;           // median of the segment after (up to the next change)
  double ratio = 1;                  // after / before, of the two segments' geometric means
  std::optional<Interval> interval;  // its 95% interval (Welch's t on the logarithms)
  double p = 1;                      // the split's permutation p
  std::optional<double> p_adjusted;  // Holm over every change of every series
  VerdictKind verdict = VerdictKind::NoSignificantChange;
};

// The statistic of splitting x[begin, end) before x[begin + tau]:
// Q = tau (n - tau) / n * (mean of the first tau - mean of the rest)^2.
// Energy's divergence with exponent 2 is twice the squared difference of the
// means; the constant factor 2 is left out, which changes neither which split
// is largest nor any permutation p.
double split_statistic(const std::vector<double>& x, std::size_t begin, std::size_t end,
                       std::size_t tau);

// The largest Q of x[begin, end) over every tau leaving min_segment values on
// either side, in one pass of running sums; q = 0 and tau = 0 when the
// segment is too short for any split. Ties go to the earliest tau.
struct BestSplit {
  std::size_t tau = 0;  // values before the split, counted from begin
  double q = 0;
};
BestSplit best_split(const std::vector<double>& x, std::size_t begin, std::size_t end,
                     std::size_t min_segment);

// The search's random numbers: SplitMix64 (Steele, Lea and Flood, 2014), the
// same sequence on every platform and quick enough that the shuffles' memory
// traffic, not the draws, is the search's time (std::mt19937_64 took several
// times as long a draw here).
class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
  std::uint64_t operator()() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15U);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9U;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebU;
    return z ^ (z >> 31);
  }

 private:
  std::uint64_t state_;
};

// A uniform draw from 0 .. bound - 1 by rejection: the same on every standard
// library, which the library's own distributions are not.
std::uint64_t uniform_below(SplitMix64& rng, std::uint64_t bound);

// How many permutations a test may draw under the settings.
std::size_t permutation_count(const ChangeSettings& settings);

// The permutation test of the best split among the current segments: each
// segment's values shuffled within it and the largest best Q of any segment
// found again, so that having picked the largest of several is part of what
// chance must beat. p = (1 + #{Q_perm >= Q}) / (1 + R), or h / r when the
// test stops early at its h-th exceedance after r permutations.
struct PermutationTest {
  double p = 1;
  std::size_t drawn = 0;  // permutations drawn
};
PermutationTest permutation_test(std::vector<std::vector<double>> segments, double observed,
                                 const ChangeSettings& settings, SplitMix64& rng);

// The changes in a series, in order of `first`, each with its p but not yet
// adjusted (verdict NoSignificantChange), and the p of every test the search
// made that kept no split (the one that ended it): Holm's family is every
// test made, or a report of many flat series would keep each one's chance
// finds. Values that are not finite and positive (no figure for that
// session) are left out of the search as though the session were absent;
// `first` still indexes `values`. Deterministic for a given seed.
struct SeriesChanges {
  std::vector<FoundChange> changes;
  std::vector<double> unkept;
};
SeriesChanges find_changes(const std::vector<double>& values, const ChangeSettings& settings);

// Holm's adjustment over every test of every series together, and each
// change's verdict: Slower where p_adjusted < kAlpha and the ratio is above 1
// (more time), Faster where below 1, else NoSignificantChange.
void adjust_changes(std::vector<SeriesChanges>& per_series);

// The plain threshold rule: the logarithm of values[at] against the mean and
// standard deviation of the ten before it, as a prediction,
// t = (x - mean) / (sd * sqrt(1 + 1/10)), two-sided p from Student's t with
// 9 degrees of freedom. nullopt when at < 10 or any of the eleven values is
// not finite and positive.
std::optional<double> threshold_p(const std::vector<double>& values, std::size_t at);

// The sessions the rule flags when applied at each one from the 11th on, as a
// nightly job would: those with p < alpha.
std::vector<std::size_t> threshold_flags(const std::vector<double>& values, double alpha = kAlpha);

}  // namespace compare
