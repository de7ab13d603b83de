// The performance counters the counting probe reads around each window: the
// task clock, a group of the kernel's other software events and a group of
// the processor's hardware events, each read with a single system call, and
// the page faults from the thread's resource usage.
#pragma once

#include <cstdint>

#include "probe/protocol.h"

#pragma GCC visibility push(hidden)

namespace probe {

constexpr int kEvents = protocol::kEvents;

// One reading of every event; `read` is false where the event is not
// available. A group the processor set aside for a while runs for less time
// than it is enabled, and counts only part of the work meanwhile.
struct Reading {
  std::uint64_t value[kEvents];
  std::uint64_t enabled[kEvents], running[kEvents];  // of the event's group, in ns
  bool read[kEvents];
};

// The event's count over a window, from its readings as the window opened and
// closed; false where it has none. A count is whole only when the event's
// group ran all through the window: a group the processor set aside for part
// of it (multiplexed) counted part of the work, and scaling that up would be
// a guess, not a count.
inline bool window_count(const Reading& open, const Reading& close, int event,
                         std::uint64_t& count) {
  if (!open.read[event] || !close.read[event]) return false;
  if (close.enabled[event] - open.enabled[event] != close.running[event] - open.running[event]) {
    return false;
  }
  count = close.value[event] - open.value[event];
  return true;
}

// Opens every event it can on the calling thread; why the others cannot be
// counted is kept for unavailable_reason().
void open_counters();

// Reads every open group, one read() each; async-signal-safe.
void read_counters(Reading& out);

// Why the event cannot be counted, or nullptr when it can.
const char* unavailable_reason(int event);

}  // namespace probe

#pragma GCC visibility pop
