// Two measures keep the optimiser from changing what is timed. The fixed
// inputs are read from volatile objects, so the once-per-test remainder is
// a library call made at run time, inside the window, in every run, and not
// folded at build time. The arrays, which nothing reads, are written through
// pointers to volatile, so the loop stays one store per execution at the
// element's own width, in order: no dropped loop, no block fill, no vector or
// merged stores, and the allocation stays real. Neither adds an instruction
// to the loop.
#include "bench_fixed/workloads.h"

#include <cmath>

#include "harness/harness.h"

namespace bench_fixed {
namespace {

volatile const double kIntegerInput = 2147483647.0;  // 2^31 - 1
volatile const long double kFloatInput = 2147483647.0L;
volatile const float kDnaInput = 2147483648.0F;  // the float nearest 2^31 - 1
constexpr float kDnaDivisor = 127.0F;
constexpr float kDnaOffset = 67.0F;  // 'C'

}  // namespace

using harness::kExecutions;

void integer_workload() {
  volatile harness::IntegerElement* const a = new harness::IntegerElement[kExecutions];
  const auto v = static_cast<harness::IntegerElement>(
      harness::kIntegerOffset - std::fmod(kIntegerInput, harness::kIntegerDivisor));
  for (std::int64_t i = 0; i < kExecutions; ++i) {
    a[i] = v;
  }
  delete[] a;
}

void float_workload() {
  volatile harness::FloatElement* const a = new harness::FloatElement[kExecutions];
  const long double w = harness::kFloatBase - fmodl(kFloatInput, harness::kFloatDivisor);
  for (std::int64_t i = 0; i < kExecutions; ++i) {
    a[i] = w;  // x86-64: an x87 store of 10 bytes; AArch64: 16
  }
  delete[] a;
}

void dna_workload() {
  volatile harness::DnaElement* const d = new harness::DnaElement[kExecutions];
  // Worked out in extended precision from the single-precision operands.
  const long double c = static_cast<long double>(kDnaOffset) -
                        fmodl(static_cast<long double>(kDnaInput), kDnaDivisor);
  const auto v = static_cast<harness::DnaElement>(static_cast<std::int64_t>(c));
  for (std::int64_t i = 0; i < kExecutions; ++i) {
    d[i] = v;
  }
  delete[] d;
}

}  // namespace bench_fixed
