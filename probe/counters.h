// The performance counters the counting probe reads around each window: the
// task clock, a group of the kernel's other software events and a group of
// the processor's hardware events, each read with a single system call, and
// the page faults from the thread's resource usage.
#pragma once

#include <cstdint>

#pragma GCC visibility push(hidden)

namespace probe {

constexpr int kEvents = 12;

// The events in report order, by the names the report gives them.
extern const char* const kEventNames[kEvents];

// One reading of every event; `read` is false where the event is not
// available. A group the processor set aside for a while runs for less time
// than it is enabled, and counts only part of the work meanwhile.
struct Reading {
  std::uint64_t value[kEvents];
  std::uint64_t enabled[kEvents], running[kEvents];  // of the event's group, in ns
  bool read[kEvents];
};

// Opens every event it can on the calling thread; why the others cannot be
// counted is kept for unavailable_reason().
void open_counters();

// Reads every open group, one read() each; async-signal-safe.
void read_counters(Reading& out);

// Why the event cannot be counted, or nullptr when it can.
const char* unavailable_reason(int event);

}  // namespace probe

#pragma GCC visibility pop
