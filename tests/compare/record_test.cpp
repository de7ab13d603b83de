#include "compare/record.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace compare {
namespace {

namespace fs = std::filesystem;

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
  void remove(const std::string& relative) const { fs::remove(fs::path(root_) / relative); }

  std::string root_;
};

const char* const kNoTurbo = "sys/devices/system/cpu/intel_pstate/no_turbo";
const char* const kBoost = "sys/devices/system/cpu/cpufreq/boost";
const char* const kAslr = "proc/sys/kernel/randomize_va_space";

std::string governor_file(int cpu) {
  return "sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/cpufreq/scaling_governor";
}

TEST_F(FakeRoot, EveryItemIsUnknownWhereNothingCanBeRead) {
  auto record = read_machine(root_);
  for (const auto* text : {&record.cpu_model, &record.logical_cpus, &record.kernel, &record.libc,
                           &record.governor, &record.turbo, &record.aslr, &record.load_before}) {
    EXPECT_EQ(*text, "unknown");
  }
  EXPECT_EQ(record.clock_tick, 0);  // only this machine's clock is measured

  // Present but empty or malformed reads as unknown too.
  write("proc/cpuinfo", "flags\t\t: fpu\n\n");
  write("proc/loadavg", "0.52 0.31\n");
  write("proc/sys/kernel/osrelease", "\n");
  write(governor_file(0), "");
  write(kNoTurbo, "maybe\n");
  record = read_machine(root_);
  for (const auto* text : {&record.cpu_model, &record.logical_cpus, &record.kernel,
                           &record.governor, &record.turbo, &record.load_before}) {
    EXPECT_EQ(*text, "unknown");
  }
}

TEST_F(FakeRoot, ReadsEachItemFromTheTree) {
  write("proc/cpuinfo",
        "processor\t: 0\nmodel name\t: Example CPU @ 2.20GHz\ncpu MHz\t\t: 2200.000\n\n"
        "processor\t: 1\nmodel name\t: Example CPU @ 2.20GHz\n\n"
        "processor\t: 2\nmodel name\t: Example CPU @ 2.20GHz\n\n");
  write("proc/sys/kernel/osrelease", "6.1.0-28-amd64\n");
  write("proc/loadavg", "0.52 0.31 0.20 1/123 4567\n");
  write(kAslr, "2\n");
  write(kNoTurbo, "0\n");
  for (int cpu = 0; cpu < 3; ++cpu) write(governor_file(cpu), "performance\n");

  const auto record = read_machine(root_ + "/");
  EXPECT_EQ(record.cpu_model, "Example CPU @ 2.20GHz");
  EXPECT_EQ(record.logical_cpus, "3");
  EXPECT_EQ(record.kernel, "Linux 6.1.0-28-amd64");  // no uname for a tree
  EXPECT_EQ(record.libc, "unknown");
  EXPECT_EQ(record.governor, "performance");
  EXPECT_EQ(record.turbo, "on");
  EXPECT_EQ(record.aslr, "2 (full)");
  EXPECT_EQ(record.load_before, "0.52 0.31 0.20");
  EXPECT_EQ(record.load_after, "unknown");
}

TEST_F(FakeRoot, GovernorsThatDifferAreListedOnceInProcessorOrder) {
  write(governor_file(0), "performance\n");
  write(governor_file(1), "powersave\n");
  write(governor_file(2), "ondemand\n");
  write(governor_file(3), "performance\n");
  write(governor_file(10), "schedutil\n");
  write("sys/devices/system/cpu/cpufreq/scaling_governor", "stray\n");
  EXPECT_EQ(read_machine(root_).governor, "performance, powersave, ondemand, schedutil");
}

