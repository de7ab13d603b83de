// Stores of every form the AArch64 probe carries out, and accesses it must
// refuse, made inside a timing window for the probe's own tests: run under
// the probe with PROBE_TRACE, it checks what the program can see itself (the
// base registers written back) and leaves the rest to the probe's report,
// whose summary of an array of no test's size shows its first bytes.
#include <omp.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t kBytes = 8192;  // two pages

struct Bytes16 {
  unsigned char b[16];
};

Bytes16 counting_from(unsigned first) {
  Bytes16 v{};
  for (unsigned i = 0; i < 16; ++i) {
    v.b[i] = static_cast<unsigned char>(first + i);
  }
  return v;
}

int g_failures = 0;

void expect_at(const char* form, const unsigned char* got, const unsigned char* want) {
  if (got != want) {
    std::printf("%s: base register written back %td bytes off\n", form, got - want);
    ++g_failures;
  }
}

// One store across the boundary of the two pages: it traps once, at the first.
void across_pages(unsigned char* p) {
  asm volatile("stp %x1, %x2, [%0]"
               :
               : "r"(p + 4088), "r"(0x0101010101010101UL), "r"(0x0202020202020202UL)
               : "memory");
}

void forms(unsigned char* p) {
  // STR (X, unsigned immediate) and STUR (X, negative offset).
  asm volatile("str %x1, [%0]" : : "r"(p), "r"(0x1111111111111111UL) : "memory");
  asm volatile("stur %x1, [%0, #-8]" : : "r"(p + 16), "r"(0x2222222222222222UL) : "memory");
  // STRB (register offset) and STRH (pre-index, unaligned).
  asm volatile("strb %w1, [%0, %2]" : : "r"(p), "r"(0x33), "r"(16L) : "memory");
  unsigned char* q = p + 15;
  asm volatile("strh %w1, [%0, #2]!" : "+r"(q) : "r"(0x4444) : "memory");
  expect_at("strh pre-index", q, p + 17);
  // STR (W, post-index).
  unsigned char* r = p + 20;
  asm volatile("str %w1, [%0], #4" : "+r"(r) : "r"(0x55555555) : "memory");
  expect_at("str post-index", r, p + 24);
  // STP (X, pre-index) and STP (W, post-index, downwards).
  unsigned char* s = p + 8;
  asm volatile("stp %x1, %x2, [%0, #16]!"
               : "+r"(s)
               : "r"(0x6666666666666666UL), "r"(0x7777777777777777UL)
               : "memory");
  expect_at("stp pre-index", s, p + 24);
  unsigned char* t = p + 40;
  asm volatile("stp %w1, %w2, [%0], #-8" : "+r"(t) : "r"(0x88888888U), "r"(0x99999999U) : "memory");
  expect_at("stp post-index", t, p + 32);
  // STR (Q, register offset scaled by the size) and STP (Q, signed offset).
  const Bytes16 a0 = counting_from(0xA0), b0 = counting_from(0xB0), c0 = counting_from(0xC0);
  asm volatile("ldr q0, [%2]\n\tstr q0, [%0, %1, lsl #4]"
               :
               : "r"(p), "r"(3L), "r"(a0.b)
               : "v0", "memory");
  asm volatile("ldr q0, [%1]\n\tldr q1, [%2]\n\tstp q0, q1, [%0, #64]"
               :
               : "r"(p), "r"(b0.b), "r"(c0.b)
               : "v0", "v1", "memory");
  // STR (D, post-index), STR (S), STR (H) and STR (B).
  const Bytes16 d0 = counting_from(0xD0), e0 = counting_from(0xE0), f0 = counting_from(0xF0);
  unsigned char* w = p + 96;
  asm volatile("ldr d0, [%1]\n\tstr d0, [%0], #8" : "+r"(w) : "r"(d0.b) : "v0", "memory");
  expect_at("str d post-index", w, p + 104);
  asm volatile("ldr s0, [%1]\n\tstr s0, [%0, #104]" : : "r"(p), "r"(e0.b) : "v0", "memory");
  asm volatile("ldr h0, [%1]\n\tstr h0, [%0, #108]" : : "r"(p), "r"(f0.b) : "v0", "memory");
  const unsigned char five_a = 0x5A;
  asm volatile("ldr b0, [%1]\n\tstr b0, [%0, #110]" : : "r"(p), "r"(&five_a) : "v0", "memory");
  // The zero register, STNP, and register offsets sign-extended and shifted.
  asm volatile("str xzr, [%0, #112]" : : "r"(p) : "memory");
  asm volatile("stnp %x1, %x2, [%0, #120]"
               :
               : "r"(p), "r"(0x0102030405060708UL), "r"(0x090A0B0C0D0E0F10UL)
               : "memory");
  asm volatile("strb %w1, [%0, %w2, sxtw]" : : "r"(p + 137), "r"(0xEE), "r"(-1) : "memory");
  asm volatile("strh %w1, [%0, %2, lsl #1]" : : "r"(p), "r"(0xBEEF), "r"(69L) : "memory");
  across_pages(p);
}

// Accesses the probe must refuse, each with the base in x9 so that the
// instruction's encoding is known: a vector structure store (st1, 0x4c007120)
// and a load (ldr x10, [x9], 0xf940012a).
void undecodable_store(unsigned char* p) {
  asm volatile("mov x9, %0\n\tmovi v0.16b, #1\n\tst1 {v0.16b}, [x9]"
               :
               : "r"(p)
               : "x9", "v0", "memory");
}

void load(unsigned char* p) {
  asm volatile("mov x9, %0\n\tldr x10, [x9]" : : "r"(p) : "x9", "x10", "memory");
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
  auto* p = new unsigned char[kBytes];
  if (no_view) {
    setrlimit(RLIMIT_NOFILE, &files);
  }
  int status = 0;
  if (std::strcmp(mode, "forms") == 0) {
    forms(p);
  } else if (no_view) {
    asm volatile("str %x1, [%0]" : : "r"(p), "r"(0x1111111111111111UL) : "memory");
    across_pages(p);
  } else if (std::strcmp(mode, "undecodable-store") == 0) {
    undecodable_store(p);
  } else if (std::strcmp(mode, "load") == 0) {
    load(p);
  } else {
    status = 2;
  }
  delete[] p;
  omp_get_wtime();  // closes it
  return g_failures != 0 ? 1 : status;
}
