// The counting probe: a light mode of the probe, built as a library of its
// own so that it stands in for nothing but the clock. Nothing is traced and
// no other call is intercepted, so the program runs its own code throughout.
// At the reading that opens a window the performance counters are read just
// before the clock, at the reading that closes it just after, so that the
// counters' own reads fall outside the timed span. At exit each window's
// counts go as key=value lines to PROBE_REPORT (standard error without it):
// "wN.EVENT=count" for every event counted, "unavailable.EVENT=why" for the
// others.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "probe/perf_events.h"
#include "probe/probe.h"

namespace probe {
namespace {

double (*g_clock)() = nullptr;
int g_readings = 0;
Reading g_at_open[kWindows + 1];
Reading g_at_close[kWindows + 1];
bool g_closed[kWindows + 1];

__attribute__((constructor)) void counting_start() {
  g_clock = real<double (*)()>("omp_get_wtime");
  open_counters();
}

void write_window(std::FILE* f, int k) {
  for (int e = 0; e < kEvents; ++e) {
    std::uint64_t count = 0;
    if (!window_count(g_at_open[k], g_at_close[k], e, count)) {
      continue;
    }
    const char* name = protocol::kEventNames[static_cast<std::size_t>(e)];
    if (e == 0) {
      std::fprintf(f, "w%d.%s=%.9f\n", k, name, static_cast<double>(count) * 1e-9);
    } else {
      std::fprintf(f, "w%d.%s=%" PRIu64 "\n", k, name, count);
    }
  }
}

__attribute__((destructor)) void counting_report() {
  const char* path = std::getenv(protocol::kReportVariable);
  std::FILE* f = path != nullptr ? std::fopen(path, "w") : stderr;
  if (f == nullptr) {
    return;
  }
  int windows = 0;
  while (windows < kWindows && g_closed[windows + 1]) {
    ++windows;
  }
  std::fprintf(f, "%s=1\n%s=%d\n%s=%d\n", protocol::kCountingMark, protocol::kClocksKey, g_readings,
               protocol::kWindowsKey, windows);
  for (int e = 0; e < kEvents; ++e) {
    if (const char* why = unavailable_reason(e)) {
      std::fprintf(f, "%s%s=%s\n", protocol::kUnavailablePrefix,
                   protocol::kEventNames[static_cast<std::size_t>(e)], why);
    }
  }
  for (int k = 1; k <= windows; ++k) {
    write_window(f, k);
  }
  if (f != stderr) {
    std::fclose(f);
  }
}

}  // namespace
}  // namespace probe

extern "C" double omp_get_wtime() {
  using namespace probe;
  const int k = ++g_readings;
  const int opens = window_opened_by(k);
  if (opens != 0) {
    read_counters(g_at_open[opens]);
    return g_clock();
  }
  const double t = g_clock();
  const int closes = window_closed_by(k);
  if (closes != 0) {
    read_counters(g_at_close[closes]);
    g_closed[closes] = true;
  }
  return t;
}
