// Proof at run time that each timing window holds exactly the measured work.
// The programs run under the preloaded probe (probe/probe.cpp), which records,
// per window, every draw, remainder call, allocation and release, and with
// PROBE_TRACE every access the program makes to the test array.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "programs.h"
#include "support.h"

namespace {

using Report = std::map<std::string, std::string>;

constexpr long kN = 1000000;

// The floating-point control at every clock reading: the x87 control word
// at extended precision, round to nearest, all exceptions masked; on AArch64
// FPCR at round to nearest with every exception's trap disabled.
// And the Float test's store: the 10 bytes of an x87 extended real, or a
// 16-byte binary128.
#if defined(__x86_64__)
constexpr const char* kFloatingPointControl = "0x137f";
constexpr const char* kFloatWidths = "10:1000000 ";
#else
constexpr const char* kFloatingPointControl = "0x0";
constexpr const char* kFloatWidths = "16:1000000 ";
#endif

std::string repeat(const std::string& unit, long times) {
  std::string out;
  out.reserve(unit.size() * static_cast<std::size_t>(times));
  for (long i = 0; i < times; ++i) {
    out += unit;
  }
  return out;
}

// Bytes in the first n lines of a document.
long bytes_of_lines(const std::string& text, int n) {
  std::size_t at = 0;
  for (int i = 0; i < n; ++i) {
    at = text.find('\n', at) + 1;
  }
  return static_cast<long>(at);
}

struct ProbedRun {
  support::RunResult result;
  Report report;
  std::string file;  // the results file
};

ProbedRun run_probed(const Program& program, const support::TempDir& dir,
                     std::vector<std::string> env) {
  support::RunOptions options{dir.path};
  options.env = {"LD_PRELOAD=" + support::preloadable(PROBE_LIB),
                 "PROBE_REPORT=" + dir.file("probe.txt"),
                 "PROBE_WATCH=" + program.texts->results_file};
  options.env.insert(options.env.end(), env.begin(), env.end());
  ProbedRun run;
  run.result = support::run(program.path, options);
  run.report = support::read_report(dir.file("probe.txt"));
  run.file = support::read_file(dir.file(program.texts->results_file));
  return run;
}

// Under emulation every trap costs the emulator tens of microseconds, so the
// emulated suite traces the Float window alone, whose store is the one that
// differs between the processors; the stage of tests/run-all that runs it
// proves every window of the same build with bench_compare --verify.
#if defined(BENCH_EMULATOR)
constexpr const char* kTraced = "2";
#else
constexpr const char* kTraced = "123";
#endif

std::vector<std::string> trace_settings() {
  return {"PROBE_TRACE=1", std::string("PROBE_TRACE_WINDOWS=") + kTraced};
}

// Checks a traced run: every window holds exactly the given sequence of
// events (less the stores, in a window not traced), one store per element in
// ascending order made by the program's own code, nothing read, and the
// given array contents at release; no draw, remainder or store happens
// outside the windows. The clock is read six
// times, the floating-point unit is set at every reading, the headings are
// out before each window opens and nothing is written inside it.
void expect_exact_work(const ProbedRun& run, const std::string (&events)[3],
                       const std::string (&contents)[3]) {
  ASSERT_EQ(run.result.status, 0) << run.result.err;
  const Report& r = run.report;
  const char* const bytes[] = {"8000000", "16000000", "2000000"};
  const char* const widths[] = {"8:1000000 ", kFloatWidths, "2:1000000 "};
  for (int k = 1; k <= 3; ++k) {
    const std::string w = "w" + std::to_string(k) + ".";
    const bool traced = std::string(kTraced).find(static_cast<char>('0' + k)) != std::string::npos;
    std::string listed = events[k - 1];
    if (!traced) {
      listed.erase(std::remove(listed.begin(), listed.end(), 'S'), listed.end());
    }
    EXPECT_EQ(r.at(w + "traced"), traced ? "1" : "0") << w;
    EXPECT_EQ(r.at(w + "bytes"), bytes[k - 1]) << w;
    EXPECT_EQ(r.at(w + "stores"), traced ? std::to_string(kN) : "0") << w;
    EXPECT_EQ(r.at(w + "widths"), traced ? widths[k - 1] : "") << w;
    EXPECT_EQ(r.at(w + "misplaced"), "0") << w;
    EXPECT_EQ(r.at(w + "foreign"), "0") << w;
    EXPECT_EQ(r.at(w + "reads"), "0") << w;
    EXPECT_TRUE(r.at(w + "events") == listed)
        << w << " events (" << r.at(w + "event_count")
        << "), starting: " << r.at(w + "events").substr(0, 40);
    EXPECT_EQ(r.at(w + "content"), contents[k - 1]) << w;
  }
  for (const char* kind : {"R", "F", "L", "S"}) {
    EXPECT_EQ(r.at("outside").find(kind), std::string::npos) << r.at("outside");
  }
  ASSERT_EQ(r.at("clocks"), "6");
  for (int c = 1; c <= 6; ++c) {
    const std::string clock = "clock" + std::to_string(c) + ".";
    const int test = (c + 1) / 2;
    EXPECT_EQ(r.at(clock + "cw"), kFloatingPointControl) << clock;
    EXPECT_EQ(r.at(clock + "stdout"), std::to_string(bytes_of_lines(run.result.out, 10 + 5 * test)))
        << clock;
    EXPECT_EQ(r.at(clock + "watched"), std::to_string(bytes_of_lines(run.file, 5 * test))) << clock;
  }
}

class RandomWork : public ::testing::Test {
 protected:
  const Program& program = kRandomProgram;
  support::TempDir dir;
};

TEST_F(RandomWork, EveryExecutionDrawsComputesAndStoresOnceInsideItsWindow) {
  const ProbedRun run = run_probed(program, dir, trace_settings());
  expect_exact_work(
      run,
      {"N" + repeat("RFS", kN) + "D", "N" + repeat("RLS", kN) + "D", "N" + repeat("SR", kN) + "D"},
      {"integer min=-5368676477 max=-5368676351 draw_mismatches=0", "float not_k=0 tail_touched=0",
       "dna min=65 max=65"});
  // Seeded once from the calendar time, with the results file open and
  // empty and nothing on the console yet.
  EXPECT_EQ(run.report.at("srand.calls"), "1");
  EXPECT_EQ(run.report.at("time.calls"), "1");
  EXPECT_EQ(run.report.at("srand.stdout"), "0");
  EXPECT_EQ(run.report.at("srand.watched"), "0");
}

TEST_F(RandomWork, EdgeDrawsStoreTheirExactValues) {
  // Draws of 0, 126, 127, 32765, 32767, RAND_MAX, ... in turn.
  const ProbedRun run = run_probed(program, dir, {"PROBE_DRAWS=edges"});
  ASSERT_EQ(run.result.status, 0) << run.result.err;
  EXPECT_EQ(run.report.at("w1.content"),
            "integer min=-5368676477 max=-5368676351 draw_mismatches=0");
  EXPECT_EQ(run.report.at("w2.content"), "float not_k=0 tail_touched=0");
}

TEST_F(RandomWork, TheSeedIsTheCalendarTimeInSeconds) {
  support::TempDir second, other;
  const ProbedRun a = run_probed(program, dir, {"PROBE_TIME=1165000000"});
  const ProbedRun b = run_probed(program, second, {"PROBE_TIME=1165000000"});
  const ProbedRun c = run_probed(program, other, {"PROBE_TIME=1165000001"});
  EXPECT_EQ(a.report.at("srand.seed"), "1165000000");
  for (const char* key : {"w1.draw_hash", "w2.draw_hash", "w3.draw_hash"}) {
    EXPECT_EQ(a.report.at(key), b.report.at(key)) << key;
    EXPECT_NE(a.report.at(key), c.report.at(key)) << key;
  }
}

TEST(FixedWork, EachWindowWorksOutItsValueOnceThenStoresOncePerExecution) {
  support::TempDir dir;
  const ProbedRun run = run_probed(kFixedProgram, dir, trace_settings());
  // One library remainder after the allocation, then the stores alone.
  expect_exact_work(
      run,
      {"NF" + repeat("S", kN) + "D", "NL" + repeat("S", kN) + "D", "NL" + repeat("S", kN) + "D"},
      {"integer min=-5368676358 max=-5368676358 draw_mismatches=-1", "float not_k=0 tail_touched=0",
       "dna min=59 max=59"});
  // No generator at all, so every run stores the same values.
  EXPECT_EQ(run.report.at("srand.calls"), "0");
  EXPECT_EQ(run.report.at("time.calls"), "0");
}

class ProbedFailures : public ::testing::TestWithParam<Program> {
 protected:
  support::TempDir dir;
};

TEST_P(ProbedFailures, AKillDuringTestThreeLeavesTheFileUpToItsHeading) {
  const ProbedRun run = run_probed(GetParam(), dir, {"PROBE_KILL_WINDOW=3"});
  EXPECT_EQ(run.result.status, 128 + 9);
  const std::vector<std::string> want = support::expected_file(*GetParam().texts);
  const std::vector<std::string> kept = support::lines_of(run.file);
  ASSERT_EQ(kept.size(), 15U);
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (want[i][0] != '@') {
      EXPECT_EQ(kept[i], want[i]) << "line " << i + 1;
    }
  }
}

TEST_P(ProbedFailures, AFailedAllocationIsNamedAndEndsTheRunWithStatusOne) {
  const ProbedRun run = run_probed(GetParam(), dir, {"PROBE_FAIL_WINDOW=2"});
  EXPECT_EQ(run.result.status, 1);
  EXPECT_EQ(run.result.err,
            GetParam().name + ": cannot allocate 16000000 bytes for test 2 <Float>\n");
  // Every line finished before the failure is kept, in both sinks.
  EXPECT_EQ(support::lines_of(run.file).size(), 10U);
  EXPECT_EQ(run.file.substr(run.file.size() - 32), "2. Numeric Simulation. <Float>\n\n");
  EXPECT_EQ(support::lines_of(run.result.out).size(), 20U);
}

INSTANTIATE_TEST_SUITE_P(Bench, ProbedFailures, BENCH_PROGRAMS, program_name);

}  // namespace
