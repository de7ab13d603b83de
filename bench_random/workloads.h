// The three tests of bench_random: one fresh pseudo-random draw per execution.
#pragma once

namespace bench_random {

void integer_workload();
void float_workload();
void dna_workload();

}  // namespace bench_random
