#include "probe/perf_events.h"

#include <linux/perf_event.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace probe {

namespace {

// Page faults are read from the kernel's own count of them for the thread,
// kept whether anyone reads it or not: a performance event for them costs
// time in every fault (measured: about 5% of a window that does nothing but
// fault in fresh pages, for each of the events), which is the very work the
// window times.
constexpr std::uint32_t kUsage = PERF_TYPE_MAX;

struct Event {
  std::uint64_t config;
  std::uint32_t type;  // kUsage: read from the thread's resource usage
  // Seen only where the kernel counts its own work: with user-space counting
  // alone these would read 0, which is not a count.
  bool kernel_side;
};

constexpr Event kEventKinds[kEvents] = {
    {PERF_COUNT_SW_TASK_CLOCK, PERF_TYPE_SOFTWARE, false},
    {0, kUsage, false},  // minor and major together
    {1, kUsage, false},
    {2, kUsage, false},
    {PERF_COUNT_SW_CONTEXT_SWITCHES, PERF_TYPE_SOFTWARE, true},
    {PERF_COUNT_SW_CPU_MIGRATIONS, PERF_TYPE_SOFTWARE, true},
    {PERF_COUNT_HW_CPU_CYCLES, PERF_TYPE_HARDWARE, false},
    {PERF_COUNT_HW_INSTRUCTIONS, PERF_TYPE_HARDWARE, false},
    {PERF_COUNT_HW_BRANCH_INSTRUCTIONS, PERF_TYPE_HARDWARE, false},
    {PERF_COUNT_HW_BRANCH_MISSES, PERF_TYPE_HARDWARE, false},
    {PERF_COUNT_HW_CACHE_REFERENCES, PERF_TYPE_HARDWARE, false},
    {PERF_COUNT_HW_CACHE_MISSES, PERF_TYPE_HARDWARE, false},
};

// A group is scheduled whole or not at all: hardware events are kept apart
// so that hardware the processor cannot fit never stops the rest.
struct Group {
  int leader = -1;
  int members = 0;
  int event[kEvents] = {};  // the event of each member, in the order read() gives
};

Group g_groups[3];

// The task clock is a kernel timer of its own kind, not an event like a
// context switch: in one group with the others, they stopped counting after
// the program was first switched out.
int group_of(const Event& e) {
  if (e.type == PERF_TYPE_HARDWARE) return 2;
  return e.config == PERF_COUNT_SW_TASK_CLOCK ? 1 : 0;
}

char g_why[kEvents][160];

int open_event(const Event& e, int group_fd, bool user_only) {
  perf_event_attr attr;
  std::memset(&attr, 0, sizeof attr);
  attr.size = sizeof attr;
  attr.type = e.type;
  attr.config = e.config;
  attr.read_format =
      PERF_FORMAT_GROUP | PERF_FORMAT_TOTAL_TIME_ENABLED | PERF_FORMAT_TOTAL_TIME_RUNNING;
  attr.exclude_kernel = user_only ? 1 : 0;
  attr.exclude_hv = 1;
  return static_cast<int>(syscall(SYS_perf_event_open, &attr, 0, -1, group_fd, 0UL));
}

// The kernel's setting, or -9 where it cannot be read.
long paranoia() {
  long level = -9;
  if (std::FILE* f = std::fopen("/proc/sys/kernel/perf_event_paranoid", "r")) {
    char text[32] = {};
    char* end = nullptr;
    if (std::fgets(text, sizeof text, f) != nullptr) {
      level = std::strtol(text, &end, 10);
      level = end == text ? -9 : level;
    }
    std::fclose(f);
  }
  return level;
}

void explain(int event, int error) {
  const char* why = std::strerror(error);
  if (error == ENOENT || error == ENODEV || error == EOPNOTSUPP) {
    std::snprintf(g_why[event], sizeof g_why[event], "not offered by this kernel or processor (%s)",
                  why);
  } else if (error == EACCES || error == EPERM) {
    std::snprintf(g_why[event], sizeof g_why[event],
                  "not permitted (%s; perf_event_paranoid is %ld)", why, paranoia());
  } else {
    std::snprintf(g_why[event], sizeof g_why[event], "%s", why);
  }
}

}  // namespace

void open_counters() {
  // This runs in a constructor, perhaps before this file's own initialisers.
  for (Group& g : g_groups) {
    g = Group();
  }
  for (int i = 0; i < kEvents; ++i) {
    const Event& e = kEventKinds[i];
    if (e.type == kUsage) {
      continue;
    }
    Group& g = g_groups[group_of(e)];
    int fd = open_event(e, g.leader, false);
    bool user_only = false;
    if (fd < 0 && (errno == EACCES || errno == EPERM)) {
      // Counting the kernel's share may be forbidden where the program's own is not.
      const int error = errno;
      fd = open_event(e, g.leader, true);
      user_only = fd >= 0;
      errno = fd < 0 ? error : errno;
    }
    if (fd >= 0 && user_only && e.kernel_side) {
      close(fd);
      std::snprintf(g_why[i], sizeof g_why[i],
                    "not permitted: only the program's own user-space work may be counted "
                    "(perf_event_paranoid is %ld)",
                    paranoia());
      continue;
    }
    if (fd < 0) {
      explain(i, errno);
      continue;
    }
    if (g.leader < 0) {
      g.leader = fd;
    }
    g.event[g.members++] = i;
  }
}

void read_counters(Reading& out) {
  std::memset(&out, 0, sizeof out);
  rusage usage{};
  if (getrusage(RUSAGE_THREAD, &usage) == 0) {
    const auto minor = static_cast<std::uint64_t>(usage.ru_minflt);
    const auto major = static_cast<std::uint64_t>(usage.ru_majflt);
    for (int e = 0; e < kEvents; ++e) {
      const Event& kind = kEventKinds[e];
      if (kind.type == kUsage) {
        out.value[e] = kind.config == 0 ? minor + major : kind.config == 1 ? minor : major;
        out.read[e] = true;
      }
    }
  }
  for (const Group& g : g_groups) {
    if (g.leader < 0) {
      continue;
    }
    std::uint64_t data[3 + kEvents];
    const ssize_t n = read(g.leader, data, sizeof data);
    if (n < static_cast<ssize_t>((3 + g.members) * sizeof data[0]) ||
        data[0] != static_cast<std::uint64_t>(g.members)) {
      continue;
    }
    for (int m = 0; m < g.members; ++m) {
      const int e = g.event[m];
      out.value[e] = data[3 + m];
      out.enabled[e] = data[1];
      out.running[e] = data[2];
      out.read[e] = true;
    }
  }
}

const char* unavailable_reason(int event) {
  return g_why[event][0] != '\0' ? g_why[event] : nullptr;
}

}  // namespace probe