TEST_F(FakeRoot, TurboAndAddressRandomisationMappings) {
  struct Case {
    const char* no_turbo;  // nullptr: absent
    const char* boost;
    const char* turbo;
  };
  for (const auto& c : {Case{"0", nullptr, "on"}, Case{"1", nullptr, "off"},
                        Case{nullptr, "1", "on"}, Case{nullptr, "0", "off"}, Case{"1", "1", "off"},
                        Case{"x", "1", "on"}, Case{nullptr, "2", "unknown"}}) {
    remove(kNoTurbo);
    remove(kBoost);
    if (c.no_turbo != nullptr) write(kNoTurbo, std::string(c.no_turbo) + "\n");
    if (c.boost != nullptr) write(kBoost, std::string(c.boost) + "\n");
    EXPECT_EQ(read_machine(root_).turbo, c.turbo)
        << "no_turbo " << (c.no_turbo ? c.no_turbo : "absent") << ", boost "
        << (c.boost ? c.boost : "absent");
  }

  for (const auto& [value, shown] :
       {std::pair{"0", "0 (off)"}, std::pair{"1", "1 (partial)"}, std::pair{"2", "2 (full)"}}) {
    write(kAslr, std::string(value) + "\n");
    EXPECT_EQ(read_machine(root_).aslr, shown);
  }
}

TEST_F(FakeRoot, AfterTheRunReadsLoadGovernorAndTurboAgain) {
  write("proc/loadavg", "0.10 0.20 0.30 1/100 42\n");
  write(governor_file(0), "powersave\n");
  write(kBoost, "1\n");
  auto record = read_machine(root_);

  write("proc/loadavg", "1.50 0.80 0.40 3/101 99\n");
  write(governor_file(0), "performance\n");
  write(kBoost, "0\n");
  read_machine_after(record, root_);
  EXPECT_EQ(record.load_before, "0.10 0.20 0.30");
  EXPECT_EQ(record.load_after, "1.50 0.80 0.40");
  EXPECT_EQ(record.governor, "powersave");
  EXPECT_EQ(record.governor_after, "performance");
  EXPECT_EQ(record.turbo, "on");
  EXPECT_EQ(record.turbo_after, "off");

  fs::remove_all(root_);
  read_machine_after(record, root_);
  EXPECT_EQ(record.load_after, "unknown");
  EXPECT_EQ(record.governor_after, "unknown");
  EXPECT_EQ(record.turbo_after, "unknown");
}

TEST(Record, ThisMachineFillsWhatOnlyTheProcessCanTell) {
  const auto record = read_machine();
  EXPECT_NE(record.logical_cpus, "unknown");
  EXPECT_EQ(record.kernel.rfind("Linux ", 0), 0U) << record.kernel;
  EXPECT_EQ(record.libc.rfind("glibc 2.", 0), 0U) << record.libc;
  EXPECT_GT(record.clock_tick, 0);
}

TEST(Record, ClockTickIsFineAndQuick) {
  const auto start = std::chrono::steady_clock::now();
  const double tick = clock_tick();
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GT(tick, 0);
  EXPECT_LT(tick, 1e-3);
  EXPECT_LT(took, std::chrono::milliseconds(10));
}

TEST_F(FakeRoot, CompilerIsReadFromTheProgramAndUnknownForAnythingElse) {
  const std::string compiler = compiler_of(BENCH_RANDOM);
  const std::string id = COMPILER_ID;
  EXPECT_NE(compiler.find(id == "Clang" ? "clang" : "GCC:"), std::string::npos) << compiler;
  std::vector<std::string> parts;
  for (size_t begin = 0, end = 0; end != std::string::npos; begin = end + 2) {
    end = compiler.find("; ", begin);
    parts.push_back(compiler.substr(begin, end - begin));
  }
  for (size_t i = 0; i < parts.size(); ++i) {
    EXPECT_FALSE(parts[i].empty()) << compiler;
    EXPECT_EQ(std::count(parts.begin(), parts.end(), parts[i]), 1) << compiler;
  }

  // A script, a truncated program, a directory, a named pipe (which must not
  // block) and a missing file.
  write("script.sh", "#!/bin/sh\necho GCC: not a compiler\n");
  std::ifstream program(BENCH_RANDOM, std::ios::binary);
  std::string head(200, '\0');
  program.read(head.data(), static_cast<std::streamsize>(head.size()));
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
