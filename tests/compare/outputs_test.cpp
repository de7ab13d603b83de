// bench_compare's exports end to end: never written over an input or each
// other, never left cut, and one that fails costs no other.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "standin_exports.h"
#include "standins.h"

namespace {

using standins::json;
namespace fs = std::filesystem;

// One line on standard error holding `part`, status 2, and no round run.
void expect_refused(const standins::StandIns& s, const support::RunResult& r,
                    const std::string& part) {
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_EQ(support::lines_of(r.err), std::vector<std::string>{"bench_compare: " + part});
  EXPECT_EQ(s.state("order"), "");
}

TEST(Outputs, AnExportNamingAnotherOrAnInputIsRefusedBeforeAnyRun) {
  standins::StandIns s;
  s.plan(4);
  support::write_file(s.file("base.json"), "the baseline");
  support::write_file(s.file("out.json"), "earlier");
  fs::create_symlink("out.json", s.file("link.json"));
  fs::create_directory(s.file("sub"));
  const std::string program = support::read_file(s.path("random"));
  const std::string d = s.file("");
  expect_refused(s, s.compare({"--json", d + "out.json", "--csv", d + "./out.json"}),
                 "--json " + d + "out.json and --csv " + d + "./out.json name the same file");
  expect_refused(s, s.compare({"--json", d + "link.json", "--markdown", d + "out.json"}),
                 "--json " + d + "link.json and --markdown " + d + "out.json name the same file");
  expect_refused(s, s.compare({"--plot", d + "x.svg", "--html", d + "sub/../x.svg"}),
                 "--plot " + d + "x.svg and --html " + d + "sub/../x.svg name the same file");
  expect_refused(s, s.compare({"--baseline", d + "base.json", "--csv", d + "sub/../base.json"}),
                 "--csv " + d + "sub/../base.json would overwrite --baseline " + d + "base.json");
  expect_refused(s, s.compare({"--json", s.path("random")}),
                 "--json " + s.path("random") + " would overwrite --random " + s.path("random"));
  EXPECT_EQ(support::read_file(s.file("base.json")), "the baseline");
  EXPECT_EQ(support::read_file(s.file("out.json")), "earlier");
  EXPECT_EQ(support::read_file(s.path("random")), program);
  EXPECT_FALSE(fs::exists(s.file("x.svg")));
}

TEST(Outputs, BuildLabelsAreCheckedAsLabelIs) {
  standins::StandIns s;
  s.plan(4);
  const std::string pair = s.path("random") + "," + s.path("fixed");
  for (const std::string& label :
       {std::string("two\nlines"), std::string("bell\a"), std::string("")}) {
    support::RunOptions options(s.file(""));
    options.args = {
        "--build", fmt::format("{}={}", label, pair), "--build", "b=" + pair, "--rounds", "2"};
    options.env = {"STANDIN_STATE=" + s.file(""), "TMPDIR=" + s.tmp()};
    const auto r = support::run(BENCH_COMPARE, options);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find(label.empty() ? "the label must not be empty" : "control characters"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(s.state("order"), "");
  }
}

class MergeOutputs : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(dir_.file("in"));
    write("in/a.json", standin::export_of("gcc", "2026-01-01T00:00:00Z", {standin::scaled(1)}));
    write("in/b.json", standin::export_of("clang", "2026-01-01T01:00:00Z", {standin::scaled(1.2)}));
    support::write_file(dir_.file("gnuplot-fails"), "#!/bin/sh\necho cannot draw >&2\nexit 1\n");
    chmod(dir_.file("gnuplot-fails").c_str(), 0755);
  }
  void write(const std::string& name, const json& j) {
    support::write_file(dir_.file(name), j.dump(1));
  }
  support::RunResult merge(std::vector<std::string> args, std::vector<std::string> prefix = {}) {
    support::RunOptions options(dir_.path);
    options.args = {"--merge"};
    options.args.insert(options.args.end(), args.begin(), args.end());
    options.prefix = std::move(prefix);
    return support::run(BENCH_COMPARE, options);
  }
  // The directory's names, temporaries included.
  std::vector<std::string> names(const std::string& dir) const {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(dir_.file(dir)))
      found.push_back(e.path().filename());
    std::sort(found.begin(), found.end());
    return found;
  }
  support::TempDir dir_;
};

