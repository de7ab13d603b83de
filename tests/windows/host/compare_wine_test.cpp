// bench_compare.exe end to end under Wine, on a cross-built stand-in whose
// times are planned (tests/windows/standin.cpp), so that every figure it
// derives is known in advance; then its failures and refusals. The real
// pair runs under it from the unpacked zip (package-check).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "support.h"

namespace {

using nlohmann::json;

// Wine's debugger, which a crash would start, is left out: it takes seconds.
const std::vector<std::string> kWineEnv = {"WINEPREFIX=" WINE_PREFIX, "WINEDEBUG=-all",
                                           "WINEDLLOVERRIDES=mscoree,mshtml=;winedbg.exe=d"};

// Round r's position a(r), a permutation of 0..19 without a trend: with
// random = R + 2u*a and fixed = F + u*a, the medians sit at a = 9.5 and the
// 95% sign-test interval of 20 rounds (k = 6) at a = 5 and 14.
int position(int round) { return (7 * round) % 20; }
constexpr double kUnit = 0.0001;
constexpr double kRandomBase[3] = {0.1, 0.05, 0.014};
constexpr double kFixedBase[3] = {0.005, 0.01, 0.001};

std::string times_line(bool random, int round) {
  std::ostringstream line;
  line.precision(17);
  for (int t = 0; t < 3; ++t) {
    const double a = position(round);
    line << (t ? " " : "") << (random ? kRandomBase[t] + 2 * kUnit * a : kFixedBase[t] + kUnit * a);
  }
  return line.str();
}

// Two copies of the stand-in and their plans, in a directory of `name`.
class WindowsCompare : public ::testing::Test {
 protected:
  void SetUp() override { make_standins(dir.path); }

  void make_standins(const std::string& where) {
    namespace fs = std::filesystem;
    fs::create_directories(where);
    for (const char* role : {"random", "fixed"}) {
      fs::copy_file(STANDIN_EXE, where + "/" + role + ".exe", fs::copy_options::overwrite_existing);
    }
    programs = where;
  }

  // Planned times for `rounds` counted rounds after a warm-up; `trouble` is
  // the fourth word of `role`'s run number `run` (1 = warm-up).
  void plan(int rounds, const std::string& role = "", int run = 0,
            const std::string& trouble = "") {
    for (const bool random : {true, false}) {
      const std::string name = random ? "random" : "fixed";
      std::string lines = std::string("9 9 9") + (name == role && run == 1 ? " " + trouble : "");
      lines += "\n";
      for (int r = 1; r <= rounds; ++r) {
        lines += times_line(random, r) + (name == role && r + 1 == run ? " " + trouble : "") + "\n";
      }
      support::write_file(dir.file(name + ".times"), lines);
    }
  }

  support::RunResult compare(std::vector<std::string> args) {
    support::RunOptions options(dir.path);
    options.prefix = {WINE_LOADER};
    options.env = kWineEnv;
    options.env.push_back("STANDIN_STATE=Z:" + dir.path);
    args.insert(args.begin(), {"--random", "Z:" + programs + "/random.exe", "--fixed",
                               "Z:" + programs + "/fixed.exe", "--quiet", "--warmup", "1"});
    options.args = args;
    return support::run(BENCH_COMPARE_EXE, options);
  }

  // Whether the process the stand-in recorded as its sleeper has ended.
  std::string sleeper_state() {
    support::RunOptions options(dir.path);
    options.prefix = {WINE_LOADER};
    options.env = kWineEnv;
    options.args = {"alive", support::read_file(dir.file("sleeper"))};
    return support::run(STANDIN_EXE, options).out;
  }

