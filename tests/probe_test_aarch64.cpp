// The AArch64 probe's tracing of the store forms it carries out, and its
// refusal of the accesses it does not decode, on a small program of its own
// (probe/stores_aarch64.cpp).
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "support.h"

namespace {

struct Traced {
  support::RunResult result;
  std::map<std::string, std::string> report;
};

Traced run_traced(const std::string& mode) {
  support::TempDir dir;
  support::RunOptions options{dir.path};
  options.args = {mode};
  options.env = {"LD_PRELOAD=" + support::preloadable(PROBE_LIB),
                 "PROBE_REPORT=" + dir.file("probe.txt"), "PROBE_TRACE=1"};
  Traced run;
  run.result = support::run(PROBE_STORES, options);
  run.report = support::read_report(dir.file("probe.txt"));
  return run;
}

std::string repeat(const std::string& byte, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) {
    out += byte;
  }
  return out;
}

std::string counting_from(unsigned first, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) {
    char hex[3];
    (void)std::snprintf(hex, sizeof hex, "%02x", first + static_cast<unsigned>(i));
    out += hex;
  }
  return out;
}

TEST(ProbedStores, EveryFormIsCarriedOutWithItsValueWidthAndWriteback) {
  const Traced run = run_traced("forms");
  ASSERT_EQ(run.result.status, 0) << run.result.out << run.result.err;
  // The array's first 160 bytes, as the stores of the program leave them
  // (a5: the probe's canary, where no store reached).
  const std::string head =
      repeat("11", 8) + repeat("22", 8) + "33" + "4444" + "a5" + repeat("55", 4) + repeat("66", 8) +
      repeat("77", 8) + repeat("88", 4) + repeat("99", 4) + counting_from(0xA0, 16) +
      counting_from(0xB0, 16) + counting_from(0xC0, 16) + counting_from(0xD0, 8) +
      counting_from(0xE0, 4) + counting_from(0xF0, 2) + "5a" + "a5" + repeat("00", 8) +
      "0807060504030201" + "100f0e0d0c0b0a09" + "ee" + "a5" + "efbe" + repeat("a5", 20);
  EXPECT_EQ(run.report.at("w1.content"), "unexpected bytes=8192 head=" + head);
  // 17 stores in the first page and one across the boundary, counted once.
  EXPECT_EQ(run.report.at("w1.stores"), "18");
  EXPECT_EQ(run.report.at("w1.widths"), "1:3 2:3 4:2 8:5 16:4 32:1 ");
  EXPECT_EQ(run.report.at("w1.foreign"), "0");
  EXPECT_EQ(run.report.at("w1.reads"), "0");
}

TEST(ProbedStores, WithoutASecondViewTheStoreIsCarriedOutThroughItsOwnPages) {
  const Traced run = run_traced("no-second-view");
  ASSERT_EQ(run.result.status, 0) << run.result.out << run.result.err;
  EXPECT_EQ(run.report.at("w1.stores"), "2");
  EXPECT_EQ(run.report.at("w1.widths"), "8:1 16:1 ");
  EXPECT_EQ(run.report.at("w1.content"),
            "unexpected bytes=8192 head=" + repeat("11", 8) + repeat("a5", 152));
}

// An access the probe cannot carry out ends the run, naming the instruction:
// a count that left it out would be wrong.
TEST(ProbedStores, AnUndecodedAccessEndsTheRunNamingItsEncoding) {
  const std::pair<const char*, const char*> cases[] = {
      {"undecodable-store", "(encoding 0x4c007120)"},  // st1 {v0.16b}, [x9]
      {"load", "(encoding 0xf940012a)"},               // ldr x10, [x9]
  };
  for (const auto& [mode, encoding] : cases) {
    const Traced run = run_traced(mode);
    EXPECT_EQ(run.result.status, 70) << mode;
    EXPECT_NE(run.result.err.find(encoding), std::string::npos) << mode << ": " << run.result.err;
    EXPECT_EQ(run.result.err.rfind("bench_probe: the instruction at 0x", 0), 0U) << run.result.err;
    EXPECT_NE(run.result.err.find("is not a store the probe decodes"), std::string::npos)
        << run.result.err;
    EXPECT_TRUE(run.report.empty()) << mode << ": no record of a run that was not counted";
  }
}

}  // namespace
