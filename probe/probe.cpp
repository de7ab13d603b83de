// The probe, preloaded into a benchmark program. It stands in for the library
// functions the program calls (clock, generator, remainders, allocation,
// output) and records what happens inside each timing window, the span
// between an odd and the following even clock reading. With PROBE_TRACE set
// the test array's pages are kept inaccessible, so that every access to the
// array traps: each store is then counted and checked for its place, its
// width and the code that made it. A store of a form the probe decodes is
// carried out by the probe itself, through a second, writable view of the
// same memory, at the cost of one signal; on x86-64 any other access is
// single-stepped with the page opened, and the page closed again after it.
// AArch64 has no single-step a program can set for itself: there an access
// the probe does not decode (a load, or a store of another form) ends the
// run with status 70 and a message naming the instruction's encoding, so
// that no count is ever wrong.
// At exit the record is written as key=value lines to PROBE_REPORT.
//
// Other settings: PROBE_WATCH names a file whose size is noted at every clock
// reading; PROBE_TIME fixes what time() returns; PROBE_DRAWS=edges makes rand()
// cycle through edge values; PROBE_FAIL_WINDOW=N fails the allocation of
// window N; PROBE_KILL_WINDOW=N kills the process as window N opens;
// PROBE_TRACE_WINDOWS lists the windows traced (default 123);
// PROBE_EMULATE=0 single-steps every store; PROBE_DIRECT=0 returns from every
// carried-out store through the kernel rather than directly (on AArch64
// neither applies: every store is carried out and returns through the
// kernel).
#include "probe/probe.h"

#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

