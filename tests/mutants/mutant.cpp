// Programs that break the measured work the ways optimising builds do, for
// the tests of bench_compare --verify. Each is one program of the pair with
// one workload replaced by the code such a build leaves (MUTANT_WORKLOAD in
// window MUTANT_WINDOW); its other windows are the real ones.
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "bench_fixed/workloads.h"
#include "bench_random/workloads.h"
#include "harness/harness.h"

namespace mutants {

using harness::kExecutions;
volatile const double kIntegerInput = 2147483647.0;

harness::IntegerElement fixed_integer_value() {
  return static_cast<harness::IntegerElement>(harness::kIntegerOffset -
                                              std::fmod(kIntegerInput, harness::kIntegerDivisor));
}

// Nothing reads the array, so the stores are dropped; the allocation stays.
void dead_stores() {
  auto* const a = new harness::IntegerElement[kExecutions];
  const harness::IntegerElement v = fixed_integer_value();
  asm volatile("" : : "r"(v), "r"(a));
  delete[] a;
}

#if defined(__x86_64__)
// The loop of equal stores becomes one string store over the whole array.
void block_fill() {
  auto* const a = new harness::IntegerElement[kExecutions];
  const harness::IntegerElement v = fixed_integer_value();
  void* to = a;
  std::size_t count = kExecutions;
  asm volatile("rep stosq" : "+D"(to), "+c"(count) : "a"(v) : "memory");
  delete[] a;
}
#else
// The loop of equal stores becomes a block fill, as a memset makes it: 32
// bytes (four elements) at a time from a pair of vector registers.
void block_fill() {
  auto* const a = new harness::IntegerElement[kExecutions];
  const harness::IntegerElement v = fixed_integer_value();
  auto* at = a;
  for (std::int64_t i = 0; i < kExecutions / 4; ++i) {
    asm volatile("dup v0.2d, %x1\n\tstp q0, q0, [%0], #32" : "+r"(at) : "r"(v) : "v0", "memory");
  }
  delete[] a;
}

// Two equal stores merged into one: a pair of general registers, 16 bytes.
void merged_stores() {
  auto* const a = new harness::IntegerElement[kExecutions];
  const harness::IntegerElement v = fixed_integer_value();
  auto* at = a;
  for (std::int64_t i = 0; i < kExecutions / 2; ++i) {
    asm volatile("stp %x1, %x1, [%0], #16" : "+r"(at) : "r"(v) : "memory");
  }
  delete[] a;
}
#endif

// The remainder of two constants is worked out at build time.
void folded_remainder() {
  volatile harness::IntegerElement* const a = new harness::IntegerElement[kExecutions];
  const auto v = static_cast<harness::IntegerElement>(harness::kIntegerOffset - 7.0);
  for (std::int64_t i = 0; i < kExecutions; ++i) {
    a[i] = v;
  }
  delete[] a;
}

// The array is allocated once, before any window, and never released.
volatile harness::IntegerElement* const g_hoisted = new harness::IntegerElement[kExecutions];

void hoisted_allocation() {
  const harness::IntegerElement v = fixed_integer_value();
  for (std::int64_t i = 0; i < kExecutions; ++i) {
    g_hoisted[i] = v;
  }
}

// The loop vectorised: eight elements per 16-byte store, in the vector
// extensions' encoding where the processor has them.
void vector_stores() {
  volatile const float input = 2147483648.0F;
  auto* const d = new harness::DnaElement[kExecutions];
  const auto v = static_cast<harness::DnaElement>(
      static_cast<std::int64_t>(67.0L - fmodl(static_cast<long double>(input), 127.0L)));
  struct Block {
    harness::DnaElement e[8];
  } block{};
  for (harness::DnaElement& e : block.e) {
    e = v;
  }
  auto* const blocks = reinterpret_cast<Block*>(d);
#if defined(__x86_64__)
  const bool avx = __builtin_cpu_supports("avx") != 0;
  for (std::int64_t i = 0; i < kExecutions / 8; ++i) {
    if (avx) {
      asm volatile("vmovdqu %1, %%xmm0\n\tvmovdqu %%xmm0, %0"
                   : "=m"(blocks[i])
                   : "m"(block)
                   : "xmm0");
    } else {
      asm volatile("movdqu %1, %%xmm0\n\tmovdqu %%xmm0, %0"
                   : "=m"(blocks[i])
                   : "m"(block)
                   : "xmm0");
    }
  }
#else
  for (std::int64_t i = 0; i < kExecutions / 8; ++i) {
    asm volatile("ldr q0, %1\n\tstr q0, %0" : "=m"(blocks[i]) : "m"(block) : "v0");
  }
#endif
  delete[] d;
}

#if defined(__x86_64__)
// fmodl expanded inline into the x87 partial-remainder loop.
long double inline_fmodl(long double x, long double y) {
  long double r = 0;
  asm("1: fprem\n\tfnstsw %%ax\n\ttestw $0x400, %%ax\n\tjnz 1b"
      : "=t"(r)
      : "0"(x), "u"(y)
      : "ax", "cc");
  return r;
}
#else
// fmodl of a draw worked out inline, in integers: the draws are whole.
long double inline_fmodl(long double x, long double y) {
  const auto whole = static_cast<std::int64_t>(x);
  const auto by = static_cast<std::int64_t>(y);
  return static_cast<long double>(whole % by);
}
#endif

void inline_remainder() {
  volatile harness::FloatElement* const a = new harness::FloatElement[kExecutions];
  for (std::int64_t i = 0; i < kExecutions; ++i) {
    a[i] = harness::kFloatBase - inline_fmodl(std::rand(), harness::kFloatDivisor);
  }
  delete[] a;
}

// An unrolled loop whose tail stores the last element once more.
void doubled_store() {
  volatile harness::DnaElement* const d = new harness::DnaElement[kExecutions];
  for (std::int64_t i = 0; i < kExecutions; ++i) {
    d[i] = harness::kDnaBase;
    std::rand();
  }
  d[kExecutions - 1] = harness::kDnaBase;
  delete[] d;
}

}  // namespace mutants

namespace {

#if MUTANT_OF_RANDOM
namespace side = bench_random;
const harness::ProgramTexts kTexts = {
    "mutant",
    "Quorvantic Benchmark Standard Complex for x86_32bit system 2006.03.13",
    "Quorvantic Benchmark Standard Complex for x86_32bit system",
    "results_complex_32.txt",
    "References: tavrel_complex_32_readme.htm",
};
#else
namespace side = bench_fixed;
const harness::ProgramTexts kTexts = {
    "mutant",
    "Quorvantic Benchmark Standard Complex Contrast for x86_32bit system 2006.03.13",
    "Quorvantic Benchmark Standard Complex Contrast for x86_32bit system",
    "results_complex_contrast_32.txt",
    "References: tavrel_complex_contrast_32_readme.htm",
};
#endif

}  // namespace

int main() {
  harness::Report report;
  harness::start(report, kTexts);
#if MUTANT_OF_RANDOM
  std::srand(static_cast<unsigned>(std::time(nullptr)));
#endif
  harness::banner(report);
  harness::Workload workloads[] = {side::integer_workload, side::float_workload,
                                   side::dna_workload};
  workloads[MUTANT_WINDOW - 1] = mutants::MUTANT_WORKLOAD;
  harness::timed_test(report, harness::kIntegerTest, workloads[0]);
  harness::timed_test(report, harness::kFloatTest, workloads[1]);
  harness::timed_test(report, harness::kDnaTest, workloads[2]);
  harness::finish(report);
}
