// Nothing ever reads these arrays, so an optimiser may treat every store as
// dead and with it the allocation. Each array is therefore written through a
// pointer to volatile: every execution's store must then happen, once, at its
// own element, in order, at the element's own width (no merging, no vector or
// block stores), and the block it lands in must really be allocated. The
// volatile qualifier costs nothing: the store instruction is the same one.
#include "bench_random/workloads.h"

#include <cmath>
#include <cstdlib>

#include "harness/harness.h"

namespace bench_random {

using harness::kExecutions;

void integer_workload() {
  volatile harness::IntegerElement* const a = new harness::IntegerElement[kExecutions];
  for (std::int64_t i = 0; i < kExecutions; ++i) {
    const double m = std::fmod(static_cast<double>(std::rand()), harness::kIntegerDivisor);
    a[i] = static_cast<harness::IntegerElement>(harness::kIntegerOffset - m);
  }
  delete[] a;
}

void float_workload() {
  volatile harness::FloatElement* const a = new harness::FloatElement[kExecutions];
  for (std::int64_t i = 0; i < kExecutions; ++i) {
    const long double m = fmodl(static_cast<long double>(std::rand()), harness::kFloatDivisor);
    a[i] = harness::kFloatBase - m;  // x86-64: an x87 store of 10 bytes; AArch64: 16
  }
  delete[] a;
}

void dna_workload() {
  volatile harness::DnaElement* const d = new harness::DnaElement[kExecutions];
  for (std::int64_t i = 0; i < kExecutions; ++i) {
    d[i] = harness::kDnaBase;
    std::rand();  // drawn for its cost alone, after the store
  }
  delete[] d;
}

}  // namespace bench_random
