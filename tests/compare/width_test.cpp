// The text report fits a terminal 100 columns wide: every report at the
// defaults, on stand-ins, with the long cells a real machine gives (compiler
// strings, kernels, processors) in the merge's exports.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "standin_exports.h"
#include "standins.h"

namespace {

using namespace standins;

constexpr std::size_t kWidth = 100;

void expect_fits(const support::RunResult& r, const std::string& what) {
  ASSERT_EQ(r.status, 0) << what << "\n" << r.err;
  ASSERT_FALSE(r.out.empty()) << what;
  for (const std::string& line : support::lines_wider_than(r.out, kWidth))
    ADD_FAILURE() << what << ": " << line;
}

support::RunResult run_in(const std::string& dir, std::vector<std::string> args) {
  support::RunOptions options{dir};
  options.args = std::move(args);
  options.env = {"STANDIN_STATE=" + dir, "TMPDIR=" + dir + "/tmp"};
  return support::run(BENCH_COMPARE, options);
}

TEST(Width, ComparisonsSessionsABaselineAndBuildsFitOneHundredColumns) {
  StandIns s;
  s.plan(20);
  expect_fits(s.compare({}), "a comparison");
  expect_fits(s.compare({"--sessions", "5", "--pause", "0", "--json", s.file("five.json")}),
              "five sessions");
  expect_fits(s.compare({"--baseline", s.file("five.json")}), "a baseline");
  expect_fits(s.compare({"--sessions", "5", "--pause", "0", "--baseline", s.file("five.json")}),
              "a baseline of five sessions");
  const std::string pair = s.path("random") + "," + s.path("fixed");
  std::string dir = s.file("");
  dir.pop_back();
  expect_fits(run_in(dir, {"--build", "gcc=" + pair, "--build", "clang=" + pair}), "two builds");
}

TEST(Width, AMergeOfTenEntriesWithLongMachineTextsFitsOneHundredColumns) {
  support::TempDir dir;
  std::filesystem::create_directory(dir.file("in"));
  for (int i = 0; i < 10; ++i) {
    auto j = standin::export_of(
        fmt::format("build-{}-gcc-12-O2-native", i), fmt::format("2026-01-{:02}T10:00:00Z", i + 1),
        {standin::scaled(0.99 + 0.001 * i), standin::scaled(1.0), standin::scaled(1.01)},
        i % 2 == 0 ? "Intel(R) Core(TM) i7-10700 CPU @ 2.90GHz"
                   : "AMD Ryzen 9 7950X 16-Core Processor");
    j["machine"]["kernel"] =
        fmt::format("Linux 6.1.0-{}-amd64 #1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1 (2024-02-01)", i);
    j["machine"]["libc"] = "glibc 2.36";
    j["machine"]["logical_cpus"] = "16";
    for (const char* program : {"random", "fixed"}) {
      j["programs"][program]["compiler"] =
          i % 2 == 0 ? "GCC: (Debian 12.2.0-14) 12.2.0; Debian clang version 14.0.6"
                     : "GCC: (Debian 13.2.0-25) 13.2.0";
    }
    support::write_file(dir.file(fmt::format("in/{}.json", i)), j.dump());
  }
  expect_fits(run_in(dir.path, {"--merge", "in"}), "a merge of ten");
}

}  // namespace
