// The text report fits a terminal 100 columns wide: every report at the
// defaults, on stand-ins, with the long cells a real machine gives (compiler
// strings, kernels, processors) in the merge's exports.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "compare/render/table.h"
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

// A path of `dirs` directories whose names run to 30 characters each.
std::string long_path(int dirs) {
  std::string path;
  for (int i = 0; i < dirs; ++i) path += fmt::format("/a-directory-with-a-long-name-{:02}", i);
  return path;
}

// The text with its line breaks and the indents after them taken out: a
// long word broken over lines is whole again.
std::string rejoined(const std::string& text) {
  std::string out;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] != '\n') {
      out += text[at];
      continue;
    }
    while (at + 1 < text.size() && text[at + 1] == ' ') ++at;
  }
  return out;
}

void expect_broken(const std::string& text, const std::string& word, const std::string& what) {
  for (const std::string& line : support::lines_wider_than(text, kWidth))
    ADD_FAILURE() << what << ": " << line;
  EXPECT_NE(rejoined(text).find(word), std::string::npos) << what << ":\n" << text;
}

// A path wider than the line takes lines of its own, broken after a '/',
// the pieces after the first indented; a word without one is cut where the
// line ends. Prose, an item's value and a table's "heading: value" lines alike.
TEST(Width, AWordLongerThanTheLineIsBrokenOntoLinesOfItsOwn) {
  const std::string path = long_path(6);
  const std::string prose = compare::wrapped("Compared with the baseline " + path + " (5 now):");
  expect_broken(prose, path, "prose");
  EXPECT_EQ(prose.substr(0, prose.find('\n')), "Compared with the baseline");
  EXPECT_NE(prose.find("/\n    a-directory"), std::string::npos) << prose;

  compare::Table list;
  list.rows = {{"random", path + "/bench_random (GCC 12)"}, {"fixed", std::string(150, 'x')}};
  const std::string items = compare::text_table(list, 2);
  expect_broken(items, path + "/bench_random", "an item");
  expect_broken(items, std::string(150, 'x'), "a word without a '/'");

  compare::Table table;
  table.header = {"build", "rounds", "programs"};
  table.rows = {{"gcc", "20", path}};
  table.line_columns = 1;
  expect_broken(compare::text_table(table, 2), path, "a line column");
}

// bench_compare run on programs whose directory's path is 150 characters
// long and holds a space: its report still fits.
TEST(Width, ProgramsInADeepDirectoryFitOneHundredColumns) {
  StandIns s;
  s.plan(20);
  std::string dir = s.file("");
  dir.pop_back();
  std::string deep = dir + "/long path";
  deep += std::string(150 - std::min<std::size_t>(deep.size(), 140), 'x');
  std::filesystem::create_directories(deep);
  for (const char* role : {"random", "fixed"})
    std::filesystem::create_symlink(s.path(role), deep + "/bench_" + role);
  expect_fits(run_in(dir, {"--random", deep + "/bench_random", "--fixed", deep + "/bench_fixed"}),
              "programs in a deep directory");
}

}  // namespace
