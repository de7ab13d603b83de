// The counting probe on the pair and on a stand-in of its own, and
// bench_compare --counters end to end.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support.h"

namespace {

const std::vector<std::string> kSoftware = {"task_clock_s", "page_faults",      "minor_faults",
                                            "major_faults", "context_switches", "cpu_migrations"};
const std::vector<std::string> kHardware = {"cycles",        "instructions",     "branches",
                                            "branch_misses", "cache_references", "cache_misses"};

struct Counted {
  support::RunResult result;
  std::map<std::string, std::string> report;
};

Counted run_counted(const std::string& program, std::vector<std::string> args = {}) {
  support::TempDir dir;
  support::RunOptions options{dir.path};
  options.args = std::move(args);
  options.env = {"LD_PRELOAD=" + support::preloadable(COUNTERS_LIB),
                 "PROBE_REPORT=" + dir.file("counters.txt")};
  Counted run;
  run.result = support::run(program, options);
  run.report = support::read_report(dir.file("counters.txt"));
  return run;
}

// Every event is either counted in each window or named with why it is not.
void expect_every_event_accounted(Counted& run) {
  for (const auto* events : {&kSoftware, &kHardware}) {
    for (const std::string& e : *events) {
      const std::string why = run.report["unavailable." + e];
      for (int k = 1; k <= 3; ++k) {
        const bool counted = run.report.count("w" + std::to_string(k) + "." + e) != 0;
        EXPECT_NE(counted, !why.empty()) << e << " in window " << k << ": " << why;
      }
    }
  }
}

TEST(CountingProbe, EachWindowOfBenchFixedFaultsOnceOnEveryPageOfItsArray) {
  Counted run = run_counted(BENCH_FIXED);
  ASSERT_EQ(run.result.status, 0) << run.result.err;
  ASSERT_EQ(run.report["windows"], "3");
  const long bytes[3] = {8000000, 16000000, 2000000};
  for (int k = 1; k <= 3; ++k) {
    const long pages = (bytes[k - 1] + 4095) / 4096;
    const long faults = std::stol(run.report["w" + std::to_string(k) + ".page_faults"]);
    EXPECT_GE(faults, pages - 16) << "window " << k;
    EXPECT_LE(faults, 2 * pages) << "window " << k;
  }
  expect_every_event_accounted(run);
}

TEST(CountingProbe, EventsThatCannotBeOpenedAreNamedAndTheRestStillCount) {
  Counted run = run_counted(PROBE_WINDOWS, {"plain"});
  ASSERT_EQ(run.result.status, 0) << run.result.err;
  for (const std::string& e : kSoftware) {
    EXPECT_EQ(run.report.count("unavailable." + e), 0U) << run.report["unavailable." + e];
  }
  expect_every_event_accounted(run);
}

TEST(CountingProbe, ASleepInsideAWindowCountsAContextSwitch) {
  Counted run = run_counted(PROBE_WINDOWS, {"sleep"});
  ASSERT_EQ(run.result.status, 0) << run.result.err;
  ASSERT_EQ(run.report.count("w2.context_switches"), 1U);
  EXPECT_GE(std::stol(run.report["w2.context_switches"]), 1);
}

TEST(CountingProbe, AWindowNeverClosedIsNotReported) {
  Counted run = run_counted(PROBE_WINDOWS, {"one-window"});
  ASSERT_EQ(run.result.status, 0) << run.result.err;
  EXPECT_EQ(run.report["windows"], "1");
  EXPECT_EQ(run.report.count("w2.page_faults"), 0U);
}

support::RunResult compare(const std::vector<std::string>& args, const support::TempDir& dir) {
  support::RunOptions options{dir.path};
  options.args = {"--quiet", "--counters", "--probe", PROBE_LIB};
  options.args.insert(options.args.end(), args.begin(), args.end());
  return support::run(BENCH_COMPARE, options);
}

TEST(CountedComparison, EachRoundCarriesEveryWindowsCounts) {
  support::TempDir dir;
  const support::RunResult result =
      compare({"--rounds", "2", "--warmup", "0", "--random", BENCH_RANDOM, "--fixed", BENCH_FIXED,
               "--json", dir.file("c.json")},
              dir);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("page faults"), std::string::npos) << result.out;
  // The counts' table fits a terminal 100 columns wide, as every report does.
  for (const std::string& line : support::lines_wider_than(result.out, 100)) ADD_FAILURE() << line;
  const auto json = nlohmann::json::parse(support::read_file(dir.file("c.json")));
  ASSERT_EQ(json["rounds"].size(), 2U);
  for (const auto& round : json["rounds"]) {
    for (const char* side : {"random", "fixed"}) {
      const auto& windows = round["counters"][side];
      ASSERT_EQ(windows.size(), 3U) << side;
      for (const auto& w : windows) {
        EXPECT_EQ(w.size(), kSoftware.size() + kHardware.size());
        EXPECT_GT(w["page_faults"].get<double>(), 400) << side;
        EXPECT_GT(w["task_clock_s"].get<double>(), 0) << side;
      }
    }
  }
}

