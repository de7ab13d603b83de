/* COUNT rand() calls timed by the wall clock, the processor's counter and
 * the process's processor time: "WALL_NS TICKS CPU_NS PARITY". The
 * calibration of rand_wait runs it. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#if defined(__x86_64__)
#include <x86intrin.h>
static uint64_t ticks_now(void) { return __rdtsc(); }
#elif defined(__aarch64__)
static uint64_t ticks_now(void) {
  uint64_t t;
  __asm__ volatile("isb\n\tmrs %0, cntvct_el0" : "=r"(t)::"memory");
  return t;
}
#endif

static double nanoseconds(const struct timespec* a, const struct timespec* b) {
  return (double)(b->tv_sec - a->tv_sec) * 1e9 + (double)(b->tv_nsec - a->tv_nsec);
}

int main(int argc, char** argv) {
  char* end = NULL;
  const long count = argc > 1 ? strtol(argv[1], &end, 10) : 0;
  if (count <= 0 || end == NULL || *end != '\0') {
    (void)fprintf(stderr, "usage: calls COUNT\n");
    return 2;
  }
  unsigned sum = 0;
  struct timespec a, b, ca, cb;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ca);
  clock_gettime(CLOCK_MONOTONIC, &a);
  const uint64_t t0 = ticks_now();
  for (long i = 0; i < count; ++i) sum += (unsigned)rand();
  const uint64_t t1 = ticks_now();
  clock_gettime(CLOCK_MONOTONIC, &b);
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cb);
  printf("%.0f %llu %.0f %u\n", nanoseconds(&a, &b), (unsigned long long)(t1 - t0),
         nanoseconds(&ca, &cb), sum & 1u);
  return 0;
}