namespace probe {

void note(char kind) {
  if (g_window == 0) {
    ++g_outside[static_cast<unsigned char>(kind)];
    return;
  }
  Window& w = g_windows[g_window];
  if (w.n_events < kMaxEvents) {
    w.events[w.n_events] = kind;
  }
  ++w.n_events;
}

long size_of_fd(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? static_cast<long>(st.st_size) : -1;
}

long size_of_watched() {
  struct stat st;
  return g_watch != nullptr && stat(g_watch, &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

}  // namespace probe

using namespace probe;

extern "C" {

double omp_get_wtime() {
  static auto clock = real<double (*)()>("omp_get_wtime");
  const int k = ++g_clock_calls;
  if (k <= kMaxClocks) {
#if defined(__x86_64__)
    unsigned short cw = 0;
    asm volatile("fnstcw %0" : "=m"(cw));
#else
    std::uint64_t cw = 0;
    asm volatile("mrs %0, fpcr" : "=r"(cw));
#endif
    g_clocks[k - 1] = {static_cast<unsigned>(cw), size_of_fd(1), size_of_watched()};
  }
  if (k % 2 == 0) {
    g_window = 0;
    return clock();
  }
  const double t = clock();
  g_window = window_opened_by(k);
  if (g_window != 0 && g_window == g_kill_window) {
    raise(SIGKILL);
  }
  return t;
}

int rand() {
  static auto draw = real<int (*)()>("rand");
  const int r =
      g_edges ? kEdgeDraws[g_next_edge++ % (sizeof kEdgeDraws / sizeof *kEdgeDraws)] : draw();
  note('R');
  if (g_window != 0) {
    Window& w = g_windows[g_window];
    if (w.n_draws < static_cast<std::size_t>(kN)) {
      w.draws[w.n_draws] = r;
    }
    ++w.n_draws;
  }
  return r;
}

void srand(unsigned seed) {
  static auto seed_fn = real<void (*)(unsigned)>("srand");
  note('s');
  if (g_srand_calls++ == 0) {
    g_seed = seed;
    g_seed_out = size_of_fd(1);
    g_seed_watched = size_of_watched();
  }
  seed_fn(seed);
}

time_t time(time_t* out) {
  static auto time_fn = real<time_t (*)(time_t*)>("time");
  note('t');
  ++g_time_calls;
  if (g_fixed_time < 0) {
    return time_fn(out);
  }
  if (out != nullptr) {
    *out = g_fixed_time;
  }
  return g_fixed_time;
}

double fmod(double x, double y) {
  static auto fn = real<double (*)(double, double)>("fmod");
  note('F');
  return fn(x, y);
}

long double fmodl(long double x, long double y) {
  static auto fn = real<long double (*)(long double, long double)>("fmodl");
  note('L');
  return fn(x, y);
}

// Output, as the C and C++ libraries reach the system: any of these inside
// a window is work the window should not hold.
std::size_t fwrite(const void* data, std::size_t size, std::size_t n, std::FILE* f) {
  static auto fn =
      real<std::size_t (*)(const void*, std::size_t, std::size_t, std::FILE*)>("fwrite");
  note('O');
  return fn(data, size, n, f);
}
int fputs(const char* s, std::FILE* f) {
  static auto fn = real<int (*)(const char*, std::FILE*)>("fputs");
  note('O');
  return fn(s, f);
}
int puts(const char* s) {
  static auto fn = real<int (*)(const char*)>("puts");
  note('O');
  return fn(s);
}
int fputc(int c, std::FILE* f) {
  static auto fn = real<int (*)(int, std::FILE*)>("fputc");
  note('O');
  return fn(c, f);
}
int putc(int c, std::FILE* f) {
  static auto fn = real<int (*)(int, std::FILE*)>("putc");
  note('O');
  return fn(c, f);
}
// putchar and vprintf may be inline in the C library's headers: these
// define the symbols under names of their own.
int probe_putchar(int c) __asm__("putchar");
int probe_putchar(int c) {
  static auto fn = real<int (*)(int)>("putchar");
  note('O');
  return fn(c);
}
int vfprintf(std::FILE* f, const char* format, va_list args) {
  static auto fn = real<int (*)(std::FILE*, const char*, va_list)>("vfprintf");
  note('O');
  return fn(f, format, args);
}
int probe_vprintf(const char* format, va_list args) __asm__("vprintf");
int probe_vprintf(const char* format, va_list args) { return vfprintf(stdout, format, args); }
int fprintf(std::FILE* f, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = vfprintf(f, format, args);
  va_end(args);
  return n;
}
int printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = vfprintf(stdout, format, args);
  va_end(args);
  return n;
}
// The forms a build with _FORTIFY_SOURCE calls instead.
int __vfprintf_chk(std::FILE* f, int, const char* format, va_list args) {
  return vfprintf(f, format, args);
}
int __fprintf_chk(std::FILE* f, int, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = vfprintf(f, format, args);
  va_end(args);
  return n;
}
int __printf_chk(int, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = vfprintf(stdout, format, args);
  va_end(args);
  return n;
}
ssize_t write(int fd, const void* data, std::size_t n) {
  static auto fn = real<ssize_t (*)(int, const void*, std::size_t)>("write");
  note('O');
  return fn(fd, data, n);
}
ssize_t writev(int fd, const iovec* parts, int n) {
  static auto fn = real<ssize_t (*)(int, const iovec*, int)>("writev");
  note('O');
  return fn(fd, parts, n);
}

void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t n) {
  note('M');
  return __libc_malloc(n);
}
void* calloc(std::size_t n, std::size_t size) {
  note('M');
  return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t n) {
  note('M');
  return __libc_realloc(p, n);
}
void free(void* p) {
  if (p != nullptr) {
    note('X');
  }
  __libc_free(p);
}

}  // extern "C"

void* operator new[](std::size_t bytes) {
  static auto real_new = real<void* (*)(std::size_t)>("_Znam");
  note('N');
  Array* slot = g_window != 0 ? free_array_slot() : nullptr;
  if (slot == nullptr) {
    return real_new(bytes);
  }
  while (g_window == g_fail_window) {
    std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) {
      throw std::bad_alloc();
    }
    handler();
  }
  return new_window_array(*slot, bytes);
}

void operator delete[](void* p) noexcept {
  static auto real_delete = real<void (*)(void*)>("_ZdaPv");
  if (p == nullptr || !release_window_array(p)) {
    note('d');
    real_delete(p);
  }
}

void operator delete[](void* p, std::size_t) noexcept { operator delete[](p); }

void* operator new(std::size_t bytes) {
  static auto real_new = real<void* (*)(std::size_t)>("_Znwm");
  note('n');
  return real_new(bytes);
}

void operator delete(void* p) noexcept {
  static auto real_delete = real<void (*)(void*)>("_ZdlPv");
  if (p != nullptr) {
    note('d');
  }
  real_delete(p);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