TEST_F(MergeOutputs, AnExportNamingAnInputIsRefused) {
  const std::string a = support::read_file(dir_.file("in/a.json"));
  for (const auto& args :
       {std::vector<std::string>{"in/a.json", "in/b.json", "--json", "in/a.json"},
        std::vector<std::string>{"in", "--csv", "./in/b.json"}}) {
    const auto r = merge(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(support::lines_of(r.err).size(), 1U) << r.err;
    EXPECT_NE(r.err.find("would overwrite --merge in/"), std::string::npos) << r.err;
  }
  EXPECT_EQ(support::read_file(dir_.file("in/a.json")), a);
  // An earlier merge's export in the directory is no input: it may be replaced.
  ASSERT_EQ(merge({"in/a.json", "in/b.json", "--json", "in/merged.json"}).status, 0);
  EXPECT_EQ(merge({"in", "--json", "in/merged.json"}).err.find("would overwrite"),
            std::string::npos);
}

TEST_F(MergeOutputs, AFileSizeLimitLeavesTheEarlierExportWhole) {
  ASSERT_EQ(merge({"in", "--json", "out.json"}).status, 0);
  const std::string earlier = support::read_file(dir_.file("out.json"));
  ASSERT_GT(earlier.size(), 2048U);
  // 4 blocks of 512 bytes: the CSV export fits, the JSON export does not.
  const auto r = merge({"in", "--json", "out.json", "--csv", "out.csv"},
                       {"sh", "-c", "ulimit -f 4; exec \"$0\" \"$@\" >/dev/null"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(
      support::lines_of(r.err),
      std::vector<std::string>{
          "bench_compare: cannot write out.json: File too large; out.json is left as it was"});
  EXPECT_EQ(support::read_file(dir_.file("out.json")), earlier);
  EXPECT_NE(support::read_file(dir_.file("out.csv")), "");  // the other export is written
  EXPECT_EQ(names("."), (std::vector<std::string>{"gnuplot-fails", "in", "out.csv", "out.json"}));
}

TEST_F(MergeOutputs, AnUnwritableDirectoryLeavesTheEarlierExportWhole) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not hold for root";
  fs::create_directory(dir_.file("locked"));
  support::write_file(dir_.file("locked/out.json"), "earlier");
  chmod(dir_.file("locked").c_str(), 0555);
  const auto r = merge({"in", "--json", "locked/out.json"});
  chmod(dir_.file("locked").c_str(), 0755);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot write locked/out.json: Permission denied"), std::string::npos);
  EXPECT_EQ(support::read_file(dir_.file("locked/out.json")), "earlier");
}

TEST_F(MergeOutputs, OneExportThatCannotBeMadeCostsNoOther) {
  support::write_file(dir_.file("out.html"), "earlier page");
  const auto r = merge(
      {"in", "--html", "out.html", "--json", "out.json", "--gnuplot", dir_.file("gnuplot-fails")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("2 entries"), std::string::npos) << r.out;  // the report is printed
  const auto lines = support::lines_of(r.err);
  ASSERT_EQ(lines.size(), 1U) << r.err;
  EXPECT_EQ(lines[0].rfind("bench_compare: cannot write out.html: "), 0U) << r.err;
  EXPECT_NE(lines[0].find("; out.html is left as it was"), std::string::npos) << r.err;
  EXPECT_EQ(support::read_file(dir_.file("out.html")), "earlier page");
  EXPECT_EQ(json::parse(support::read_file(dir_.file("out.json"))).at("reference"), "gcc");
}

TEST_F(MergeOutputs, AWriteGoesThroughALinkAndKeepsTheFilesPermissions) {
  support::write_file(dir_.file("kept.json"), "earlier");
  chmod(dir_.file("kept.json").c_str(), 0640);
  fs::create_symlink("kept.json", dir_.file("link.json"));
  const std::string umask_077 = "umask 077; exec \"$0\" \"$@\"";
  ASSERT_EQ(
      merge({"in", "--json", "link.json", "--csv", "new.csv"}, {"sh", "-c", umask_077}).status, 0);
  EXPECT_TRUE(fs::is_symlink(dir_.file("link.json")));
  EXPECT_EQ(json::parse(support::read_file(dir_.file("kept.json"))).at("reference"), "gcc");
  struct stat kept {
  }, made{};
  ASSERT_EQ(stat(dir_.file("kept.json").c_str(), &kept), 0);
  ASSERT_EQ(stat(dir_.file("new.csv").c_str(), &made), 0);
  EXPECT_EQ(kept.st_mode & 0777, 0640U);
  EXPECT_EQ(made.st_mode & 0777, 0600U);  // as any new file under that umask
}

}  // namespace
