#include "compare/stats/counts.h"

#include <cmath>
#include <cstdlib>

#include "compare/stats/statistical_tests.h"
#include "compare/stats/summary.h"

namespace compare {

int event_index(const std::string& name) {
  for (int e = 0; e < kEvents; ++e) {
    if (name == kEventNames.at(e)) {
      return e;
    }
  }
  return -1;
}

namespace {

std::optional<double> median_of(std::vector<double> values) {
  if (values.empty()) return std::nullopt;
  return median(std::move(values));
}

CountSummary summarise_side(const std::vector<Round>& rounds, const CountsByRound& counts,
                            Side side, int test) {
  CountSummary s;
  const int faults = event_index("page_faults");
  std::vector<double> per_fault;
  for (int e = 0; e < kEvents; ++e) {
    std::vector<double> values;
    for (const Round& r : rounds) {
      const auto counted = counts.find(key_of(r));
      if (counted == counts.end()) continue;
      const RunCounts& run = side == Side::Random ? counted->second.random : counted->second.fixed;
      const std::optional<double>& v = run.at(test).at(e);
      if (v) values.push_back(*v);
      if (e == faults && v && *v > 0) {
        const Times& times = side == Side::Random ? r.random : r.fixed;
        if (std::isfinite(times.at(test))) per_fault.push_back(times.at(test) / *v);
      }
    }
    s.median.at(e) = median_of(values);
  }
  s.seconds_per_fault = median_of(per_fault);
  return s;
}

}  // namespace

std::vector<CounterTest> summarise_counters(const std::vector<Round>& rounds,
                                            const CountsByRound& counts) {
  std::vector<CounterTest> tests;
  bool any = false;
  for (const Round& r : rounds) any = any || counts.count(key_of(r)) != 0;
  if (!any) return tests;
  for (int t = 0; t < kTests; ++t) {
    CounterTest test;
    test.name = kTestNames.at(t);
    test.random = summarise_side(rounds, counts, Side::Random, t);
    test.fixed = summarise_side(rounds, counts, Side::Fixed, t);
    for (int e = 0; e < kEvents; ++e) {
      const auto& a = test.random.median.at(e);
      const auto& b = test.fixed.median.at(e);
      if (a && b) test.difference.at(e) = *a - *b;
    }
    tests.push_back(test);
  }
  return tests;
}

std::optional<double> per_execution(const WindowCounts& counts, const char* event) {
  const std::optional<double>& v = counts.at(event_index(event));
  if (!v) return std::nullopt;
  return *v / kExecutions;
}

std::optional<double> faults_per_page(const WindowCounts& counts, int test) {
  const std::optional<double>& v = counts.at(event_index("page_faults"));
  if (!v) return std::nullopt;
  return *v / (static_cast<double>(protocol::kArrayBytes.at(test)) / kPageBytes);
}

std::optional<double> instructions_per_cycle(const WindowCounts& counts) {
  const std::optional<double>& cycles = counts.at(event_index("cycles"));
  const std::optional<double>& instructions = counts.at(event_index("instructions"));
  if (!cycles || !instructions || *cycles <= 0) return std::nullopt;
  return *instructions / *cycles;
}

}  // namespace compare
