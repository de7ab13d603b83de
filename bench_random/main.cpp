// bench_random: the three tests fed with a fresh pseudo-random draw for every
// execution. Arguments are ignored.
#include <cstdlib>
#include <ctime>

#include "bench_random/workloads.h"
#include "harness/harness.h"

namespace {

const harness::ProgramTexts kTexts = {
    "bench_random",
    "Quorvantic Benchmark Standard Complex for x86_32bit system 2006.03.13",
    "Quorvantic Benchmark Standard Complex for x86_32bit system",
    "results_complex_32.txt",
    "References: tavrel_complex_32_readme.htm",
};

}  // namespace

int main() {
  harness::Report report;
  harness::start(report, kTexts);
  // Seeded after the results file is open and before the first console line.
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  harness::banner(report);
  harness::timed_test(report, harness::kIntegerTest, bench_random::integer_workload);
  harness::timed_test(report, harness::kFloatTest, bench_random::float_workload);
  harness::timed_test(report, harness::kDnaTest, bench_random::dna_workload);
  harness::finish(report);
}
