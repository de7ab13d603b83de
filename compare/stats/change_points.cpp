// Divisive segmentation of a series' logarithms by the divergence of means:
// the segment whose best split has the largest statistic is split next, if a
// permutation test within that segment says the split is more than chance;
// the search stops at the first split that is not. A session's speed
// multiplies every time in it, so steps are compared on the logarithmic
// scale, where they add.
#include "compare/stats/change_points.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <utility>

#include "compare/stats/statistical_tests.h"

namespace compare {

namespace {

// A permuted statistic this close below the observed one counts as reaching
// it: the same values summed in another order may differ in the last bits
// (an unshuffled order among them), and a near-tie counted makes p larger,
// never smaller.
constexpr double kTieTolerance = 1e-9;

// However many series the caller adjusts over, a test draws no more than this:
// enough for p down to 1e-5, which is what a family of 5,000 at 0.05 needs.
constexpr std::size_t kMaxPermutations = 100000;

bool has_figure(double v) { return std::isfinite(v) && v > 0; }

// The logarithms, each held within 3 robust standard deviations (1.4826
// MAD) of their median: what the search compares. A session far off (a
// disturbed night) would otherwise move a segment's mean as far as it lies,
// and hide a step or make one; held in, it counts as a large value among
// others. A step larger than the bounds still stands out as values at one.
std::vector<double> held_logs(const std::vector<double>& values) {
  // From the first value's logarithm: small numbers whose sums keep their
  // precision, and a constant series exactly zero throughout.
  const double origin = std::log(values.front());
  std::vector<double> logs;
  logs.reserve(values.size());
  for (const double v : values) logs.push_back(std::log(v) - origin);
  const double centre = median(logs);
  const double reach = 3 * 1.4826 * mad(logs);
  for (double& l : logs) l = std::clamp(l, centre - reach, centre + reach);
  return logs;
}

std::size_t min_segment_of(const ChangeSettings& settings) {
  return std::max<std::size_t>(2, settings.min_segment);
}

// 32-bit draws, two from each of the generator's outputs, and a uniform
// integer below a bound by Lemire's multiply and shift with rejection: exact
// integer arithmetic, the same on every platform (the library's own
// distributions and std::shuffle are not), and no division on almost every
// draw. The shuffles are most of the search's time.
class Draws {
 public:
  explicit Draws(SplitMix64& rng) : rng_(rng) {}

  std::size_t below(std::size_t bound) {
    if (bound > 0xffffffffU) return static_cast<std::size_t>(uniform_below(rng_, bound));
    const auto b = static_cast<std::uint32_t>(bound);
    std::uint64_t product = std::uint64_t{next()} * b;
    auto low = static_cast<std::uint32_t>(product);
    if (low < b) {
      const std::uint32_t threshold = static_cast<std::uint32_t>(0U - b) % b;  // 2^32 mod b
      while (low < threshold) {
        product = std::uint64_t{next()} * b;
        low = static_cast<std::uint32_t>(product);
      }
    }
    return static_cast<std::size_t>(product >> 32);
  }

 private:
  std::uint32_t next() {
    if (has_spare_) {
      has_spare_ = false;
      return static_cast<std::uint32_t>(spare_ >> 32);
    }
    spare_ = rng_();
    has_spare_ = true;
    return static_cast<std::uint32_t>(spare_);
  }

