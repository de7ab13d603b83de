// A trend: every series' session figures from a history of comparisons, in
// time order, with the changes found in each. What the trend's report and
// its JSON show; filled from the store and the change-point statistics.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Before namespace compare is declared (see model.h).
#include <fmt/format.h>

#include "compare/model.h"

namespace compare {

// One session's figure of one series in a history.
struct TrendPoint {
  std::string started_at;  // the session's start, ISO 8601 UTC ("2026-12-10T07:46:22Z")
  std::string label;       // the build's label in that comparison (untrusted text)
  double value = 0;        // the session's median time in seconds, or its ratio to the reference
  std::optional<Interval> interval;  // that session's own 95% interval of `value`, where it has one
};

// A change found in one series: where it begins and how large it is.
struct ChangePoint {
  std::size_t first = 0;             // index into points of the first session after the change
  double median_before = 0;          // median of the segment before (up to the previous change)
  double median_after = 0;           // median of the segment after (up to the next change)
  double ratio = 1;                  // after / before (a geometric-mean ratio of the two segments)
  std::optional<Interval> interval;  // its 95% interval
  double p = 1;                      // the split's permutation p
  std::optional<double> p_adjusted;  // Holm over every split of every series in the report
  // Slower (ratio > 1: more time) or Faster, when p_adjusted < kAlpha.
  VerdictKind verdict = VerdictKind::NoSignificantChange;
};

// A change the report shows and draws as one: slower or faster.
inline bool significant(const ChangePoint& c) {
  return c.verdict == VerdictKind::Slower || c.verdict == VerdictKind::Faster;
}

struct TrendSeries {
  std::string machine;  // the machine's name as recorded (untrusted)
  std::string build;    // the build's label ("" for a single pair)
  std::string test;     // "Integer", "Float" or "DNA"
  Series series = Series::Random;
  std::vector<TrendPoint> points;  // in time order
  std::vector<ChangePoint>
      changes;  // in order of `first`; only significant ones are drawn as changes
};

// How the changes are found and what their figures are, as every format of
// the report says it.
inline constexpr const char* kTrendMeaning =
    "Changes are found in each series by E-divisive with means: the series is split where the "
    "sessions before and after differ most, each split is kept when a permutation test finds it "
    "(p), and every split of every series is adjusted together by Holm's method; a change is "
    "slower or faster when its adjusted p is below 0.05. The medians are of the sessions either "
    "side of the change, up to the next change; the ratio is after over before (above 1: more "
    "time), with its 95% interval. Each session's own figure is the median of its rounds, or its "
    "ratio to the reference where its blocks of two rounds balance. The "
    "tables list the changes found; the JSON and CSV exports hold every split tested.";

struct Trend {
  std::string version;  // bench_compare's, as its JSON names the tool
  std::string
      reference;  // the reference build's label when the figures are ratios to it, else empty
  std::string since, until, label_filter, machine_filter;  // the filters as given (empty: none)
  std::vector<TrendSeries> series;
};

}  // namespace compare