// With several builds every build's windows are counted, and --verify proves
// each build's pair in turn.
TEST(CountedComparison, EveryBuildsWindowsAreCountedAndEachBuildIsProved) {
  support::TempDir dir;
  const std::string tree = BUILD_TREE;
  const support::RunResult counted =
      compare({"--rounds", "2", "--warmup", "0", "--build", "a=" + tree, "--build", "b=" + tree,
               "--json", dir.file("c.json")},
              dir);
  ASSERT_EQ(counted.status, 0) << counted.err;
  EXPECT_NE(counted.out.find("Counts of b:"), std::string::npos) << counted.out;
  const auto json = nlohmann::json::parse(support::read_file(dir.file("c.json")));
  ASSERT_EQ(json["rounds"].size(), 2U);
  for (const auto& round : json["rounds"]) {
    for (const char* build : {"a", "b"}) {
      const auto& windows = round["builds"][build]["counters"]["fixed"];
      ASSERT_EQ(windows.size(), 3U) << build;
      EXPECT_GT(windows[0]["page_faults"].get<double>(), 400) << build;
    }
  }

  // Proving a real pair takes a minute; programs that read no clock are
  // refused at once, which is enough to show each build proved in turn.
  support::RunOptions options{dir.path};
  options.args = {
      "--verify", "--build", "a=/bin/true,/bin/true", "--build", "b=/bin/true,/bin/true", "--probe",
      PROBE_LIB,  "--json",  dir.file("v.json")};
  const support::RunResult proved = support::run(BENCH_COMPARE, options);
  EXPECT_EQ(proved.status, 1) << proved.out << proved.err;
  const std::size_t a = proved.out.find("Build a:\n");
  const std::size_t b = proved.out.find("Build b:\n");
  ASSERT_NE(b, std::string::npos) << proved.out;
  EXPECT_LT(a, b) << proved.out;
  EXPECT_NE(proved.out.find("verdict: not verified", b), std::string::npos) << proved.out;
  const auto findings = nlohmann::json::parse(support::read_file(dir.file("v.json")));
  EXPECT_EQ(findings["verified"], false);
  ASSERT_EQ(findings["builds"].size(), 2U);
  EXPECT_EQ(findings["builds"][1]["label"], "b");
  EXPECT_EQ(findings["builds"][1]["findings"]["verified"], false);
}

TEST(CountedComparison, AProgramTheProbeCannotEnterIsRefusedBeforeTheFirstRound) {
  const std::map<std::string, std::string> cases = {
      {STATIC_PROGRAM, "statically linked"},
      {"/bin/true", "does not take omp_get_wtime from a shared library"}};
  for (const auto& [program, why] : cases) {
    support::TempDir dir;
    const support::RunResult result =
        compare({"--random", program, "--fixed", BENCH_FIXED, "--json", dir.file("c.json")}, dir);
    EXPECT_EQ(result.status, 1) << program;
    EXPECT_NE(result.err.find(why), std::string::npos) << result.err;
    EXPECT_EQ(support::lines_of(result.err).size(), 1U) << result.err;
    EXPECT_EQ(result.out, "") << program;
  }
}

}  // namespace
