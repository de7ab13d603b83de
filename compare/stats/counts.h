// The performance counts of --counters: reading what the counting probe
// recorded in one run, and the per-test medians over the rounds. Pure
// functions; running the probe is in counting.h, showing the counts in
// counters_report.h.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

// Array bytes of each test, the same in both programs.
constexpr std::array<double, kTests> kArrayBytes = {8e6, 16e6, 2e6};
constexpr double kPageBytes = 4096;

// Reads the probe's key=value record of one run into `counts` and the events
// it could not count into `unavailable` (name: why). False, with `why`, when
// the record is not one of the counting probe's or misses a window.
bool read_counts(const std::string& record, RunCounts& counts,
                 std::map<std::string, std::string>& unavailable, std::string& why);

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
