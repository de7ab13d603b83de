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

// The architecture this test (and bench_random beside it) is built for, and
// another one, with its ELF machine number, to patch a copy of it into.
#if defined(__x86_64__)
const char* const kOwn = "x86_64";
const char* const kOther = "aarch64";
constexpr unsigned kOtherMachine = 183;  // EM_AARCH64
#elif defined(__aarch64__)
const char* const kOwn = "aarch64";
const char* const kOther = "x86_64";
constexpr unsigned kOtherMachine = 62;  // EM_X86_64
#else
#error "the record test knows x86-64 and AArch64"
#endif

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
  for (const auto* text :
       {&record.cpu_model, &record.architecture, &record.logical_cpus, &record.kernel, &record.libc,
        &record.governor, &record.turbo, &record.aslr, &record.load_before}) {
    EXPECT_FALSE(*text);
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
    EXPECT_FALSE(*text);
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
  EXPECT_TRUE(record.logical_cpus);
  EXPECT_EQ(shown(record.kernel).rfind("Linux ", 0), 0U) << shown(record.kernel);
  EXPECT_EQ(shown(record.libc).rfind("glibc 2.", 0), 0U) << shown(record.libc);
  EXPECT_EQ(record.architecture, kOwn);

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
    // A truncated program's header is whole: that much it still says.
    EXPECT_EQ(shown(program_record(path).architecture),
              path == root_ + "/truncated" ? kOwn : "unknown")
        << path;
    EXPECT_EQ(program_record(path).path, path);
  }
}

// A copy of `from` at `to` whose ELF header names machine `machine`.
void copy_as_machine(const std::string& from, const std::string& to, unsigned machine) {
  const std::string part = to + ".part";
  fs::copy_file(from, part, fs::copy_options::overwrite_existing);
  std::fstream file(part, std::ios::binary | std::ios::in | std::ios::out);
  file.seekp(18);  // e_machine, little-endian on both architectures
  const char bytes[2] = {static_cast<char>(machine & 0xFFU), static_cast<char>(machine >> 8U)};
  file.write(bytes, 2);
  file.close();
  ASSERT_TRUE(file) << to;
  fs::rename(part, to);  // the launcher's target is never seen half written
}

TEST_F(FakeRoot, ArchitectureFromTheHeaderAndThroughALauncher) {
  const ProgramRecord own = program_record(BENCH_RANDOM);
  EXPECT_EQ(own.path, BENCH_RANDOM);
  EXPECT_EQ(own.architecture, kOwn);
  ASSERT_TRUE(own.compiler);

  const std::string other = root_ + "/other";
  copy_as_machine(BENCH_RANDOM, other, kOtherMachine);
  EXPECT_EQ(program_record(other).architecture, kOther);
  EXPECT_EQ(program_record(other).compiler, own.compiler);  // the header alone was changed
  copy_as_machine(BENCH_RANDOM, root_ + "/sparc", 2);       // a machine the record has no name for
  EXPECT_FALSE(program_record(root_ + "/sparc").architecture);

  // The launcher's own header says this machine; what it runs decides.
  fs::remove(LAUNCHED);
  const ProgramRecord missing = program_record(LAUNCHER);
  EXPECT_FALSE(missing.architecture);
  EXPECT_FALSE(missing.compiler);
  EXPECT_EQ(missing.path, LAUNCHER);
  copy_as_machine(other, LAUNCHED, kOtherMachine);
  EXPECT_EQ(program_record(LAUNCHER).architecture, kOther);
  EXPECT_EQ(program_record(LAUNCHER).compiler, own.compiler);
  // A target that is itself a launcher, of itself: read once, not followed
  // round the loop.
  copy_as_machine(LAUNCHER, LAUNCHED, kOtherMachine);
  EXPECT_EQ(program_record(LAUNCHER).architecture, kOther);
  EXPECT_TRUE(program_record(LAUNCHER).compiler);
  fs::remove(LAUNCHED);
}

TEST(Record, ArchitectureNamesAndPairsOfDifferentArchitectures) {
  for (const auto& [machine, name] :
       {std::pair{"x86_64", "x86_64"}, std::pair{"amd64", "x86_64"}, std::pair{"arm64", "aarch64"},
        std::pair{"i686", "i386"}, std::pair{"armv7l", "arm"}, std::pair{"riscv64", "riscv64"},
        std::pair{"", "unknown"}}) {
    EXPECT_EQ(architecture_name(machine), name) << machine;
  }

  const auto program = [](const std::string& path, const std::string& architecture) {
    ProgramRecord p;
    p.path = path;
    p.architecture = known_from(architecture);  // as the record reads "unknown"
    return p;
  };
  // Unknown agrees with everything: a script, or a format not read.
  EXPECT_EQ(architectures_differ({{"a", program("/a", "x86_64")},
                                  {"b", program("/b", "unknown")},
                                  {"c", program("/c", "x86_64")}}),
            "");
  EXPECT_EQ(architectures_differ({{"bench_random", program("/r", "unknown")},
                                  {"bench_fixed", program("/f", "aarch64")},
                                  {"bench_random of b", program("/b/r", "x86_64")}}),
            "bench_random of b (/b/r): its program architecture is x86_64 (bench_fixed (/f): "
            "aarch64); times from different architectures are not comparable");
}

}  // namespace
}  // namespace compare