  SplitMix64& rng_;
  std::uint64_t spare_ = 0;
  bool has_spare_ = false;
};

// 1 / (n tau (n - tau)) for every tau: Q = (n left - tau total)^2 times it,
// with no division in the scans.
std::vector<double> split_weights(std::size_t n) {
  std::vector<double> w(n + 1, 0);
  const auto size = static_cast<double>(n);
  for (std::size_t tau = 1; tau < n; ++tau) {
    w[tau] = 1 / (size * static_cast<double>(tau) * static_cast<double>(n - tau));
  }
  return w;
}

// A Fisher and Yates shuffle of the values, the best Q of the result found
// in the same pass: from the right, each place is final once drawn, so the
// sum of the values after it is known there. `total` is their sum.
double shuffled_best(std::vector<double>& v, std::size_t m, double total,
                     const std::vector<double>& w, Draws& draws) {
  const std::size_t n = v.size();
  const auto size = static_cast<double>(n);
  double right = 0;
  double best = 0;
  for (std::size_t i = n - 1; i > 0; --i) {
    std::swap(v[i], v[draws.below(i + 1)]);
    right += v[i];
    if (i >= m && i <= n - m) {
      const double d = (total - right) * size - static_cast<double>(i) * total;
      best = std::max(best, d * d * w[i]);
    }
  }
  return best;
}

struct Segment {
  std::size_t begin = 0;
  std::size_t end = 0;
  BestSplit best;
};

struct Kept {
  std::size_t at = 0;  // index of the first value after the split
  double p = 1;
};

std::vector<double> slice(const std::vector<double>& values, std::size_t begin, std::size_t end) {
  return {values.begin() + static_cast<std::ptrdiff_t>(begin),
          values.begin() + static_cast<std::ptrdiff_t>(end)};
}

// The kept splits of the logarithms, in order of position; the p of the
// test that kept none goes to `unkept`.
std::vector<Kept> search_splits(const std::vector<double>& logs, const ChangeSettings& settings,
                                std::vector<double>& unkept) {
  const std::size_t m = min_segment_of(settings);
  SplitMix64 rng(settings.seed);
  std::vector<Segment> segments{{0, logs.size(), best_split(logs, 0, logs.size(), m)}};
  std::vector<Kept> kept;
  for (;;) {
    const auto top =
        std::max_element(segments.begin(), segments.end(),
                         [](const Segment& a, const Segment& b) { return a.best.q < b.best.q; });
    if (!(top->best.q > 0)) break;  // nothing left that any split separates
    const Segment s = *top;
    std::vector<std::vector<double>> values;
    values.reserve(segments.size());
    for (const Segment& each : segments) values.push_back(slice(logs, each.begin, each.end));
    const PermutationTest test = permutation_test(std::move(values), s.best.q, settings, rng);
    if (!(test.p < settings.alpha_search)) {
      unkept.push_back(test.p);
      break;
    }
    const std::size_t at = s.begin + s.best.tau;
    kept.push_back(Kept{at, test.p});
    *top = Segment{s.begin, at, best_split(logs, s.begin, at, m)};
    segments.push_back(Segment{at, s.end, best_split(logs, at, s.end, m)});
  }
  std::sort(kept.begin(), kept.end(), [](const Kept& a, const Kept& b) { return a.at < b.at; });
  return kept;
}

// Each kept split measured between its neighbours: the segments either side
// run from the previous kept split to the next.
std::vector<FoundChange> measure_changes(const std::vector<double>& raw,
                                         const std::vector<std::size_t>& where,
                                         const std::vector<Kept>& kept) {
  std::vector<FoundChange> changes;
  for (std::size_t k = 0; k < kept.size(); ++k) {
    const std::size_t begin = k == 0 ? 0 : kept[k - 1].at;
    const std::size_t at = kept[k].at;
    const std::size_t end = k + 1 < kept.size() ? kept[k + 1].at : raw.size();
    const std::vector<double> before = slice(raw, begin, at);
    const std::vector<double> after = slice(raw, at, end);
    FoundChange c;
    c.first = where[at];
    c.median_before = median(before);
    c.median_after = median(after);
    c.p = kept[k].p;
    if (const std::optional<Welch> w = welch_log(after, before)) {
      c.ratio = w->ratio;
      c.interval = w->ratio_interval;
    }
    changes.push_back(c);
  }
  return changes;
}

VerdictKind verdict_of(double p_adjusted, double ratio) {
  if (!(p_adjusted < kAlpha) || ratio == 1) return VerdictKind::NoSignificantChange;
  return ratio > 1 ? VerdictKind::Slower : VerdictKind::Faster;
}

}  // namespace

double split_statistic(const std::vector<double>& x, std::size_t begin, std::size_t end,
                       std::size_t tau) {
  if (end > x.size() || begin >= end || tau == 0 || tau >= end - begin) return 0;
  double left = 0;
  double right = 0;
  for (std::size_t i = begin; i < begin + tau; ++i) left += x[i];
  for (std::size_t i = begin + tau; i < end; ++i) right += x[i];
  const auto a = static_cast<double>(tau);
  const auto b = static_cast<double>(end - begin - tau);
  const double d = left / a - right / b;
  return a * b / (a + b) * d * d;
}

BestSplit best_split(const std::vector<double>& x, std::size_t begin, std::size_t end,
                     std::size_t min_segment) {
  BestSplit best;
  const std::size_t m = std::max<std::size_t>(1, min_segment);
  if (end > x.size() || begin >= end || end - begin < 2 * m) return best;
  const std::size_t n = end - begin;
  const auto size = static_cast<double>(n);
  const std::vector<double> w = split_weights(n);
  double total = 0;
  for (std::size_t i = begin; i < end; ++i) total += x[i];
  // From the right, as the permutations are scanned; >= keeps the earliest.
  double right = 0;
  for (std::size_t tau = n - 1; tau >= m; --tau) {
    right += x[begin + tau];
    if (tau > n - m) continue;
    const double d = (total - right) * size - static_cast<double>(tau) * total;
    const double q = d * d * w[tau];
    if (q > 0 && q >= best.q) best = BestSplit{tau, q};
  }
  return best;
}

std::uint64_t uniform_below(SplitMix64& rng, std::uint64_t bound) {
  if (bound < 2) return 0;
  // The largest multiple of bound that the generator's range holds: draws at
  // or above it would favour the low remainders.
  constexpr std::uint64_t kMax = ~std::uint64_t{0};
  const std::uint64_t limit = kMax - kMax % bound;
  std::uint64_t draw = rng();
  while (draw >= limit) draw = rng();
  return draw % bound;
}

std::size_t permutation_count(const ChangeSettings& settings) {
  if (settings.permutations > 0) return std::min(settings.permutations, kMaxPermutations);
  const bool valid = settings.alpha_search > 0 && settings.alpha_search < 1;
  const double alpha = valid ? settings.alpha_search : kAlpha;
  const auto family = static_cast<double>(std::max<std::size_t>(1, settings.family));
  const double wanted = std::ceil(20 * family / alpha);
  if (!(wanted < static_cast<double>(kMaxPermutations))) return kMaxPermutations;
  return std::max<std::size_t>(199, static_cast<std::size_t>(wanted));
}

PermutationTest permutation_test(std::vector<std::vector<double>> segments, double observed,
                                 const ChangeSettings& settings, SplitMix64& rng) {
  PermutationTest result;
  const std::size_t m = min_segment_of(settings);
  const std::size_t total = permutation_count(settings);
  const double bar = observed - std::fabs(observed) * kTieTolerance;
  // Segments too short for a split add nothing to any permutation's best.
  segments.erase(std::remove_if(segments.begin(), segments.end(),
                                [m](const std::vector<double>& v) { return v.size() < 2 * m; }),
                 segments.end());
  if (segments.empty()) return result;  // nothing to permute: p = 1
  std::vector<std::vector<double>> weights;
  std::vector<double> sums;
  for (const std::vector<double>& v : segments) {
    weights.push_back(split_weights(v.size()));
    sums.push_back(std::accumulate(v.begin(), v.end(), 0.0));
  }
  Draws draws(rng);
  std::size_t reached = 0;
  while (result.drawn < total) {
    // A shuffle of the last shuffle is as uniform as one of the original.
    ++result.drawn;
    double best = 0;
    for (std::size_t k = 0; k < segments.size(); ++k) {
      best = std::max(best, shuffled_best(segments[k], m, sums[k], weights[k], draws));
    }
    if (best >= bar) ++reached;
    if (settings.stop_after > 0 && reached == settings.stop_after) {
      result.p = static_cast<double>(reached) / static_cast<double>(result.drawn);
      return result;
    }
  }
  result.p = static_cast<double>(1 + reached) / static_cast<double>(1 + total);
  return result;
}

SeriesChanges find_changes(const std::vector<double>& values, const ChangeSettings& settings) {
  std::vector<std::size_t> where;  // each usable value's index in values
  std::vector<double> raw;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!has_figure(values[i])) continue;
    where.push_back(i);
    raw.push_back(values[i]);
  }
  if (raw.size() < 2 * min_segment_of(settings)) return {};
  SeriesChanges result;
  result.changes =
      measure_changes(raw, where, search_splits(held_logs(raw), settings, result.unkept));
  return result;
}

