// The three tests of bench_fixed: the inputs are fixed, so each execution is
// one store of a value worked out once before the loop.
#pragma once

namespace bench_fixed {

void integer_workload();
void float_workload();
void dna_workload();

}  // namespace bench_fixed
