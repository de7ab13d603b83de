// bench_fixed: the contrast to bench_random. The same three tests and report,
// with fixed inputs instead of draws. Arguments are ignored.
#include "bench_fixed/workloads.h"
#include "harness/harness.h"

namespace {

const harness::ProgramTexts kTexts = {
    "bench_fixed",
    "Quorvantic Benchmark Standard Complex Contrast for x86_32bit system 2006.03.13",
    "Quorvantic Benchmark Standard Complex Contrast for x86_32bit system",
    "results_complex_contrast_32.txt",
    "References: tavrel_complex_contrast_32_readme.htm",
};

}  // namespace

int main() {
  harness::Report report;
  harness::start(report, kTexts);
  harness::banner(report);
  harness::timed_test(report, harness::kIntegerTest, bench_fixed::integer_workload);
  harness::timed_test(report, harness::kFloatTest, bench_fixed::float_workload);
  harness::timed_test(report, harness::kDnaTest, bench_fixed::dna_workload);
  harness::finish(report);
}