  support::TempDir dir;
  std::string programs;
};

TEST_F(WindowsCompare, PlannedTimesGiveExactMediansIntervalsAndExports) {
  plan(20);
  const auto r = compare({"--rounds", "20", "--seed", "1", "--json", "c.json", "--csv", "c.csv",
                          "--markdown", "c.md"});
  ASSERT_EQ(r.status, 0) << r.err;
  const json j = json::parse(support::read_file(dir.file("c.json")));
  ASSERT_EQ(j["rounds"].size(), 20U);
  for (int t = 0; t < 3; ++t) {
    const json& test = j["tests"][t];
    const double d = kRandomBase[t] - kFixedBase[t];
    EXPECT_NEAR(test["random"]["median"].get<double>(), kRandomBase[t] + 19 * kUnit, 1e-12);
    EXPECT_NEAR(test["fixed"]["median"].get<double>(), kFixedBase[t] + 9.5 * kUnit, 1e-12);
    EXPECT_NEAR(test["difference"]["median"].get<double>(), d + 9.5 * kUnit, 1e-12);
    EXPECT_NEAR(test["difference"]["low"].get<double>(), d + 5 * kUnit, 1e-12);
    EXPECT_NEAR(test["difference"]["high"].get<double>(), d + 14 * kUnit, 1e-12);
  }
  // Windows gives no switches or fault split, and Wine no honest times or
  // memory of another process: null, never a made-up zero.
  const json& usage = j["rounds"][0]["usage"]["random"];
  EXPECT_GT(usage["wall_s"].get<double>(), 0);
  for (const char* absent : {"user_s", "system_s", "involuntary_switches", "minor_faults",
                             "major_faults", "max_rss_kib", "runqueue_wait_s"}) {
    EXPECT_TRUE(usage[absent].is_null()) << absent;
  }
  EXPECT_NE(j["machine"]["kernel"].get<std::string>().find("Windows"), std::string::npos);
  EXPECT_NE(j["machine"]["kernel"].get<std::string>().find("(Wine "), std::string::npos);
  EXPECT_NE(j["programs"]["random"]["compiler"].get<std::string>().find("GCC: ("),
            std::string::npos);
  EXPECT_EQ(support::lines_of(support::read_file(dir.file("c.csv"))).size(), 1U + 20 * 2 * 3);
  EXPECT_NE(support::read_file(dir.file("c.md")).find("| Integer |"), std::string::npos);
  EXPECT_EQ(r.out.find("involuntary switches"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("waiting for a CPU"), std::string::npos) << r.out;
}

TEST_F(WindowsCompare, SessionsBaselineAndMerge) {
  plan(6);
  const auto first = compare(
      {"--rounds", "6", "--sessions", "2", "--pause", "0", "--json", "a.json", "--label", "then"});
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(json::parse(support::read_file(dir.file("a.json")))["sessions"].size(), 2U);
  const auto second = compare({"--rounds", "6", "--sessions", "2", "--pause", "0", "--json",
                               "b.json", "--label", "now", "--baseline", "a.json"});
  ASSERT_EQ(second.status, 0) << second.err;
  // The same planned times twice: no series changed.
  EXPECT_NE(second.out.find("no significant change"), std::string::npos) << second.out;
  EXPECT_EQ(second.out.find("faster"), std::string::npos) << second.out;

  // A Linux export among them is warned of.
  json linux_export = json::parse(support::read_file(dir.file("a.json")));
  linux_export["label"] = "linux";
  linux_export["machine"]["kernel"] = "Linux 6.1.0 x86_64";
  support::write_file(dir.file("l.json"), linux_export.dump());
  support::RunOptions options(dir.path);
  options.prefix = {WINE_LOADER};
  options.env = kWineEnv;
  options.args = {"--merge", "a.json", "b.json", "l.json", "--csv", "m.csv"};
  const auto merged = support::run(BENCH_COMPARE_EXE, options);
  ASSERT_EQ(merged.status, 0) << merged.err;
  EXPECT_NE(merged.out.find("now"), std::string::npos);
  EXPECT_NE(merged.out.find("linux: its system is Linux (the reference's Windows)"),
            std::string::npos)
      << merged.out;
  EXPECT_EQ(merged.out.find("now: its system is"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir.file("m.csv")));
}

TEST_F(WindowsCompare, FailedRunsAreNamedWithWhatWentWrong) {
  struct Case {
    std::string trouble, expected;
  };
  for (const Case& c : {Case{"exit3", "exited with status 3"},
                        Case{"exit3", "its standard error: stand-in trouble"},
                        Case{"exception", "exception 0xC0000005 (access violation)"},
                        Case{"short", "its results file holds 16"},
                        Case{"malformed", "gives no time for test 1"}}) {
    std::filesystem::remove(dir.file("fixed.count"));
    std::filesystem::remove(dir.file("random.count"));
    plan(6, "fixed", 3, c.trouble);
    const auto r = compare({"--rounds", "6", "--json", "f.json"});
    EXPECT_EQ(r.status, 1) << c.trouble;
    EXPECT_NE(r.err.find(c.expected), std::string::npos) << c.trouble << ": " << r.err;
    EXPECT_NE(r.err.find("fixed.exe (fixed) failed in round 2"), std::string::npos) << r.err;
    // What was completed is still exported.
    EXPECT_EQ(json::parse(support::read_file(dir.file("f.json")))["rounds"].size(), 1U)
        << c.trouble;
  }
}

// Some Wine versions hand a real crash to the parent as status 0, others as
// the exception: either way the run fails, for the exception or for the
// document it never wrote.
TEST_F(WindowsCompare, ARealCrashFailsTheRun) {
  plan(6, "fixed", 3, "crash");
  const auto r = compare({"--rounds", "6"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("fixed.exe (fixed) failed in round 2: it "), std::string::npos) << r.err;
  EXPECT_TRUE(r.err.find("exception 0xC0000005 (access violation)") != std::string::npos ||
              r.err.find("it wrote no results file") != std::string::npos)
      << r.err;
}

TEST_F(WindowsCompare, AHungRunIsKilledAtItsTimeoutWithWhatItStarted) {
  plan(2, "random", 2, "hang");
  const auto r = compare({"--rounds", "2", "--timeout", "5"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("ran longer than the timeout of 5 s and was killed"), std::string::npos)
      << r.err;
  EXPECT_EQ(sleeper_state(), "gone\r\n");
}

TEST_F(WindowsCompare, CtrlCEndsTheRunAndWritesWhatWasCompleted) {
  plan(2, "random", 2, "hang");
  const std::string sleeper = dir.file("sleeper");
  const pid_t pid = fork();
  if (pid == 0) {
    (void)!chdir(dir.path.c_str());
    for (const std::string& e : kWineEnv) putenv(const_cast<char*>(e.c_str()));
    const std::string state = "STANDIN_STATE=Z:" + dir.path;
    putenv(const_cast<char*>(state.c_str()));
    const std::string random = "Z:" + programs + "/random.exe";
    const std::string fixed = "Z:" + programs + "/fixed.exe";
    (void)!freopen("/dev/null", "r", stdin);
    (void)!freopen((dir.path + "/err").c_str(), "w", stderr);
    (void)!freopen((dir.path + "/out").c_str(), "w", stdout);
    execl(WINE_LOADER, WINE_LOADER, BENCH_COMPARE_EXE, "--random", random.c_str(), "--fixed",
          fixed.c_str(), "--rounds", "2", "--quiet", "--json", "i.json", nullptr);
    _exit(127);
  }
  // The hung run has started once its sleeper is recorded; only Ctrl-C ends
  // it. Should bench_compare end before that, the test fails at once.
  int status = 0;
  while (!std::filesystem::exists(sleeper) || support::read_file(sleeper).empty()) {
    ASSERT_EQ(waitpid(pid, &status, WNOHANG), 0)
        << "ended with wait status " << status << ": " << support::read_file(dir.file("err"));
    usleep(20000);
  }
  kill(pid, SIGINT);
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130) << support::read_file(dir.file("err"));
  EXPECT_NE(support::read_file(dir.file("err")).find("interrupted"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir.file("i.json")));
  EXPECT_EQ(sleeper_state(), "gone\r\n");
}

TEST_F(WindowsCompare, WhatWindowsCannotDoIsRefusedBeforeAnyRun) {
  plan(2);
  for (const char* option : {"--verify", "--counters"}) {
    const auto r = compare({option});
    EXPECT_EQ(r.status, 2) << option;
    EXPECT_EQ(support::lines_of(r.err).size(), 1U) << r.err;
    EXPECT_NE(r.err.find(std::string(option) + " is not available here"), std::string::npos);
    EXPECT_NE(r.err.find("Linux"), std::string::npos) << r.err;
  }
  for (const char* option : {"--plot", "--html"}) {
    const auto r = compare({option, "chart.out", "--gnuplot", "Z:/no/such/gnuplot.exe"});
    EXPECT_EQ(r.status, 1) << option;
    EXPECT_NE(r.err.find("gnuplot is not installed"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("order"))) << "a round ran";
  }
}

TEST_F(WindowsCompare, PathsOutsideAsciiWork) {
  const std::string where = dir.file("Zürich ü");
  make_standins(where);
  plan(2);
  const auto r = compare({"--rounds", "2", "--json", "Z:" + where + "/größe.json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const json j = json::parse(support::read_file(where + "/größe.json"));
  EXPECT_EQ(j["rounds"].size(), 2U);
  EXPECT_NE(j["programs"]["random"]["path"].get<std::string>().find("Zürich ü"), std::string::npos);
}

}  // namespace
