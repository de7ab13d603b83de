// bench_compare and the architectures of what it compares, end to end: a
// pair or builds of different architectures are refused before any run, and
// a baseline or merge that spans architectures says so. The programs are the
// drift stand-in (drift_standin.cpp), built here, and copies of it whose ELF
// header names another machine: read, never run.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>

#include "../support.h"

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

// This machine's architecture, and another one with its ELF machine number.
#if defined(__x86_64__)
const std::string kOwn = "x86_64";
const std::string kOther = "aarch64";
constexpr unsigned kOtherMachine = 183;  // EM_AARCH64
#elif defined(__aarch64__)
const std::string kOwn = "aarch64";
const std::string kOther = "x86_64";
constexpr unsigned kOtherMachine = 62;  // EM_X86_64
#else
#error "the architecture test knows x86-64 and AArch64"
#endif

class Architectures : public ::testing::Test {
 protected:
  // A program at `name` that runs the stand-in with the given role.
  std::string standin(const std::string& name, const std::string& role) {
    std::string path = dir_.file(name);
    fs::create_directories(fs::path(path).parent_path());
    fs::create_symlink(STANDIN, path);
    support::write_file(path + ".conf", role + " 0.003 0.002 0.001\n");
    return path;
  }

  // A copy of the stand-in whose header names the other architecture.
  std::string other_copy(const std::string& name) {
    std::string path = dir_.file(name);
    fs::create_directories(fs::path(path).parent_path());
    fs::copy_file(STANDIN, path);
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(18);  // e_machine
    const char bytes[2] = {static_cast<char>(kOtherMachine & 0xFFU),
                           static_cast<char>(kOtherMachine >> 8U)};
    file.write(bytes, 2);
    return path;
  }

  support::RunResult compare(std::vector<std::string> args) {
    support::RunOptions options(dir_.path);
    options.args = std::move(args);
    options.env = {"TMPDIR=" + dir_.file("tmp")};
    return support::run(BENCH_COMPARE, options);
  }

  // What a refusal must be: one line naming both programs and their
  // architectures, usage status, no report, nothing left behind. A run of
  // the copy would have failed otherwise: this system cannot run it.
  void expect_refused(const support::RunResult& r, const std::string& first,
                      const std::string& second) {
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "bench_compare: " + second + ": its program architecture is " + kOther + " (" +
                         first + ": " + kOwn +
                         "); times from different architectures are not comparable\n");
    EXPECT_TRUE(fs::is_empty(dir_.file("tmp")));
  }

  void SetUp() override { fs::create_directory(dir_.file("tmp")); }

  support::TempDir dir_;
};

TEST_F(Architectures, APairOrBuildsOfDifferentArchitecturesAreRefusedBeforeAnyRun) {
  const std::string random = standin("random", "random");
  const std::string fixed = other_copy("fixed");
  expect_refused(compare({"--random", random, "--fixed", fixed, "--rounds", "2"}),
                 "bench_random (" + random + ")", "bench_fixed (" + fixed + ")");

  // Builds: one of another architecture, or one not consistent in itself.
  const std::string a = dir_.file("a");
  standin("a/bench_random/bench_random", "random");
  standin("a/bench_fixed/bench_fixed", "fixed");
  other_copy("b/bench_random/bench_random");
  other_copy("b/bench_fixed/bench_fixed");
  expect_refused(compare({"--build", "a=" + a, "--build", "b=" + dir_.file("b"), "--rounds", "2"}),
                 "bench_random of a (" + a + "/bench_random/bench_random)",
                 "bench_random of b (" + dir_.file("b") + "/bench_random/bench_random)");
  expect_refused(
      compare({"--build", "a=" + a, "--build", "mixed=" + random + "," + fixed, "--rounds", "2"}),
      "bench_random of a (" + a + "/bench_random/bench_random)",
      "bench_fixed of mixed (" + fixed + ")");
}

TEST_F(Architectures, TheRecordNamesThemAndABaselineOrMergeAcrossThemWarns) {
  const std::vector<std::string> pair = {"--random", standin("random", "random"),
                                         "--fixed",  standin("fixed", "fixed"),
                                         "--rounds", "2",
                                         "--warmup", "0",
                                         "--quiet"};
  std::vector<std::string> args = pair;
  args.insert(args.end(), {"--label", "here", "--json", dir_.file("here.json")});
  support::RunResult r = compare(args);
  ASSERT_EQ(r.status, 0) << r.err;
  json here = json::parse(support::read_file(dir_.file("here.json")));
  EXPECT_EQ(here["machine"]["architecture"], kOwn);
  EXPECT_EQ(here["programs"]["random"]["architecture"], kOwn);
  EXPECT_EQ(here["programs"]["fixed"]["architecture"], kOwn);
  EXPECT_NE(r.out.find("\n  architecture   " + kOwn + "\n"), std::string::npos) << r.out;
  // The path as shown: relative to the working directory where that is shorter.
  EXPECT_NE(r.out.find("  bench_random   random (" + kOwn + ", "), std::string::npos) << r.out;

  // The same export as if made on another machine with its own programs.
  json other = here;
  other["label"] = "other";
  other["machine"]["architecture"] = kOther;
  for (const char* side : {"random", "fixed"}) other["programs"][side]["architecture"] = kOther;
  support::write_file(dir_.file("other.json"), other.dump(2));

  args = pair;
  args.insert(args.end(), {"--baseline", dir_.file("other.json")});
  r = compare(args);
  ASSERT_EQ(r.status, 0) << r.err;
  // Notes wrap at the terminal's width: read with their lines joined.
  const std::string joined = std::regex_replace(r.out, std::regex("\n +"), " ");
  const std::string apart =
      kOther + " (now " + kOwn + "); times from different architectures are not comparable.";
  EXPECT_NE(joined.find("The baseline's program architecture was " + apart), std::string::npos)
      << r.out;
  EXPECT_NE(joined.find("The baseline's machine architecture was " + apart), std::string::npos)
      << r.out;

  r = compare({"--merge", dir_.file("here.json"), dir_.file("other.json")});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string merged = std::regex_replace(r.out, std::regex("\n +"), " ");
  for (const char* what : {"program", "machine"}) {
    EXPECT_NE(merged.find(fmt::format("other: its {} architecture is {} (the reference's {}); "
                                      "times from different architectures are not comparable.",
                                      what, kOther, kOwn)),
              std::string::npos)
        << r.out;
  }
  EXPECT_TRUE(fs::is_empty(dir_.file("tmp")));
}

}  // namespace
