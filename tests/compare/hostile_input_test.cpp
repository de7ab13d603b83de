// Exports made to break the reader: too deep, too large, not files at all,
// with figures no run can give. Each is refused with one line naming the
// file and what is wrong, or read without the figure it cannot hold.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "compare/history/export_reader.h"
#include "compare/history/merge.h"
#include "standin_exports.h"
#include "standins.h"

namespace {

using compare::kMaxExportBytes;
using compare::kMaxExportDepth;
using compare::kMaxExportRounds;
using compare::kMaxExportSessions;
using nlohmann::json;
using standin::export_of;
using standin::scaled;

class HostileInput : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir_.file("in"));
    put("in/a.json", export_of("gcc", "2026-01-01T00:00:00Z", {scaled(0.99), scaled(1.01)}));
    put("in/b.json", export_of("clang", "2026-01-01T01:00:00Z", {scaled(1), scaled(1.02)}));
  }
  std::string put(const std::string& name, const json& j) {
    support::write_file(dir_.file(name), j.dump());
    return dir_.file(name);
  }
  support::RunResult merge(const std::vector<std::string>& inputs) {
    support::RunOptions options(dir_.path);
    options.args = {"--merge"};
    options.args.insert(options.args.end(), inputs.begin(), inputs.end());
    return support::run(BENCH_COMPARE, options);
  }
  // Status 1, nothing reported, and one line holding `part`.
  static void expect_refused(const support::RunResult& r, const std::string& part) {
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(support::lines_of(r.err).size(), 1U) << r.err;
    EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
  }
  support::TempDir dir_;
};

// An export whose `where` holds arrays nested `levels` deep.
std::string nested(const std::string& where, int levels) {
  json j = export_of("deep", "2026-01-02T00:00:00Z", {scaled(1)});
  (where == "method" ? j["method"]["extra"] : j["rounds"][0]["extra"]) = "HERE";
  std::string text = j.dump();
  const std::string deep = std::string(static_cast<std::size_t>(levels), '[') +
                           std::string(static_cast<std::size_t>(levels), ']');
  return text.replace(text.find("\"HERE\""), 6, deep);
}

TEST_F(HostileInput, NestingBeyondTheLimitIsRefusedForMergeAndBaseline) {
  for (const std::string where : {"method", "round"}) {
    SCOPED_TRACE(where);
    support::write_file(dir_.file("deep.json"), nested(where, 100000));
    expect_refused(merge({"in/a.json", "deep.json"}), "deep.json nests arrays or objects deeper");

    standins::StandIns s;
    s.plan(6);
    expect_refused(s.compare({"--rounds", "6", "--baseline", dir_.file("deep.json")}),
                   "the baseline " + dir_.file("deep.json") + " nests arrays or objects deeper");

    // The levels that hold the value count too: the root and the method,
    // or the root, the rounds and the round.
    const int room = where == "method" ? kMaxExportDepth - 2 : kMaxExportDepth - 3;
    support::write_file(dir_.file("deep.json"), nested(where, room));
    EXPECT_EQ(merge({"in/a.json", "deep.json"}).status, 0);
    support::write_file(dir_.file("deep.json"), nested(where, room + 1));
    expect_refused(merge({"in/a.json", "deep.json"}), "deeper than 64 levels");
  }
}

TEST_F(HostileInput, OnlyRegularFilesAreReadAndTheRestRefusedAtOnce) {
  // A FIFO would block the reader for good and /dev/zero never end; old
  // code that blocks here fails by the test's deadline.
  ASSERT_EQ(mkfifo(dir_.file("in/zz.json").c_str(), 0600), 0);
  expect_refused(merge({"in"}), "in/zz.json cannot be read: it is a FIFO, not a regular file");
  expect_refused(merge({"in/a.json", "in/zz.json"}), "it is a FIFO");
  std::filesystem::remove(dir_.file("in/zz.json"));

  std::filesystem::create_symlink("/dev/zero", dir_.file("in/zero.json"));
  expect_refused(merge({"in"}), "in/zero.json cannot be read: it is a device, not a regular file");
  std::filesystem::remove(dir_.file("in/zero.json"));

  std::filesystem::create_directory(dir_.file("in/sub.json"));
  expect_refused(merge({"in"}), "in/sub.json cannot be read: it is a directory");
  std::filesystem::remove(dir_.file("in/sub.json"));

  // A link to a regular file is read as that file.
  std::filesystem::rename(dir_.file("in/b.json"), dir_.file("b.json"));
  std::filesystem::create_symlink(dir_.file("b.json"), dir_.file("in/b-link.json"));
  EXPECT_EQ(merge({"in"}).status, 0);
}

TEST_F(HostileInput, TimesNoRunCanGiveAreRefused) {
  for (const double seconds : {1e308, 2e6, -1.0}) {
    json j = export_of("odd", "2026-01-03T00:00:00Z", {scaled(1)});
    j["rounds"][2]["fixed"][1] = seconds;
    put("odd.json", j);
    expect_refused(merge({"in/a.json", "odd.json"}),
                   "odd.json has a malformed round (number 3 in the file): 'fixed' must be 3 "
                   "times in seconds, none above 1e+06");
  }
  // A session index beyond any an int holds.
  json j = export_of("odd", "2026-01-03T00:00:00Z", {scaled(1)});
  j["sessions"] = json::array({{{"index", 4294967297LL}, {"started_at", "2026-01-03T00:00:00Z"}}});
  put("odd.json", j);
  expect_refused(merge({"in/a.json", "odd.json"}),
                 "odd.json has a malformed session (number 1 in the file)");
}

