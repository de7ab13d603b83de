#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "compare/running/machine.h"

namespace compare {
namespace {

namespace fs = std::filesystem;

double thread_seconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

const char* const kNoTurbo = "sys/devices/system/cpu/intel_pstate/no_turbo";
const char* const kBoost = "sys/devices/system/cpu/cpufreq/boost";

std::string governor(int cpu) {
  return "sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/cpufreq/scaling_governor";
}

// A fake root laid out like /proc and /sys, removed after each test.
class FakeRoot : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "record_test.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }

  void write(const std::string& relative, const std::string& text) const {
    const fs::path path = fs::path(root_) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
  }

  std::string root_;
};

TEST_F(FakeRoot, UnknownWhereAbsentOrMalformed) {
  auto record = read_machine(root_);
  for (const auto* text : {&record.cpu_model, &record.logical_cpus, &record.kernel, &record.libc,
                           &record.governor, &record.turbo, &record.aslr, &record.load_before}) {
    EXPECT_EQ(*text, "unknown");
  }
  EXPECT_EQ(record.clock_tick, 0);  // only this machine's clock is measured

  write("proc/cpuinfo", "flags\t\t: fpu\n");
  write("proc/loadavg", "0.52 0.31\n");
  write("proc/sys/kernel/osrelease", "\n");
  write(governor(0), "");
  write(kNoTurbo, "2\n");
  record = read_machine(root_);
  for (const auto* text : {&record.cpu_model, &record.logical_cpus, &record.kernel,
                           &record.governor, &record.turbo, &record.load_before}) {
    EXPECT_EQ(*text, "unknown");
  }
}

TEST_F(FakeRoot, ReadsTheTreeBeforeAndAfter) {
  write("proc/cpuinfo",
        "processor\t: 0\nmodel name\t: Example CPU @ 2.20GHz\n\n"
        "processor\t: 1\nmodel name\t: Example CPU @ 2.20GHz\n\nprocessor\t: 2\n");
  write("proc/sys/kernel/osrelease", "6.1.0-28-amd64\n");
  write("proc/loadavg", "0.52 0.31 0.20 1/123 4567\n");
  write(kBoost, "1\n");
  // Distinct governors in processor order, cpu10 after cpu2; not the
  // shared cpufreq folder.
  const char* governors[] = {"performance", "powersave", "ondemand", "performance"};
  for (int cpu = 0; cpu < 4; ++cpu) write(governor(cpu), std::string(governors[cpu]) + "\n");
  write(governor(10), "schedutil\n");
  write("sys/devices/system/cpu/cpufreq/scaling_governor", "stray\n");

  auto record = read_machine(root_ + "/");
  EXPECT_EQ(record.cpu_model, "Example CPU @ 2.20GHz");
  EXPECT_EQ(record.logical_cpus, "3");
  EXPECT_EQ(record.kernel, "Linux 6.1.0-28-amd64");  // no uname for a tree
  EXPECT_EQ(record.governor, "performance, powersave, ondemand, schedutil");
  EXPECT_EQ(record.turbo, "on");
  EXPECT_EQ(record.load_before, "0.52 0.31 0.20");

  write("proc/loadavg", "1.50 0.80 0.40 3/101 99\n");
  fs::remove_all(fs::path(root_) / "sys/devices/system/cpu/cpu10");
  write(kNoTurbo, "1\n");  // intel_pstate's word comes before the boost file's
  read_machine_after(record, root_);
  EXPECT_EQ(record.load_after, "1.50 0.80 0.40");
  EXPECT_EQ(record.governor_after, "performance, powersave, ondemand");
  EXPECT_EQ(record.turbo_after, "off");
  EXPECT_EQ(record.load_before, "0.52 0.31 0.20");
  EXPECT_EQ(record.turbo, "on");
}

TEST_F(FakeRoot, TurboAndAddressRandomisationMappings) {
  write(kBoost, "0\n");
  EXPECT_EQ(read_machine(root_).turbo, "off");
  write(kNoTurbo, "0\n");
  EXPECT_EQ(read_machine(root_).turbo, "on");

  for (const auto& [value, shown] :
       {std::pair{"0", "0 (off)"}, std::pair{"1", "1 (partial)"}, std::pair{"2", "2 (full)"}}) {
    write("proc/sys/kernel/randomize_va_space", std::string(value) + "\n");
    EXPECT_EQ(read_machine(root_).aslr, shown);
  }
}

TEST(Record, ThisMachineAndItsClock) {
  const auto record = read_machine();
  EXPECT_NE(record.logical_cpus, "unknown");
  EXPECT_EQ(record.kernel.rfind("Linux ", 0), 0U) << record.kernel;
  EXPECT_EQ(record.libc.rfind("glibc 2.", 0), 0U) << record.libc;

  // The work of a call is timed by the thread's processor time, which does
  // not count the time the thread waited while other work ran. A call that
  // is descheduled between two readings takes that gap for a step, so the
  // tick is the smallest of three calls.
  double tick = 1;
  double most_work = 0;
  for (int call = 0; call < 3; ++call) {
    const double start = thread_seconds();
    tick = std::min(tick, clock_tick());
    most_work = std::max(most_work, thread_seconds() - start);
  }
  EXPECT_LT(most_work, 0.01);
  EXPECT_GT(tick, 0);
  EXPECT_LT(tick, 1e-3);
}

// A clock played from a list of readings, the last repeated.
std::vector<double> g_readings;
std::size_t g_next = 0;
double played_clock() {
  const double now = g_readings.at(std::min(g_next, g_readings.size() - 1));
  ++g_next;
  return now;
}

TEST(Record, ClockTickIsTheSmallestStepEvenWhenTheFirstWasPreempted) {
  // Descheduled for 5 ms between the first two readings, then steps of 1 us.
  g_readings = {0, 0.005, 0.005, 0.005001, 0.005002, 0.005003};
  g_next = 0;
  EXPECT_DOUBLE_EQ(clock_tick(played_clock), 0.005001 - 0.005);
  // A coarse clock of 1 ms steps: measured, and over in a few steps.
  g_readings = {0, 0.001, 0.002, 0.003, 0.004, 0.005, 0.006, 0.007};
  g_next = 0;
  EXPECT_DOUBLE_EQ(clock_tick(played_clock), 0.001);
  EXPECT_LE(g_next, 5U);
  // A clock that never steps gives 0 after its bounded readings.
  g_readings = {1};
  g_next = 0;
  EXPECT_EQ(clock_tick(played_clock), 0);
}

TEST_F(FakeRoot, CompilerOfTheProgramAndUnknownForAnythingElse) {
  const std::string id = COMPILER_ID;
  EXPECT_NE(compiler_of(BENCH_RANDOM).find(id == "Clang" ? "clang" : "GCC:"), std::string::npos)
      << compiler_of(BENCH_RANDOM);

  // A script, a truncated program, a directory, a named pipe (which must not
  // block) and a missing file.
  write("script.sh", "#!/bin/sh\necho GCC: not a compiler\n");
  std::string head(200, '\0');
  std::ifstream(BENCH_RANDOM, std::ios::binary).read(head.data(), 200);
  write("truncated", head);
  const std::string fifo = root_ + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const auto& path :
       {root_ + "/script.sh", root_ + "/truncated", root_, fifo, root_ + "/missing"}) {
    EXPECT_EQ(compiler_of(path), "unknown") << path;
  }
}

}  // namespace
}  // namespace compare
