#include "compare/stats/summary.h"

#include <cmath>
#include <limits>

#include "compare/stats/statistical_tests.h"

namespace compare {

namespace {

double ratio_of(double now, double then) {
  if (then == 0) return now == 0 ? 1.0 : std::numeric_limits<double>::infinity();
  return now / then;
}

}  // namespace

std::vector<double> differences(const std::vector<Round>& rounds, int test) {
  std::vector<double> d;
  d.reserve(rounds.size());
  const auto at = static_cast<std::size_t>(test);
  for (const Round& r : rounds) d.push_back(r.random.at(at) - r.fixed.at(at));
  return d;
}

std::vector<double> series(const std::vector<Round>& rounds, Side side, int test) {
  std::vector<double> times;
  times.reserve(rounds.size());
  const auto at = static_cast<std::size_t>(test);
  for (const Round& r : rounds) times.push_back((side == Side::Random ? r.random : r.fixed).at(at));
  return times;
}

std::vector<TestResult> summarise(const std::vector<Round>& rounds) {
  std::vector<TestResult> results;
  for (int test = 0; test < kTests; ++test) {
    TestResult result;
    result.name = kTestNames.at(static_cast<std::size_t>(test));
    const std::vector<double> random = series(rounds, Side::Random, test);
    const std::vector<double> fixed = series(rounds, Side::Fixed, test);
    const std::vector<double> d = differences(rounds, test);
    result.random = Summary{median(random), mad(random)};
    result.fixed = Summary{median(fixed), mad(fixed)};
    result.difference = median(d);
    result.interval = sign_interval(d);
    result.ratio = ratio_of(result.random.median, result.fixed.median);
    result.ns_per_execution = result.difference / kExecutions * 1e9;
    results.push_back(std::move(result));
  }
  return results;
}

std::vector<double> series_values(const std::vector<Round>& rounds, Series which, int test) {
  switch (which) {
    case Series::Random:
      return series(rounds, Side::Random, test);
    case Series::Fixed:
      return series(rounds, Side::Fixed, test);
    default:
      return differences(rounds, test);
  }
}

}  // namespace compare
