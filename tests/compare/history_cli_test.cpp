// bench_compare --history and --import end to end: a measuring run appends
// its comparison, exports are imported once, and a file that is no history
// of ours is refused in one line and left as it was.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

#include "builds_standins.h"
#include "compare/history/store.h"
#include "history_exports.h"

namespace {

using namespace builds_standins;
using history_exports::export_text;

std::vector<compare::StoredFigure> figures_of(const std::string& path) {
  compare::Store store(path, compare::Store::Access::Read);
  return compare::read_figures(store, {});
}

std::string query_text(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* q = nullptr;
  std::string text = "none";
  if (sqlite3_prepare_v2(db, sql, -1, &q, nullptr) == SQLITE_OK && sqlite3_step(q) == SQLITE_ROW &&
      sqlite3_column_text(q, 0) != nullptr) {
    text = reinterpret_cast<const char*>(sqlite3_column_text(q, 0));
  }
  sqlite3_finalize(q);
  sqlite3_close(db);
  return text;
}

TEST_F(BuildsCli, AMeasuringRunAppendsItsComparisonWithRatiosToTheReference) {
  const std::string history = dir_.file("h.db");
  // Slower by 10 to 13%, by the run, so that each series' ratio depends on
  // which rounds are paired.
  const auto slower = [](bool random, int, int run) {
    return random ? 1.1 + 0.01 * (run % 4) : 1.0;
  };
  const std::string a = build("a", kSame);
  const std::string b = build("b", slower);
  const support::RunResult r =
      compare({"--build", a, "--build", b, "--rounds", "12", "--warmup", "0", "--quiet",
               "--history", history, "--json", dir_.file("out.json")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("stored 1 session, 0 already held"), std::string::npos) << r.out;
  // Each stored ratio is the one the run reported for its series: the
  // history pairs the rounds as --build does.
  const json exported = json::parse(support::read_file(dir_.file("out.json")));
  std::size_t ratios = 0;
  for (const compare::StoredFigure& f : figures_of(history)) {
    if (f.build != "b") continue;
    ++ratios;
    ASSERT_TRUE(f.ratio && f.ratio_interval);
    EXPECT_EQ(f.reference, "a");
    if (f.series == compare::Series::Random) {
      EXPECT_NEAR(*f.ratio, 1.115, 0.016);
    }
    const std::string test = compare::kTestNames.at(static_cast<std::size_t>(f.test));
    std::size_t found = 0;
    for (const json& c : exported.at("comparisons")) {
      if (c.at("entry") != "b" || c.at("test") != test ||
          c.at("series") != compare::series_name(f.series)) {
        continue;
      }
      ++found;
      EXPECT_DOUBLE_EQ(*f.ratio, c.at("ratio").at("estimate").get<double>()) << test;
      EXPECT_DOUBLE_EQ(f.ratio_interval->low, c.at("ratio").at("low").get<double>()) << test;
      EXPECT_DOUBLE_EQ(f.ratio_interval->high, c.at("ratio").at("high").get<double>()) << test;
    }
    EXPECT_EQ(found, 1U) << test;
  }
  EXPECT_EQ(ratios, 9U);
  EXPECT_EQ(query_text(history, "SELECT count(*) FROM verdict WHERE entry = 'b'"), "9");
  // The programs ran from here unchanged: each recognised by its digest.
  EXPECT_EQ(query_text(history, "SELECT count(*) FROM build WHERE length(random_sha1) = 40"), "2");

  // The same comparison imported from its export is already held; a single
  // pair's run adds its own.
  support::RunResult again = compare({"--history", history, "--import", dir_.file("out.json")});
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.out, "stored 0 sessions, 1 already held\n");
  const std::string pair = build("p", kSame);
  const std::size_t comma = pair.find(',');
  again = compare({"--random", pair.substr(2, comma - 2), "--fixed", pair.substr(comma + 1),
                   "--rounds", "6", "--warmup", "0", "--sessions", "2", "--pause", "0", "--quiet",
                   "--history", history});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(query_text(history, "SELECT count(*) FROM session"), "4");
}

TEST_F(BuildsCli, ImportsEachSessionOnceAndStoresTheExportsThatRead) {
  const std::string history = dir_.file("h.db");
  std::filesystem::create_directory(dir_.file("in"));
  for (int day = 1; day <= 3; ++day) {
    support::write_file(dir_.file(fmt::format("in/{}.json", day)), export_text("n", day));
  }
  // Not JSON; a round counted twice in its session.
  support::write_file(dir_.file("in/bad.json"), "{\"rounds\": [");
  json twice = json::parse(export_text("twice", 4));
  twice["rounds"][1]["index"] = 1;
  support::write_file(dir_.file("in/twice.json"), twice.dump());
  support::RunResult r = compare({"--history", history, "--import", dir_.file("in")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "stored 6 sessions, 0 already held\n");
  ASSERT_EQ(support::lines_of(r.err).size(), 2U) << r.err;
  EXPECT_NE(support::lines_of(r.err).at(0).find("bad.json"), std::string::npos) << r.err;
  EXPECT_NE(support::lines_of(r.err).at(1).find("twice.json holds round 1 of session 1 twice"),
            std::string::npos)
      << r.err;

  std::filesystem::remove(dir_.file("in/bad.json"));
  std::filesystem::remove(dir_.file("in/twice.json"));
  r = compare({"--history", history, "--import", dir_.file("in"), dir_.file("in/2.json")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "stored 0 sessions, 8 already held\n");
  EXPECT_EQ(figures_of(history).size(), 6U * 9);  // 3 tests x 3 series a session
}

// A file that is no history this bench_compare can write to.
struct Refused {
  const char* name;
  std::function<void(const std::string&, const std::string&)> make;  // (path, a real history)
  const char* says;
};

TEST_F(BuildsCli, WhatIsNoHistoryOfOursIsRefusedInOneLineAndLeftAsItWas) {
  const std::string real = dir_.file("real.db");
  support::write_file(dir_.file("e.json"), export_text("n", 1));
  for (int day = 2; day <= 9; ++day) {
    support::write_file(dir_.file("more.json"), export_text("n", day));
    ASSERT_EQ(compare({"--history", real, "--import", dir_.file("more.json")}).status, 0);
  }
  const std::string bytes = support::read_file(real);
  auto sql = [](const char* statement) {
    return [statement](const std::string& path, const std::string&) {
      sqlite3* db = nullptr;
      sqlite3_open(path.c_str(), &db);
      sqlite3_exec(db, statement, nullptr, nullptr, nullptr);
      sqlite3_close(db);
    };
  };
  const std::vector<Refused> cases = {
      {"text", [](const std::string& p, const std::string&) { support::write_file(p, "notes\n"); },
       "not a database"},
      {"half",
       [&](const std::string& p, const std::string&) {
         support::write_file(p, bytes.substr(0, bytes.size() / 2));
       },
       "malformed"},
      {"foreign", sql("CREATE TABLE t(x); INSERT INTO t VALUES (1);"),
       "not a bench_compare history"},
      {"later",
       [&](const std::string& p, const std::string&) {
         support::write_file(p, bytes);
         sql("PRAGMA user_version = 7")(p, "");
       },
       "history of schema version 7; this bench_compare reads up to 1"}};
  for (const Refused& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_.file(std::string(c.name) + ".db");
    c.make(path, real);
    const std::string before = support::read_file(path);
    const support::RunResult r = compare({"--history", path, "--import", dir_.file("e.json")});
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(support::lines_of(r.err).size(), 1U) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(support::read_file(path), before);
    EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
    // A measuring run is refused before its first round.
    const support::RunResult run =
        compare({"--build", build("x", kSame), "--build", build("y", kSame), "--history", path});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
  }
  // A history yet to be made is made by the first comparison stored: not by
  // a run that ended before any round, nor one whose export would be it.
  const std::string none = dir_.file("none.db");
  EXPECT_EQ(compare({"--build", build("f", kSame, 1), "--build", build("g", kSame), "--warmup", "0",
                     "--rounds", "2", "--history", none})
                .status,
            1);
  EXPECT_EQ(compare({"--build", build("h", kSame), "--build", build("i", kSame), "--history", none,
                     "--json", none})
                .status,
            2);
  EXPECT_FALSE(std::filesystem::exists(none));
}

}  // namespace
