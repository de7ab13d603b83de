/* A calibrated slowdown for evidence runs: preloaded into a program, it
 * stands in for rand, draws from the C library's own rand (so the sequence
 * is unchanged), and on every Nth call first waits K ticks of the processor's
 * counter in a busy loop (no system call, nothing the scheduler sees).
 *
 * The same library with the same environment goes into both sides of a
 * comparison, so both pay the same call through it; only a program whose
 * executable lies under RAND_WAIT_DIR waits. Settings, read once at load:
 *   RAND_WAIT_DIR     directory whose programs wait (missing: none waits)
 *   RAND_WAIT_EVERY   N, 1 to 1e9
 *   RAND_WAIT_TICKS   K, 1 to 1e9
 *   RAND_WAIT_REPORT  1: write "rand_wait: waits=W active=0|1" to standard
 *                     error at exit
 * A missing or invalid setting means no wait, never a failure. */
#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#if defined(__x86_64__)
#include <x86intrin.h>
static inline uint64_t ticks_now(void) { return __rdtsc(); }
#elif defined(__aarch64__)
static inline uint64_t ticks_now(void) {
  uint64_t t;
  __asm__ volatile("isb\n\tmrs %0, cntvct_el0" : "=r"(t)::"memory");
  return t;
}
#else
#error "rand_wait needs x86-64 or AArch64"
#endif

enum { kMaxSetting = 1000000000 };

static int (*real_rand)(void);
/* Inactive: a period no program reaches, so both sides run the same test. */
static uint64_t every = UINT64_MAX;
static uint64_t wait_ticks;
static unsigned long waits; /* updated atomically, only when a wait is taken */
static int report;
static __thread uint64_t calls __attribute__((tls_model("initial-exec")));

/* A whole decimal number from 1 to kMaxSetting, or 0. */
static uint64_t setting(const char* name) {
  const char* text = getenv(name);
  if (text == NULL || *text < '0' || *text > '9') return 0;
  char* end = NULL;
  errno = 0;
  const unsigned long long v = strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0' || v < 1 || v > kMaxSetting) return 0;
  return (uint64_t)v;
}

/* Whether this program's executable lies under RAND_WAIT_DIR. Both are
 * resolved, and the directory must be followed by a separator: /x/b is not
 * under /x/a, nor /x/ab under /x/a. */
static int in_wait_dir(void) {
  const char* dir = getenv("RAND_WAIT_DIR");
  char want[PATH_MAX];
  char exe[PATH_MAX];
  if (dir == NULL || *dir == '\0' || realpath(dir, want) == NULL) return 0;
  if (realpath("/proc/self/exe", exe) == NULL) return 0;
  const size_t n = strlen(want);
  if (n == 1) return 1; /* "/" holds every program */
  return strncmp(exe, want, n) == 0 && exe[n] == '/';
}

static void find_real_rand(void) {
  void* found = dlsym(RTLD_NEXT, "rand");
  *(void**)&real_rand = found; /* a data pointer to a function's, as POSIX allows */
  if (real_rand == NULL) {
    static const char message[] = "rand_wait: the C library's rand was not found\n";
    (void)!write(2, message, sizeof message - 1);
    _exit(127);
  }
}

__attribute__((constructor)) static void rand_wait_start(void) {
  if (real_rand == NULL) find_real_rand();
  const char* r = getenv("RAND_WAIT_REPORT");
  report = r != NULL && strcmp(r, "1") == 0;
  const uint64_t n = setting("RAND_WAIT_EVERY");
  const uint64_t k = setting("RAND_WAIT_TICKS");
  if (n == 0 || k == 0 || !in_wait_dir()) return;
  wait_ticks = k;
  every = n;
}

__attribute__((destructor)) static void rand_wait_end(void) {
  if (!report) return;
  (void)fprintf(stderr, "rand_wait: waits=%lu active=%d\n",
                __atomic_load_n(&waits, __ATOMIC_RELAXED), every != UINT64_MAX);
}

__attribute__((noinline, cold)) static void wait_now(void) {
  const uint64_t start = ticks_now();
  while (ticks_now() - start < wait_ticks) {
  }
  __atomic_fetch_add(&waits, 1, __ATOMIC_RELAXED);
}

int rand(void) {
  /* A call before the constructor ran (another library's) finds it here. */
  if (__builtin_expect(real_rand == NULL, 0)) find_real_rand();
  if (++calls >= every) {
    calls = 0;
    wait_now();
  }
  return real_rand();
}
