// Running the pair under the counting probe for --counters: where the probe
// is, whether a program can carry it, and what a run needs to use it.
#pragma once

#include <map>
#include <string>

#include "compare/model.h"
#include "compare/running/process.h"

namespace compare {

// The counting probe beside the tracing probe at `probe`.
std::string counting_probe_path(const std::string& probe);

// Why the counting probe cannot enter `program` (a static program, one the
// dynamic linker will not preload into, one whose clock it cannot stand in
// for), or empty when it can.
std::string counting_unsupported(const std::string& program);

// "--counters cannot ...: why" when the counting probe cannot be used or
// cannot enter either program; empty when both can be counted.
std::string counting_unusable(const std::string& counting_probe, const std::string& random,
                              const std::string& fixed);

// Has the run carry the counting probe and keep its record.
void add_counting(RunRequest& request, const std::string& counting_probe);

// Reads the probe's key=value record of one run into `counts` and the events
// it could not count into `unavailable` (name: why). False, with `why`, when
// the record is not one of the counting probe's or misses a window.
bool read_counts(const std::string& record, RunCounts& counts,
                 std::map<std::string, std::string>& unavailable, std::string& why);

// The run's counts from its record; false with `why` when there are none.
bool counts_of(const RunOutcome& run, RunCounts& counts,
               std::map<std::string, std::string>& unavailable, std::string& why);

}  // namespace compare