void adjust_changes(std::vector<SeriesChanges>& per_series) {
  std::vector<double> p;
  for (const SeriesChanges& series : per_series) {
    for (const FoundChange& c : series.changes) p.push_back(c.p);
  }
  // The tests that kept nothing count in the family after the changes, whose
  // adjusted p are read back from the front.
  for (const SeriesChanges& series : per_series) {
    p.insert(p.end(), series.unkept.begin(), series.unkept.end());
  }
  const std::vector<double> adjusted = holm_adjust(p);
  std::size_t i = 0;
  for (SeriesChanges& series : per_series) {
    for (FoundChange& c : series.changes) {
      const double a = adjusted[i++];
      c.p_adjusted = std::isnan(a) ? std::nullopt : std::optional<double>(a);
      c.verdict = verdict_of(a, c.ratio);
    }
  }
}

std::optional<double> threshold_p(const std::vector<double>& values, std::size_t at) {
  constexpr std::size_t kWindow = 10;
  if (at < kWindow || at >= values.size() || !has_figure(values[at])) return std::nullopt;
  // Logarithms from the window's first value's: ten equal sessions give
  // exactly zero spread, and an equal eleventh exactly no deviation.
  const double origin = std::log(values[at - kWindow]);
  std::array<double, kWindow> logs{};
  double mean = 0;
  for (std::size_t i = 0; i < kWindow; ++i) {
    const double v = values[at - kWindow + i];
    if (!has_figure(v)) return std::nullopt;
    logs[i] = std::log(v) - origin;
    mean += logs[i];
  }
  mean /= kWindow;
  double squares = 0;
  for (const double y : logs) squares += (y - mean) * (y - mean);
  const double sd = std::sqrt(squares / (kWindow - 1));
  const double deviation = std::log(values[at]) - origin - mean;
  // Ten equal sessions: any other value at all is a change.
  if (!(sd > 0)) return deviation == 0 ? 1.0 : 0.0;
  const double t = deviation / (sd * std::sqrt(1 + 1.0 / kWindow));
  return t_two_sided_p(t, kWindow - 1);
}

std::vector<std::size_t> threshold_flags(const std::vector<double>& values, double alpha) {
  std::vector<std::size_t> flags;
  for (std::size_t at = 10; at < values.size(); ++at) {
    const std::optional<double> p = threshold_p(values, at);
    if (p && *p < alpha) flags.push_back(at);
  }
  return flags;
}

}  // namespace compare
