// The probe's settings, read as the program starts, and its record, written
// as key=value lines to PROBE_REPORT as it ends.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "probe/probe.h"

namespace probe {

Window g_windows[kWindows + 1];  // [0] is unused: outside every window
Array g_arrays[kWindows];
long g_outside[256];  // events outside the windows, by kind
int g_window = 0;
int g_clock_calls = 0;
Clock g_clocks[kMaxClocks];
long g_srand_calls = 0, g_time_calls = 0;
unsigned g_seed = 0;
long g_seed_out = -2, g_seed_watched = -2;

bool g_trace = false;
bool g_traced[kWindows + 1] = {false, true, true, true};
bool g_emulate = true;
bool g_direct = true;
bool g_edges = false;
std::size_t g_next_edge = 0;
int g_fail_window = 0, g_kill_window = 0;
long g_fixed_time = -1;
const char* g_watch = nullptr;
const char* g_report = nullptr;

namespace {

long env_number(const char* name, long fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? std::strtol(v, nullptr, 10) : fallback;
}

__attribute__((constructor)) void probe_start() {
  g_report = std::getenv(protocol::kReportVariable);
  g_watch = std::getenv("PROBE_WATCH");
  g_trace = env_number("PROBE_TRACE", 0) != 0;
  const char* traced = std::getenv("PROBE_TRACE_WINDOWS");
  for (int k = 1; traced != nullptr && k <= kWindows; ++k) {
    g_traced[k] = std::strchr(traced, '0' + k) != nullptr;
  }
  g_emulate = env_number("PROBE_EMULATE", 1) != 0;
  g_direct = env_number("PROBE_DIRECT", 1) != 0;
  const char* draws = std::getenv("PROBE_DRAWS");
  g_edges = draws != nullptr && std::strcmp(draws, "edges") == 0;
  g_fail_window = static_cast<int>(env_number("PROBE_FAIL_WINDOW", 0));
  g_kill_window = static_cast<int>(env_number("PROBE_KILL_WINDOW", 0));
  g_fixed_time = env_number("PROBE_TIME", -1);
  for (Window& w : g_windows) {
    w.released_in = -1;
  }
  dl_iterate_phdr(note_program_text, nullptr);
  if (g_trace) {
    struct sigaction sa = {};
    sa.sa_flags = SA_SIGINFO | (g_direct ? SA_NODEFER : 0);
    sa.sa_sigaction = on_fault;
    sigaction(SIGSEGV, &sa, nullptr);
#if defined(__x86_64__)
    sa.sa_flags = SA_SIGINFO;
    sa.sa_sigaction = on_step;
    sigaction(SIGTRAP, &sa, nullptr);
#endif
  }
}

__attribute__((destructor)) void probe_report() {
  g_window = 0;
  if (g_report == nullptr) {
    return;
  }
  std::FILE* f = std::fopen(g_report, "w");
  if (f == nullptr) {
    return;
  }
  // The architecture the program runs as, which decides its Float test's
  // store: 10 bytes of an x87 extended real, or a 16-byte binary128.
  std::fprintf(f, "arch=%s\n", kArch);
  std::fprintf(f, "trace=%d\nclocks=%d\n", g_trace ? 1 : 0, g_clock_calls);
  for (int k = 0; k < g_clock_calls && k < kMaxClocks; ++k) {
    std::fprintf(f, "clock%d.cw=0x%x\nclock%d.stdout=%ld\nclock%d.watched=%ld\n", k + 1,
                 g_clocks[k].cw, k + 1, g_clocks[k].out, k + 1, g_clocks[k].watched);
  }
  std::fprintf(f, "srand.calls=%ld\nsrand.seed=%u\nsrand.stdout=%ld\nsrand.watched=%ld\n",
               g_srand_calls, g_seed, g_seed_out, g_seed_watched);
  std::fprintf(f, "time.calls=%ld\n", g_time_calls);
  std::fprintf(f, "outside=");
  for (int c = 0; c < 256; ++c) {
    if (g_outside[c] != 0) {
      std::fprintf(f, "%c%ld ", c, g_outside[c]);
    }
  }
  std::fprintf(f, "\n");
  for (int k = 1; k <= kWindows; ++k) {
    const Window& w = g_windows[k];
    std::fprintf(f, "w%d.traced=%d\n", k, g_trace && g_traced[k] ? 1 : 0);
    std::fprintf(f, "w%d.bytes=%zu\nw%d.released_in=%d\nw%d.stores=%ld\nw%d.misplaced=%ld\n", k,
                 w.bytes, k, w.released_in, k, w.stores, k, w.misplaced);
    std::fprintf(f, "w%d.foreign=%ld\nw%d.repeated=%ld\nw%d.descending=%ld\n", k, w.foreign, k,
                 w.repeated, k, w.descending);
    std::fprintf(f, "w%d.unaligned=%ld\nw%d.beyond=%ld\nw%d.unwritten=%ld\nw%d.widths=", k,
                 w.unaligned, k, w.beyond, k, w.unwritten, k);
    for (int width = 0; width <= kMaxWidth + 1; ++width) {
      if (w.widths[width] != 0) {
        std::fprintf(f, "%d:%ld ", width, w.widths[width]);
      }
    }
    std::fprintf(f, "\nw%d.undecoded=%s\n", k, w.undecoded);
    std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a over the window's draws
    for (std::size_t i = 0; i < w.n_draws && i < static_cast<std::size_t>(kN); ++i) {
      hash = (hash ^ static_cast<std::uint32_t>(w.draws[i])) * 1099511628211ULL;
    }
    std::fprintf(f, "w%d.draws=%zu\nw%d.draw_hash=%llx\n", k, w.n_draws, k,
                 static_cast<unsigned long long>(hash));
    std::fprintf(f, "w%d.reads=%ld\nw%d.content=%s\nw%d.event_count=%zu\nw%d.events=", k, w.reads,
                 k, w.content, k, w.n_events, k);
    std::fwrite(w.events, 1, w.n_events < kMaxEvents ? w.n_events : kMaxEvents, f);
    std::fprintf(f, "\n");
  }
  std::fclose(f);
}

}  // namespace
}  // namespace probe
