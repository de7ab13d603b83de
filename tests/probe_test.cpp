// The probe's tracing of store forms the benchmark programs do not make
// themselves, run on a small program of its own (probe/stores.cpp).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support.h"

namespace {

struct Traced {
  support::RunResult result;
  std::map<std::string, std::string> report;
};

Traced run_traced(const std::string& mode, std::vector<std::string> env = {}) {
  support::TempDir dir;
  support::RunOptions options{dir.path};
  options.args = {mode};
  options.env = {"LD_PRELOAD=" + support::preloadable(PROBE_LIB),
                 "PROBE_REPORT=" + dir.file("probe.txt"), "PROBE_TRACE=1"};
  options.env.insert(options.env.end(), env.begin(), env.end());
  Traced run;
  run.result = support::run(PROBE_STORES, options);
  run.report = support::read_report(dir.file("probe.txt"));
  return run;
}

TEST(ProbedStores, StringStoresLeaveTheRegistersAsTheProcessorWould) {
  for (const char* direct : {"PROBE_DIRECT=1", "PROBE_DIRECT=0"}) {
    Traced run = run_traced("string", {direct});
    EXPECT_EQ(run.result.status, 0) << direct << "\n" << run.result.out << run.result.err;
    EXPECT_EQ(run.report["w1.stores"], "2") << direct;
  }
}

TEST(ProbedStores, WithoutASecondViewTheSummaryIsNotCountedAsReads) {
  Traced run = run_traced("no-second-view");
  EXPECT_EQ(run.result.status, 0) << run.result.out << run.result.err;
  EXPECT_EQ(run.report["w1.stores"], "1");
  EXPECT_EQ(run.report["w1.widths"], "0:1 ");  // single-stepped: no view to store through
  EXPECT_EQ(run.report["w1.reads"], "0");
  // The instruction, up to 15 bytes of it: movq %rax, (%rdi) and what follows.
  const std::string code = run.report["w1.undecoded"];
  EXPECT_EQ(code.rfind("48 89 07 ", 0), 0U) << code;
  EXPECT_EQ(code.size(), 15U * 3 - 1) << code;
}

TEST(ProbedStores, AStepAcrossAPageBoundaryIsCountedOnceAndClosesBothPages) {
  Traced run = run_traced("across-pages", {"PROBE_EMULATE=0"});
  EXPECT_EQ(run.result.status, 0) << run.result.out << run.result.err;
  EXPECT_EQ(run.report["w1.stores"], "3");
  EXPECT_EQ(run.report["w1.widths"], "0:3 ");
  EXPECT_EQ(run.report["w1.repeated"], "0");
}

}  // namespace
