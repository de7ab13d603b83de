/* Runs one program of a cross build on this machine under qemu-user, for
 * the tests and for an x86-64 bench_compare that drives emulated programs.
 * Built static for this machine (cmake/emulated.cmake), so that no preloaded
 * library applies to it: a setting of LD_PRELOAD, which bench_compare and
 * the tests make for the probe, is taken out of its environment and handed
 * to the emulated program instead (qemu's -E), where the program's own
 * loader preloads the library. Left in the environment, it would reach the
 * loader of qemu itself, which cannot load an AArch64 library.
 *
 *   run-emulated PROGRAM [ARGUMENT...]   the generic form
 *   NAME [ARGUMENT...]                   a form built for one program
 *                                        (BENCH_TARGET), which stands in
 *                                        for it wherever a path is asked
 *
 * Everything else passes through unchanged: the environment, the working
 * directory, the descriptors, the limits and the exit status; qemu runs the
 * program in this very process. */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#if !defined(BENCH_QEMU)
#error "BENCH_QEMU, the emulator, must be given"
#endif

#if defined(BENCH_TARGET)
/* The program this launcher runs, where bench_compare reads it without
 * running anything: the record names that program's architecture and
 * compiler, not this launcher's. */
__attribute__((section(".bench_target"), used)) static const char target[] = BENCH_TARGET;
#endif

int main(int argc, char** argv) {
#if defined(BENCH_TARGET)
  const char* program = target;
  int first = 1;
#else
  if (argc < 2) {
    fprintf(stderr, "usage: %s PROGRAM [ARGUMENT...]\n", argv[0]);
    return 2;
  }
  const char* program = argv[1];
  int first = 2;
#endif
  char** args = calloc((size_t)argc + 8, sizeof *args);
  if (args == NULL) {
    return 127;
  }
  int n = 0;
  args[n++] = BENCH_QEMU;
  const char* preload = getenv("LD_PRELOAD");
  if (preload != NULL) {
    const size_t size = strlen(preload) + sizeof "LD_PRELOAD=";
    char* setting = malloc(size);
    if (setting == NULL) {
      return 127;
    }
    snprintf(setting, size, "LD_PRELOAD=%s", preload);
    args[n++] = "-E";
    args[n++] = setting;
    unsetenv("LD_PRELOAD");
  }
  args[n++] = (char*)program;
  for (int i = first; i < argc; ++i) {
    args[n++] = argv[i];
  }
  args[n] = NULL;
  execv(BENCH_QEMU, args);
  fprintf(stderr, "%s: cannot run %s: %s\n", argv[0], BENCH_QEMU, strerror(errno));
  return 127;
}
