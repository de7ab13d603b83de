// The probes enter the pair whatever their path: the dynamic linker splits
// LD_PRELOAD at spaces and colons, and a relative TMPDIR must not move the
// record a probe writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support.h"

namespace {

namespace fs = std::filesystem;

TEST(ProbePaths, ASpaceAColonAndARelativeTmpdirStopNoProbe) {
  support::TempDir dir;
  const std::string libs = dir.file("a b:c");
  fs::create_directory(libs);
  fs::create_directory(dir.file("tmp"));
  for (const char* lib : {PROBE_LIB, COUNTERS_LIB}) {
    fs::copy_file(lib, libs + "/" + fs::path(lib).filename().string());
  }
  support::RunOptions options{dir.path};
  options.env = {"TMPDIR=tmp"};
  // The program does none of the pair's work: the probe, loaded, says so.
  options.args = {"--verify", "--probe",    libs + "/libbench_probe.so", "--random", PROBE_WINDOWS,
                  "--fixed",  PROBE_WINDOWS};
  const support::RunResult verified = support::run(BENCH_COMPARE, options);
  EXPECT_EQ(verified.status, 1);
  EXPECT_NE(verified.out.find("verdict: not verified: bench_random window 1 <Integer>: "),
            std::string::npos)
      << verified.out << verified.err;

  options.args = {"--quiet",  "--counters", "--probe",  libs + "/libbench_probe.so",
                  "--rounds", "1",          "--warmup", "0",
                  "--random", BENCH_RANDOM, "--fixed",  BENCH_FIXED};
  const support::RunResult counted = support::run(BENCH_COMPARE, options);
  EXPECT_EQ(counted.status, 0) << counted.err;
  EXPECT_NE(counted.out.find("page faults"), std::string::npos) << counted.out;
  EXPECT_TRUE(fs::is_empty(dir.file("tmp")));
}

}  // namespace
