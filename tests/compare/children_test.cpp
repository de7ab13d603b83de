// The programs bench_compare starts are contained, end to end on stand-ins:
// what they print is bounded, an ignored SIGCHLD loses no exit status, and
// gnuplot runs as the pair does: in a scratch directory of its own, by
// relative names, killed on Ctrl-C.
#include <signal.h>
#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "standins.h"

namespace {

using standins::json;
using standins::StandIns;
namespace fs = std::filesystem;

std::size_t lines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(Children, WhatARunPrintsIsBounded) {
  StandIns s;
  s.plan(4, "random", 3, "flood");  // 100 MB on standard output
  support::RunResult r = s.compare({"--json", s.file("out.json")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("random (random) failed in round 2: it printed more than 1 MiB"),
            std::string::npos)
      << r.err.substr(0, 300);
  EXPECT_EQ(lines(r.err), 1U);
  EXPECT_EQ(s.read_json("out.json")["rounds"].size(), 1U);
  // Held whole, the 100 MB would be bench_compare's largest resident set
  // (that of the biggest child this test waited for).
  rusage used{};
  ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &used), 0);
  EXPECT_LT(used.ru_maxrss, 50L * 1024) << "KiB";

  s.plan(4, "fixed", 2, "noisy");  // 20 MB on standard error, then status 3
  r = s.compare({});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(lines(r.err), 1U);
  const std::string said = "exited with status 3; the last 64 KiB of its standard error: ...eee";
  EXPECT_NE(r.err.find(said), std::string::npos) << r.err.substr(0, 300);
  EXPECT_GT(r.err.size(), 64U * 1024);
  EXPECT_LT(r.err.size(), 65U * 1024);
  EXPECT_TRUE(s.tmp_is_empty());
}

// A program's standard error is not always UTF-8: the message and the JSON
// export carry it replaced, and the run's export is still written.
TEST(Children, StandardErrorThatIsNotUtf8CostsNoExport) {
  StandIns s;
  s.plan(4, "fixed", 3, "latin1");
  const support::RunResult r = s.compare({"--json", s.file("out.json")});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("caf\\xe9 \\x9b"), std::string::npos) << r.err;
  const json j = s.read_json("out.json");
  EXPECT_EQ(j["rounds"].size(), 1U);
  EXPECT_NE(j["stopped"].get<std::string>().find("caf\xef\xbf\xbd"), std::string::npos)
      << j["stopped"];
}

// Some CI runners and scripting languages start programs with SIGCHLD
// ignored, which has the kernel reap children before their status is read.
TEST(Children, AnIgnoredSigchldLosesNoExitStatus) {
  StandIns s;
  s.plan(4, "random", 3, "late3");  // its whole document, then status 3
  const support::RunResult r =
      s.compare({"--json", s.file("out.json"), "--plot", s.file("chart.svg")},
                {"perl", "-e", "$SIG{CHLD} = 'IGNORE'; exec @ARGV or die"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("random (random) failed in round 2: it exited with status 3"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(lines(r.err), 1U) << r.err;
  EXPECT_EQ(s.read_json("out.json")["rounds"].size(), 1U);
  EXPECT_NE(support::read_file(s.file("chart.svg")).find("<svg"), std::string::npos);
  EXPECT_TRUE(s.tmp_is_empty());
}

// A TMPDIR holding a line break and a gnuplot command never reaches a
// script: gnuplot is given its files by names relative to its directory.
TEST(Children, GnuplotScriptsHoldNoPathFromTheEnvironment) {
  StandIns s;
  s.plan(2);
  const std::string tmp = s.file("t\nsystem 'touch ran'\n#");
  fs::create_directory(tmp);
  const support::RunResult r =
      s.compare({"--plot", s.file("chart.svg"), "--quiet"}, {}, {"TMPDIR=" + tmp});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(support::read_file(s.file("chart.svg")).find("<svg"), std::string::npos);
  EXPECT_FALSE(fs::exists(s.file("ran")));
  EXPECT_TRUE(fs::is_empty(tmp));
}

// Ctrl-C while gnuplot draws kills it as it kills a program of the pair: the
// comparison ends with 130, its exports written, nothing left behind.
TEST(Children, CtrlCWhileGnuplotDrawsEndsItAndKeepsWhatRan) {
  StandIns s;
  s.plan(2);
  const std::string gnuplot = s.file("gnuplot");
  support::write_file(gnuplot, "#!/bin/sh\necho \"$PWD $*\" > '" + s.file("drawing") +
                                   "'\nsleep 600 & echo $! > '" + s.file("sleeper") + "'\nwait\n");
  chmod(gnuplot.c_str(), 0755);
  const pid_t pid = s.start({"--rounds", "2", "--json", s.file("out.json"), "--plot",
                             s.file("chart.svg"), "--gnuplot", gnuplot});
  // Only a started drawing ends this wait; the deadline bounds a failure.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (s.state("sleeper").empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const std::string sleeper = s.state("sleeper");
  ASSERT_FALSE(sleeper.empty());
  EXPECT_EQ(s.state("drawing").rfind(s.tmp() + "/", 0), 0U) << s.state("drawing");
  EXPECT_NE(s.state("drawing").find(" drawing.gp\n"), std::string::npos) << s.state("drawing");
  kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
  EXPECT_EQ(s.read_json("out.json")["rounds"].size(), 2U);
  EXPECT_FALSE(fs::exists(s.file("chart.svg")));
  // SIGKILL is delivered asynchronously: the deadline only bounds a sleep
  // that was never killed.
  const std::string proc = "/proc/" + sleeper.substr(0, sleeper.size() - 1) + "/stat";
  std::string stat = support::read_file(proc);
  auto alive = [&] { return !stat.empty() && stat.find(") Z ") == std::string::npos; };
  while (alive() && std::chrono::steady_clock::now() < deadline + std::chrono::seconds(60)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stat = support::read_file(proc);
  }
  EXPECT_FALSE(alive()) << "gnuplot's child is still alive: " << stat;
  EXPECT_TRUE(s.tmp_is_empty());
}

// A TMPDIR that cannot hold a scratch directory is one line and status 1,
// never a run in another place.
TEST(Children, AScratchDirectoryThatCannotBeMadeIsAnError) {
  StandIns s;
  s.plan(2);
  const support::RunResult r = s.compare({"--rounds", "2"}, {}, {"TMPDIR=/nonexistent"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot make a temporary directory: No such file or directory"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(lines(r.err), 1U) << r.err;

  // --verify of builds keeps the findings of each in a scratch directory.
  const std::string build = s.path("random") + "," + s.path("fixed");
  support::RunOptions options{s.tmp()};
  options.args = {"--verify",   "--build", "a=" + build,    "--build",
                  "b=" + build, "--json",  s.file("v.json")};
  options.env = {"TMPDIR=/nonexistent"};
  const support::RunResult verify = support::run(BENCH_COMPARE, options);
  EXPECT_EQ(verify.err,
            "bench_compare: cannot make a temporary directory: No such file or directory\n");
  EXPECT_EQ(verify.status, 1);
}

}  // namespace
