// What the parts of the tracing probe share: the record of each window, the
// test arrays, the settings, and the functions one part calls in another.
#pragma once

#include <dlfcn.h>
#include <link.h>
#include <signal.h>
#include <ucontext.h>

#include <cstddef>
#include <cstdint>

#include "probe/window.h"

// Nothing here is for the program to see or to interpose.
#pragma GCC visibility push(hidden)

namespace probe {

constexpr long kN = protocol::kExecutions;
constexpr std::size_t kMaxEvents = 4 * kN;
constexpr int kMaxClocks = 8;
constexpr unsigned char kCanary = 0xA5;
constexpr std::size_t kPage = 4096;
constexpr int kMaxWidth = 64;  // wider stores (block fills) are counted together
#if defined(__x86_64__)
inline constexpr const char* kArch = "x86_64";
// K as the x87 unit stores it, lowest address first: the first 10 bytes of
// its 16-byte slot; the rest are never written.
inline constexpr unsigned char kFloatBaseBytes[10] = {0x00, 0x20, 0x00, 0x00, 0x20,
                                                      0x00, 0x00, 0xA0, 0x81, 0x43};
#else
inline constexpr const char* kArch = "aarch64";
// K as an IEEE binary128, lowest address first: the whole 16-byte slot.
inline constexpr unsigned char kFloatBaseBytes[16] = {
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x40, 0x81, 0x43};
#endif
inline constexpr int kEdgeDraws[] = {0, 126, 127, 32765, 32767, 2147483647, 1, 254};

struct Window {
  char events[kMaxEvents];
  std::size_t n_events;
  int draws[kN];
  std::size_t n_draws;
  std::size_t bytes;  // of the first array allocated in this window
  int released_in;    // the window the array was released in; 0 outside, -1 never
  long stores, misplaced, foreign, reads;
  long repeated;               // stores to an element stored before
  long descending;             // stores below the previous one
  long unaligned;              // stores that do not start at an element
  long beyond;                 // stores past the array's end (into its last page)
  long unwritten;              // elements no store reached, at release
  long widths[kMaxWidth + 2];  // [0]: width unknown (single-stepped); [65]: wider
  char undecoded[48];          // code bytes of the first single-stepped store
  char content[512];           // summary of the array as it was released
};

// A test array: the program's view, trapping when traced, and the probe's
// writable view of the same pages.
struct Array {
  unsigned char* base;
  unsigned char* own;
  std::size_t bytes, length, stride;
  int window;
  long last_store;               // offset of the previous store, or -1
  unsigned char stored[kN / 8];  // elements reached by a store
};

struct Clock {
  unsigned cw;  // the floating-point control: x87 control word, or AArch64's FPCR
  long out, watched;
};

extern Window g_windows[kWindows + 1];  // [0] is unused: outside every window
extern Array g_arrays[kWindows];
extern long g_outside[256];  // events outside the windows, by kind
extern int g_window;
extern int g_clock_calls;
extern Clock g_clocks[kMaxClocks];
extern long g_srand_calls, g_time_calls;
extern unsigned g_seed;
extern long g_seed_out, g_seed_watched;

extern bool g_trace;
extern bool g_traced[kWindows + 1];
extern bool g_emulate;
extern bool g_direct;
extern bool g_edges;
extern std::size_t g_next_edge;
extern int g_fail_window, g_kill_window;
extern long g_fixed_time;
extern const char* g_watch;
extern const char* g_report;

template <class F>
F real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// Notes a call or store of kind `kind` in the open window, or outside.
void note(char kind);
long size_of_fd(int fd);
long size_of_watched();

// The program's own code, noted at start.
int note_program_text(dl_phdr_info* info, std::size_t, void*);
bool in_program_text(std::uintptr_t pc);

// The test array an address lies in, or nullptr.
Array* array_at(const unsigned char* addr);

// Counts one store of `width` bytes at `address` (width 0: not known) made
// by the code at `pc`.
void record_store(Array& a, std::uintptr_t address, std::size_t width, std::uintptr_t pc);

// The store tracing's signal handlers: on_fault for an access to a traced
// array, and on x86-64 on_step after an instruction single-stepped.
void on_fault(int, siginfo_t* info, void* context);
#if defined(__x86_64__)
void on_step(int, siginfo_t*, void* context);
#endif

// The test arrays, allocated and released in the windows.
Array* free_array_slot();
void* new_window_array(Array& slot, std::size_t bytes);
bool release_window_array(void* p);

}  // namespace probe

#pragma GCC visibility pop
