// What the kernel says of each run, checked against stand-ins whose use of
// the machine is known, and the warning about other work seen end to end.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "../support.h"
#include "compare/process.h"

namespace compare {
namespace {

Usage run_standin(const std::string& work) {
  RunRequest request;
  request.program = STANDIN;
  request.env = {"STANDIN_WORK=" + work};
  const RunOutcome run = run_in_scratch(request);
  EXPECT_EQ(run.end, RunOutcome::End::Exited) << run.error;
  return run.usage;
}

bool kernel_tells_waits() { return std::filesystem::exists("/proc/self/schedstat"); }

TEST(RunUsage, TheKernelsFiguresFitWhatTheProgramDid) {
  // Sleeping takes wall time and no processor time.
  const Usage sleeper = run_standin("sleep:0.3");
  EXPECT_GE(sleeper.wall_s, 0.3);
  EXPECT_LT(sleeper.user_s + sleeper.system_s, 0.1);
  EXPECT_GE(sleeper.voluntary_switches, 1);
  EXPECT_EQ(sleeper.runqueue_wait_s.has_value(), kernel_tells_waits());

  // Every page written to is a fault of its own, and stays resident.
  constexpr int kPages = 4000;
  const auto page_kib = sysconf(_SC_PAGESIZE) / 1024;
  const Usage toucher = run_standin("touch:" + std::to_string(kPages));
  EXPECT_GE(toucher.minor_faults, kPages);
  EXPECT_GE(toucher.max_rss_kib, kPages * page_kib);

  // A fixed amount of processor work is all counted, and whatever of its wall
  // time it did not spend on the processor it spent waiting for one.
  const Usage spinner = run_standin("spin:0.2");
  const double processor = spinner.user_s + spinner.system_s;
  EXPECT_GE(processor, 0.19);
  EXPECT_LE(processor, spinner.wall_s + 0.01);
  if (spinner.runqueue_wait_s) {
    EXPECT_GE(processor + *spinner.runqueue_wait_s, 0.5 * spinner.wall_s);
    EXPECT_LE(*spinner.runqueue_wait_s, spinner.wall_s);
  }
}

TEST(RunUsage, ReadsTheRunQueueWaitFromTheSchedulersLine) {
  EXPECT_DOUBLE_EQ(*runqueue_wait("71787 57405000 2\n"), 0.057405);
  EXPECT_FALSE(runqueue_wait("").has_value());
  EXPECT_FALSE(runqueue_wait("71787").has_value());
  EXPECT_FALSE(runqueue_wait("a b c").has_value());
}

// Pins this process, and so whatever it starts, to one of its processors
// until the end of the scope.
class PinnedToOneCpu {
 public:
  PinnedToOneCpu() {
    sched_getaffinity(0, sizeof saved_, &saved_);
    int cpu = 0;
    while (cpu < CPU_SETSIZE && !CPU_ISSET(cpu, &saved_)) ++cpu;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    ok_ = sched_setaffinity(0, sizeof one, &one) == 0;
  }
  ~PinnedToOneCpu() { sched_setaffinity(0, sizeof saved_, &saved_); }
  PinnedToOneCpu(const PinnedToOneCpu&) = delete;
  PinnedToOneCpu& operator=(const PinnedToOneCpu&) = delete;
  bool ok() const { return ok_; }

 private:
  cpu_set_t saved_{};
  bool ok_ = false;
};

TEST(RunUsage, ABusyLoopOnTheRunsCpuIsNamedAsTheCause) {
  if (!kernel_tells_waits()) GTEST_SKIP() << "the kernel does not tell run-queue waits";
  support::TempDir dir;
  for (const char* role : {"random", "fixed"}) {
    std::filesystem::create_symlink(STANDIN, dir.file(role));
  }
  PinnedToOneCpu pinned;
  ASSERT_TRUE(pinned.ok());
  // The busy loop and every run share one processor, so each run, doing a
  // fixed amount of work, waits for it about as long as it works.
  const pid_t busy = fork();
  if (busy == 0) {
    // The volatile keeps the loop: an empty endless loop may be compiled away.
    for (volatile unsigned long spins = 0;; spins = spins + 1) {
    }
  }
  ASSERT_GT(busy, 0);
  support::RunOptions options{dir.path};
  options.args = {
      "--random", dir.file("random"), "--fixed", dir.file("fixed"), "--rounds",
      "6",        "--warmup",         "1",       "--json",          dir.file("out.json")};
  options.env = {"STANDIN_WORK=spin:0.05"};
  const support::RunResult result = support::run(BENCH_COMPARE, options);
  kill(busy, SIGKILL);
  waitpid(busy, nullptr, 0);

  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("warning: Other work took the processor from "), std::string::npos)
      << result.out;
  const auto j = nlohmann::json::parse(support::read_file(dir.file("out.json")));
  ASSERT_EQ(j["rounds"].size(), 6U);
  ASSERT_EQ(j["warmup"].size(), 1U);
  for (const auto& round : j["rounds"]) {
    for (const char* side : {"random", "fixed"}) {
      const auto& usage = round["usage"][side];
      EXPECT_EQ(usage.size(), 9U);
      EXPECT_GT(usage["runqueue_wait_s"].get<double>(), 0) << usage;
    }
  }
}

}  // namespace
}  // namespace compare