TEST_F(HostileInput, FiguresBeyondTheirRangeAreReadAsNotGiven) {
  json j = export_of("odd", "2026-01-03T00:00:00Z", {scaled(1)});
  j["machine"]["clock_tick"] = 1e308;
  j["rounds"][0]["usage"]["random"] = {{"wall_s", 1.0},           {"involuntary_switches", 1e300},
                                       {"voluntary_switches", 3}, {"minor_faults", 7},
                                       {"major_faults", 0},       {"max_rss_kib", 1e19}};
  const compare::ExportFile f = compare::read_export(put("odd.json", j));
  EXPECT_EQ(f.machine.clock_tick, 0);
  const std::optional<compare::Usage>& usage = f.sessions.at(0).at(0).random_usage;
  ASSERT_TRUE(usage.has_value());
  EXPECT_FALSE(usage->has_switches);
  EXPECT_FALSE(usage->has_memory);
  EXPECT_TRUE(usage->has_faults);
  EXPECT_EQ(usage->minor_faults, 7);
}

TEST_F(HostileInput, AnExportBeyondALimitIsRefusedNamingIt) {
  // Larger than the limit: refused by its size, without a byte read.
  { std::ofstream sparse(dir_.file("huge.json")); }
  ASSERT_EQ(truncate(dir_.file("huge.json").c_str(), kMaxExportBytes + 1), 0);
  expect_refused(merge({"in/a.json", "huge.json"}),
                 "huge.json is larger than 640 MiB, the most an export may be");

  json many = export_of("many", "2026-01-03T00:00:00Z", {scaled(1)});
  const json round = many["rounds"][0];
  many["rounds"] = json::array();
  for (std::size_t i = 0; i <= kMaxExportRounds; ++i) many["rounds"].push_back(round);
  put("many.json", many);
  expect_refused(merge({"in/a.json", "many.json"}),
                 "many.json holds 100001 rounds, more than the 100000 an export may");

  json sessions = export_of("sessions", "2026-01-03T00:00:00Z", {scaled(1)});
  sessions["rounds"] = json::array();
  for (std::size_t i = 1; i <= kMaxExportSessions + 1; ++i) {
    json r = round;
    r["session"] = i;
    sessions["rounds"].push_back(r);
  }
  put("sessions.json", sessions);
  expect_refused(merge({"in/a.json", "sessions.json"}),
                 "sessions.json holds rounds of 10001 sessions, more than the 10000");

  // Seventeen builds, each with a round of its own.
  json builds = export_of("builds", "2026-01-03T00:00:00Z", {scaled(1)});
  builds["builds"] = json::array();
  for (auto& r : builds["rounds"]) {
    const json own = {{"first", r["first"]}, {"random", r["random"]}, {"fixed", r["fixed"]}};
    r["builds"] = json::object();
    for (int b = 0; b <= 16; ++b) r["builds"][fmt::format("b{}", b)] = own;
  }
  for (int b = 0; b <= 16; ++b) builds["builds"].push_back({{"label", fmt::format("b{}", b)}});
  put("builds.json", builds);
  expect_refused(merge({"builds.json"}), "builds.json holds 17 builds, more than the 16");
}

TEST_F(HostileInput, AMergeBeyondItsLimitsIsRefused) {
  // More files than comparisons a merge reads: refused before any is read.
  std::filesystem::create_directory(dir_.file("flood"));
  for (std::size_t i = 0; i <= compare::kMaxMergeComparisons; ++i) {
    std::ofstream(dir_.file(fmt::format("flood/{:05}.json", i)));
  }
  expect_refused(merge({"flood"}), "the merge would hold more than 10000 comparisons");

  std::filesystem::create_directory(dir_.file("labels"));
  for (int i = 0; i <= 1000; ++i) {
    put(fmt::format("labels/{:04}.json", i),
        export_of(fmt::format("e{}", i), "2026-01-01T00:00:00Z", {scaled(1)}));
  }
  expect_refused(merge({"labels"}),
                 "labels/1000.json: the merge would hold more than 1000 entries");
}

TEST_F(HostileInput, AMergesOwnExportInADirectoryIsSkippedWithOneNote) {
  support::RunOptions options(dir_.path);
  options.args = {"--merge", "in", "--json", "merged.json"};
  ASSERT_EQ(support::run(BENCH_COMPARE, options).status, 0);
  std::filesystem::copy_file(dir_.file("merged.json"), dir_.file("in/merged.json"));

  const support::RunResult r = merge({"in"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("2 entries, 4 sessions from 2 exports"), std::string::npos) << r.out;
  EXPECT_EQ(support::lines_of(r.err),
            std::vector<std::string>{"bench_compare: in/merged.json is a merge's export, not a "
                                     "comparison's: skipped"});
  // Named on its own it is still no comparison.
  expect_refused(merge({"in/a.json", "in/b.json", "merged.json"}),
                 "merged.json is not a bench_compare comparison's export");
}

}  // namespace
