// What the probes and bench_compare agree on: the work each window holds, the
// events the counting probe reads, and the keys of the records the probes
// write (key=value lines). The probes write these records and bench_compare
// reads them, so each fact is written here once.
#pragma once

#include <array>

namespace protocol {

// Executions per test, and so elements per test array.
constexpr long kExecutions = 1000000;

// The timing windows, one per test, in test order.
constexpr int kWindows = 3;

// Bytes of each test's array: 8-byte integers, 16-byte extended-real slots,
// 2-byte characters.
inline constexpr std::array<long long, kWindows> kArrayBytes = {8 * kExecutions, 16 * kExecutions,
                                                                2 * kExecutions};

// The counting probe's events, in the order it reports them; the task clock
// in seconds, the rest as counts.
constexpr int kEvents = 12;
inline constexpr std::array<const char*, kEvents> kEventNames = {
    "task_clock_s",     "page_faults",    "minor_faults",     "major_faults",
    "context_switches", "cpu_migrations", "cycles",           "instructions",
    "branches",         "branch_misses",  "cache_references", "cache_misses"};

// The counting probe's record: "counters=1", "clocks=N", "windows=N", then
// "wK.EVENT=count" for each window K and event counted whole, and
// "unavailable.EVENT=why" for each event it cannot count.
constexpr const char* kCountingMark = "counters";
constexpr const char* kClocksKey = "clocks";
constexpr const char* kWindowsKey = "windows";
constexpr const char* kUnavailablePrefix = "unavailable.";

// Environment both probes read: the file the record goes to.
constexpr const char* kReportVariable = "PROBE_REPORT";

}  // namespace protocol
