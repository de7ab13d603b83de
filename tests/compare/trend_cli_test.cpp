// bench_compare --history FILE --trend end to end: a history with a known
// step in one test's times reports that change at its first session, and
// nothing where nothing changed; --fail-on-slower fails a nightly job only
// when the change is among the sessions it looks at.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "builds_standins.h"
#include "compare/export/trend.h"
#include "history_exports.h"

namespace {

using namespace builds_standins;
using history_exports::export_text;

class TrendCli : public BuildsCli {
 protected:
  // 24 days of two sessions each; from day 15 on every bench_random time is
  // 5% longer. Each day's factor also wobbles by up to 0.4%, as sessions do.
  std::string stepped_history() const {
    std::string history = dir_.file("h.db");
    std::vector<std::string> args = {"--history", history, "--import"};
    for (int day = 1; day <= 24; ++day) {
      const double wobble = 1 + 0.002 * ((day * 7) % 5 - 2);
      const std::string file = dir_.file(fmt::format("{:02}.json", day));
      support::write_file(file, export_text("nightly", day, (day >= 15 ? 1.05 : 1.0) * wobble));
      args.push_back(file);
    }
    const support::RunResult r = compare(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return history;
  }
};

TEST_F(TrendCli, TheTrendFindsAStepAtItsFirstSessionAndNothingElse) {
  const std::string history = stepped_history();
  const support::RunResult r =
      compare({"--history", history, "--trend", "--json", dir_.file("t.json")});
  ASSERT_EQ(r.status, 0) << r.err;
  const compare::Trend t = compare::trend_from_json(
      nlohmann::json::parse(support::read_file(dir_.file("t.json"))), "t.json");
  ASSERT_EQ(t.series.size(), 9U);
  for (const compare::TrendSeries& s : t.series) {
    SCOPED_TRACE(s.test + " " + compare::series_name(s.series));
    ASSERT_EQ(s.points.size(), 48U);
    std::vector<const compare::ChangePoint*> found;
    for (const compare::ChangePoint& c : s.changes)
      if (compare::significant(c)) found.push_back(&c);
    if (s.series == compare::Series::Fixed) {
      EXPECT_TRUE(found.empty());
      continue;
    }
    ASSERT_EQ(found.size(), 1U);
    EXPECT_EQ(found[0]->first, 28U);  // day 15's first session
    EXPECT_EQ(s.points[28].started_at, "2026-01-15T01:00:00Z");
    EXPECT_EQ(found[0]->verdict, compare::VerdictKind::Slower);
    EXPECT_GT(found[0]->ratio, 1.04);
  }
  EXPECT_NE(r.out.find("2026-01-15"), std::string::npos) << r.out;
  // The change began 20 sessions before the end.
  EXPECT_EQ(compare({"--history", history, "--trend", "--fail-on-slower", "19"}).status, 0);
  const support::RunResult failed =
      compare({"--history", history, "--trend", "--fail-on-slower", "20"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.err.find("a slower change begins among the latest 20 sessions"),
            std::string::npos)
      << failed.err;
  // Filters: before the step there is nothing to find.
  const support::RunResult before =
      compare({"--history", history, "--trend", "--until", "2026-01-14", "--fail-on-slower", "100",
               "--json", dir_.file("before.json")});
  EXPECT_EQ(before.status, 0) << before.err;
  const compare::Trend b = compare::trend_from_json(
      nlohmann::json::parse(support::read_file(dir_.file("before.json"))), "before.json");
  ASSERT_FALSE(b.series.empty());
  EXPECT_EQ(b.series[0].points.size(), 28U);
}

TEST_F(TrendCli, TheTrendRefusesWhatItCannotReadOrWouldOverwrite) {
  const std::string history = stepped_history();
  const std::string bytes = support::read_file(history);
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* says;
  };
  support::write_file(dir_.file("notes.txt"), "notes\n");
  support::write_file(dir_.file("empty.db"), "");
  const std::vector<Case> cases = {
      {{"--trend"}, 2, "--trend requires --history"},
      {{"--trend", "--history", history, "--json", history}, 2, "h.db"},
      {{"--trend", "--history", history, "--rounds", "4"}, 2, "--trend runs nothing: --rounds"},
      {{"--trend", "--history", dir_.file("notes.txt")}, 1, "notes.txt"},
      {{"--trend", "--history", dir_.file("absent.db")}, 1, "absent.db"},
      {{"--trend", "--history", dir_.file("empty.db")}, 1, "empty.db: holds no history yet"},
      {{"--trend", "--history", history, "--fail-on-slower", "0"}, 2, "--fail-on-slower"}};
  for (const Case& c : cases) {
    const support::RunResult r = compare(c.args);
    SCOPED_TRACE(c.args.back());
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    // One line; a usage error adds where the options are explained.
    const auto lines = std::count(r.err.begin(), r.err.end(), '\n');
    EXPECT_TRUE(lines == 1 || (c.status == 2 && lines == 2)) << r.err;
  }
  EXPECT_EQ(support::read_file(history), bytes);  // read, never written
  EXPECT_FALSE(std::filesystem::exists(dir_.file("absent.db")));
  EXPECT_EQ(support::read_file(dir_.file("empty.db")), "");
}

}  // namespace
