// What the kernel says of each run, against a stand-in whose use of the
// machine is known, and the warning about other work seen end to end.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "../support.h"
#include "compare/running/process.h"

namespace compare {
namespace {

const bool kKernelTellsWaits = std::filesystem::exists("/proc/self/schedstat");

Usage run_standin(const std::string& work) {
  RunRequest request;
  request.program = STANDIN;
  request.env = {"STANDIN_WORK=" + work};
  const RunOutcome run = run_in_scratch(request);
  EXPECT_EQ(run.end, RunOutcome::End::Exited) << run.error;
  return run.usage;
}

TEST(RunUsage, TheKernelsFiguresFitWhatTheProgramDid) {
  const Usage sleeper = run_standin("sleep 0.3");
  EXPECT_GE(sleeper.wall_s, 0.3);
  EXPECT_LT(sleeper.user_s + sleeper.system_s, 0.1);
  EXPECT_EQ(sleeper.runqueue_wait_s.has_value(), kKernelTellsWaits);

  const Usage toucher = run_standin("touch 4000");
  EXPECT_GE(toucher.minor_faults, 4000);
  EXPECT_GE(toucher.max_rss_kib, 4000 * sysconf(_SC_PAGESIZE) / 1024);

  // A fixed amount of work: all of it counted, and what of its wall time it
  // did not spend on the processor it spent mostly waiting for one.
  const Usage spinner = run_standin("spin 0.2");
  const double processor = spinner.user_s + spinner.system_s;
  EXPECT_GE(processor, 0.19);
  EXPECT_LE(processor, spinner.wall_s + 0.01);
  if (spinner.runqueue_wait_s) {
    EXPECT_GE(processor + *spinner.runqueue_wait_s, 0.5 * spinner.wall_s);
  }
  EXPECT_DOUBLE_EQ(*runqueue_wait("71787 57405000 2\n"), 0.057405);
  EXPECT_FALSE(runqueue_wait("71787").has_value());
}

TEST(RunUsage, ABusyLoopOnTheRunsCpuIsNamedAsTheCause) {
  if (!kKernelTellsWaits) GTEST_SKIP() << "the kernel does not tell run-queue waits";
  support::TempDir dir;
  for (const char* role : {"random", "fixed"}) {
    std::filesystem::create_symlink(STANDIN, dir.file(role));
  }
  // This process, the busy loop and every run share one processor, so each
  // run, doing a fixed amount of work, waits for it about as long as it works.
  cpu_set_t all;
  cpu_set_t one;
  ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
  CPU_ZERO(&one);
  for (int cpu = 0; CPU_COUNT(&one) == 0; ++cpu) {
    if (CPU_ISSET(cpu, &all)) CPU_SET(cpu, &one);
  }
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  const pid_t busy = fork();
  if (busy == 0) {
    // The volatile keeps the loop: an empty endless loop may be compiled away.
    for (volatile unsigned long spins = 0;; spins = spins + 1) {
    }
  }
  ASSERT_GT(busy, 0);
  support::RunOptions options{dir.path};
  options.args = {"--random", dir.file("random"),  "--fixed", dir.file("fixed"), "--rounds", "6",
                  "--json",   dir.file("out.json")};
  options.env = {"STANDIN_WORK=spin 0.05"};
  const support::RunResult result = support::run(BENCH_COMPARE, options);
  kill(busy, SIGKILL);
  waitpid(busy, nullptr, 0);
  sched_setaffinity(0, sizeof all, &all);

  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("\nwarning: Other work took the processor from "), std::string::npos)
      << result.out;
  const auto j = nlohmann::json::parse(support::read_file(dir.file("out.json")));
  ASSERT_EQ(j["rounds"].size(), 6U);
  ASSERT_EQ(j["warmup"].size(), 1U);  // counted apart
  for (const auto& round : j["rounds"]) {
    EXPECT_EQ(round["usage"]["fixed"].size(), 9U);
    EXPECT_GT(round["usage"]["random"]["runqueue_wait_s"].get<double>(), 0) << round;
  }
}

}  // namespace
}  // namespace compare
