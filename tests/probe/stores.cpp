// Stores of particular forms made inside a timing window, for the probe's
// own tests: run under the probe with PROBE_TRACE, it checks what the
// program can see itself and leaves the rest to the probe's report.
#include <omp.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr long kN = 1000000;

// A string store without a repeat prefix leaves RCX alone; under one it
// counts RCX down to 0. Both move RDI past what they stored.
int string_stores(long* a) {
  long* at = a;
  long count = 12345;
  asm volatile("stosq" : "+D"(at), "+c"(count) : "a"(7L) : "memory");
  if (count != 12345 || at != a + 1) {
    std::printf("stosq: rcx=%ld rdi=+%td\n", count, at - a);
    return 1;
  }
  count = 2;
  asm volatile("rep stosq" : "+D"(at), "+c"(count) : "a"(8L) : "memory");
  if (count != 0 || at != a + 3) {
    std::printf("rep stosq: rcx=%ld rdi=+%td\n", count, at - a);
    return 1;
  }
  return 0;
}

// One 8-byte store across the first page boundary, then two to the first
// page: each must trap and be counted once.
int across_pages(long* a) {
  auto* bytes = reinterpret_cast<unsigned char*>(a);
  asm volatile("movq %1, (%0)" : : "r"(bytes + 4092), "r"(1L) : "memory");
  volatile long* elements = a;
  elements[0] = 2;
  elements[1] = 3;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "";
  omp_get_wtime();  // opens window 1
  rlimit files{};
  const bool no_view = std::strcmp(mode, "no-second-view") == 0;
  if (no_view) {
    // No descriptor to spare: the probe gets no second view of the array.
    getrlimit(RLIMIT_NOFILE, &files);
    const rlimit none{0, files.rlim_max};
    setrlimit(RLIMIT_NOFILE, &none);
  }
  auto* a = new long[kN];
  if (no_view) {
    setrlimit(RLIMIT_NOFILE, &files);
  }
  int status = 2;
  if (std::strcmp(mode, "string") == 0) {
    status = string_stores(a);
  } else if (std::strcmp(mode, "across-pages") == 0) {
    status = across_pages(a);
  } else if (no_view) {
    asm volatile("movq %%rax, (%%rdi)" : : "a"(1L), "D"(a) : "memory");
    status = 0;
  }
  delete[] a;
  omp_get_wtime();  // closes it
  return status;
}
