// bench_compare --merge end to end: its inputs, its refusals and its exports.
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "../support.h"
#include "standin_exports.h"

namespace {

using nlohmann::json;
using namespace standin;

class MergeCli : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir_.file("in"));
    write("in/a.json", export_of("gcc", "2026-01-01T00:00:00Z", {scaled(0.99), scaled(1.01)}));
    write("in/b.json",
          export_of("clang", "2026-01-01T01:00:00Z", {scaled(0.99, 0, 1.2), scaled(1.01, 0, 1.2)}));
  }
  void write(const std::string& name, const json& j) {
    support::write_file(dir_.file(name), j.dump(1));
  }
  support::RunResult merge(std::vector<std::string> args) {
    support::RunOptions options(dir_.path);
    options.args = {"--merge"};
    options.args.insert(options.args.end(), args.begin(), args.end());
    return support::run(BENCH_COMPARE, options);
  }
  // A refusal: one line on standard error naming what is wrong, no report,
  // nothing written.
  void expect_refused(const support::RunResult& r, int status, const std::string& part) {
    EXPECT_EQ(r.status, status);
    EXPECT_EQ(r.out, "");
    const auto lines = support::lines_of(r.err);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines[0].find(part), std::string::npos) << r.err;
    EXPECT_EQ(lines.size(), status == 2 ? 2U : 1U) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir_.file("out.json")));
  }
  support::TempDir dir_;
};

TEST_F(MergeCli, ADirectoryOfExportsIsMergedAndExported) {
  const auto r = merge({"in", "--json", "out.json", "--csv", "out.csv", "--markdown", "out.md"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("2 entries, 4 sessions from 2 exports"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("clang  random      1.2x ["), std::string::npos) << r.out;
  const json j = json::parse(support::read_file(dir_.file("out.json")));
  EXPECT_EQ(j.at("reference"), "gcc");
  ASSERT_EQ(j.at("comparisons").size(), 9U);
  EXPECT_EQ(j.at("comparisons")[0].at("verdict"), "slower");
  EXPECT_NEAR(j.at("comparisons")[0].at("ratio").at("estimate").get<double>(), 1.2, 1e-9);
  const auto csv = support::lines_of(support::read_file(dir_.file("out.csv")));
  EXPECT_EQ(csv.size(), 1U + 2 * 9);
  EXPECT_NE(support::read_file(dir_.file("out.md")).find("| clang | random | 1.2x \\["),
            std::string::npos);
}

TEST_F(MergeCli, BadInputIsNamedAndNothingIsWritten) {
  support::write_file(dir_.file("text.json"), "not json at all");
  write("other.json", json{{"name", "something else"}});
  json later = export_of("later", "2026-01-02T00:00:00Z", {scaled(1)});
  later["tool"]["version"] = "2.0.0";
  write("later.json", later);
  json verify = {{"tool", {{"name", "bench_compare"}, {"version", "1.0.0"}}},
                 {"programs", json::array()}};
  write("verify.json", verify);
  write("again.json", export_of("gcc", "2026-01-01T00:00:00Z", {scaled(1)}));

  const struct {
    std::vector<std::string> args;
    std::string part;
  } cases[] = {
      {{"in", "missing.json"}, "missing.json cannot be read: No such file or directory"},
      {{"in", "text.json"}, "text.json is not JSON"},
      {{"in", "other.json"}, "other.json is not a bench_compare export"},
      {{"in", "later.json"}, "later.json is an export of bench_compare 2.0.0"},
      {{"in", "verify.json"}, "verify.json is not a bench_compare comparison's export"},
      {{"in", "again.json"}, "again.json repeats a session of gcc"},
      {{"in", "in/a.json"}, "in/a.json is given twice"},
      {{"in", "--reference", "icc"}, "--reference icc: no entry has that label"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.part);
    auto args = c.args;
    args.insert(args.end(), {"--json", "out.json"});
    expect_refused(merge(args), 1, c.part);
  }
}

TEST_F(MergeCli, FewerThanTwoEntriesIsAUsageError) {
  expect_refused(merge({"in/a.json", "--json", "out.json"}), 2, "at least two comparisons");
  write("a2.json", export_of("gcc", "2026-01-03T00:00:00Z", {scaled(1)}));
  expect_refused(merge({"in/a.json", "a2.json", "--json", "out.json"}), 2, "two entries");
  expect_refused(merge({"in", "--rounds", "4"}), 2, "--merge runs nothing: --rounds");
  // --quiet changes nothing in a merge, so it does not stop one.
  EXPECT_EQ(merge({"in", "--quiet"}).status, 0);
}

TEST_F(MergeCli, AnUnwritableExportIsReportedFirst) {
  // The input is missing too: the export is what is reported.
  const auto r = merge({"missing.json", "in", "--csv", "no/such/dir/out.csv"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(support::lines_of(r.err),
            std::vector<std::string>{
                "bench_compare: cannot write no/such/dir/out.csv: No such file or directory"});
}

TEST(CompareUsage, AUsageErrorPointsToHelpInsteadOfPrintingIt) {
  support::TempDir dir;
  support::RunOptions options(dir.path);
  options.args = {"--rounds", "x"};
  const auto r = support::run(BENCH_COMPARE, options);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(support::lines_of(r.err),
            (std::vector<std::string>{
                "bench_compare: --rounds: needs a whole number from 1 to 1000000, not x",
                "Run 'bench_compare --help' for the options."}));
}

}  // namespace
