// The performance counts of --counters: the per-test medians over the
// rounds and the figures derived from them. Pure functions; running the
// counting probe and reading its record is running/counting_probe.h's,
// showing the counts report/counts.h's.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

constexpr double kPageBytes = 4096;

// The index of an event in kEventNames.
int event_index(const std::string& name);

// One program's medians over the rounds for one test, per event; none where
// no round counted the event. Derived figures are from the medians.
struct CountSummary {
  WindowCounts median{};
  std::optional<double> seconds_per_fault;  // median over rounds of window time / faults
};

struct CounterTest {
  std::string name;
  CountSummary random;
  CountSummary fixed;
  WindowCounts difference{};  // of the medians, random - fixed
};

// Per test, over the rounds that have counts (`counts` by round index);
// empty when none has.
std::vector<CounterTest> summarise_counters(const std::vector<Round>& rounds,
                                            const CountsByRound& counts);

// Derived from a summary: per execution, per 4 KiB page of the test's
// array, and instructions per cycle; none where the counts are missing.
std::optional<double> per_execution(const WindowCounts& counts, const char* event);
std::optional<double> faults_per_page(const WindowCounts& counts, int test);
std::optional<double> instructions_per_cycle(const WindowCounts& counts);

}  // namespace compare
