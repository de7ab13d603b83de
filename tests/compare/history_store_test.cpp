// The history's store: what goes in comes back, each session once, whatever
// the labels hold, and whole with eight writers at once or one killed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <set>

#include "../support.h"
#include "compare/history/store.h"
#include "compare/history/store_parts.h"
#include "compare/stats/statistical_tests.h"
#include "compare/stats/summary.h"
#include "history_exports.h"

namespace {

using namespace compare;
using history_exports::export_text;

std::vector<ExportFile> entries(const std::string& label, int day, double factor = 1) {
  return exports_from_text(export_text(label, day, factor), label + ".json");
}

// One number from the database, read as any other program would.
long long count_of(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_busy_timeout(db, 1000);
  sqlite3_stmt* q = nullptr;
  long long n = -1;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &q, nullptr) == SQLITE_OK &&
      sqlite3_step(q) == SQLITE_ROW) {
    n = sqlite3_column_int64(q, 0);
  }
  sqlite3_finalize(q);
  sqlite3_close(db);
  return n;
}

std::string integrity(const std::string& path) {
  Store store(path, Store::Access::Read);
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* q = nullptr;
  std::string result = "no answer";
  if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &q, nullptr) == SQLITE_OK &&
      sqlite3_step(q) == SQLITE_ROW) {
    result = reinterpret_cast<const char*>(sqlite3_column_text(q, 0));
  }
  sqlite3_finalize(q);
  sqlite3_close(db);
  return result;
}

// Every session holds every round it counts, and every comparison a build
// with a session: nothing stored in part.
void expect_whole(const std::string& path) {
  EXPECT_EQ(integrity(path), "ok");
  EXPECT_EQ(count_of(path,
                     "SELECT count(*) FROM session s WHERE rounds != (SELECT count(*) FROM round "
                     "r WHERE r.session_id = s.id) OR (SELECT count(*) FROM figure f WHERE "
                     "f.session_id = s.id) != 9"),
            0);
  EXPECT_EQ(count_of(path,
                     "SELECT count(*) FROM comparison c WHERE NOT EXISTS (SELECT 1 FROM build b "
                     "JOIN session s ON s.build_id = b.id WHERE b.comparison_id = c.id)"),
            0);
}

TEST(HistoryStore, FiguresComeBackAsTheRoundsGiveThemAndEachSessionIsStoredOnce) {
  support::TempDir dir;
  Store store(dir.file("h.db"), Store::Access::Append);
  const std::vector<ExportFile> first = entries("night", 1);
  const Stored stored = store_comparison(store, first);
  EXPECT_EQ(stored.sessions, 2U);
  EXPECT_EQ(stored.held, 0U);
  const Stored again = store_comparison(store, entries("night", 1));
  EXPECT_EQ(again.sessions, 0U);
  EXPECT_EQ(again.held, 2U);
  EXPECT_EQ(count_of(dir.file("h.db"), "SELECT count(*) FROM comparison"), 1);
  // An export without a label of its own is known by what it holds, not by
  // the name of its file.
  nlohmann::json unnamed = nlohmann::json::parse(export_text("", 9));
  unnamed.erase("label");
  EXPECT_EQ(store_comparison(store, exports_from_text(unnamed.dump(), "a.json")).sessions, 2U);
  EXPECT_EQ(store_comparison(store, exports_from_text(unnamed.dump(), "b.json")).held, 2U);

  const std::vector<StoredFigure> figures = read_figures(store, {"", "", "night", ""});
  ASSERT_EQ(figures.size(), 18U);  // 2 sessions x 3 tests x 3 series
  for (const StoredFigure& f : figures) {
    const std::size_t s = f.started_at == first.front().session_started.at(0) ? 0 : 1;
    const std::vector<double> values =
        series_values(first.front().sessions.at(s), f.series, f.test);
    EXPECT_EQ(f.value, median(values));
    ASSERT_TRUE(f.interval);
    EXPECT_EQ(f.interval->low, sign_interval(values)->low);
    EXPECT_EQ(f.machine, "CPU A");
    EXPECT_EQ(f.comparison, "night");
    EXPECT_FALSE(f.ratio);
  }
  // In time order within each series.
  EXPECT_LT(figures.at(0).started_at, figures.at(1).started_at);
  EXPECT_EQ(figures.at(0).test, figures.at(1).test);
  expect_whole(dir.file("h.db"));
}

TEST(HistoryStore, TheFiltersChooseSessionsByDateLabelAndMachine) {
  support::TempDir dir;
  Store store(dir.file("h.db"), Store::Access::Append);
  for (int day = 1; day <= 4; ++day) store_comparison(store, entries("night", day));
  store_comparison(store, exports_from_text(export_text("other", 5, 1, "CPU B"), "o.json"));
  EXPECT_EQ(read_figures(store, {}).size(), 5U * 18);
  EXPECT_EQ(read_figures(store, {"2026-01-02", "2026-01-03", "", ""}).size(), 2U * 18);
  EXPECT_EQ(read_figures(store, {"", "", "other", ""}).size(), 18U);
  EXPECT_EQ(read_figures(store, {"", "", "", "CPU B"}).size(), 18U);
  EXPECT_EQ(read_figures(store, {"", "", "", "CPU C"}).size(), 0U);
}

TEST(HistoryStore, UsageAndCountsKeepEveryFigureAndEveryGap) {
  Round r;
  Usage u;
  u.wall_s = 1.5;
  u.user_s = 1.25;
  u.minor_faults = 12;
  u.has_switches = false;
  u.runqueue_wait_s = 0.125;
  r.random_usage = u;
  Round back;
  usage_from_bytes(usage_bytes(r), back);
  ASSERT_TRUE(back.random_usage);
  EXPECT_FALSE(back.fixed_usage);
  EXPECT_EQ(back.random_usage->wall_s, 1.5);
  EXPECT_EQ(back.random_usage->user_s, 1.25);
  EXPECT_EQ(back.random_usage->minor_faults, 12);
  EXPECT_FALSE(back.random_usage->has_switches);
  EXPECT_TRUE(back.random_usage->has_memory);
  EXPECT_EQ(back.random_usage->runqueue_wait_s, 0.125);
  EXPECT_TRUE(usage_bytes(Round{}).empty());
  // Counts of any size and sign; a blob cut short is no usage.
  u.has_switches = true;
  u.involuntary_switches = -3;
  u.voluntary_switches = 1LL << 40;
  r.fixed_usage = u;
  std::vector<unsigned char> bytes = usage_bytes(r);
  usage_from_bytes(bytes, back);
  ASSERT_TRUE(back.fixed_usage);
  EXPECT_EQ(back.fixed_usage->involuntary_switches, -3);
  EXPECT_EQ(back.fixed_usage->voluntary_switches, 1LL << 40);
  bytes.pop_back();
  Round cut;
  usage_from_bytes(bytes, cut);
  EXPECT_FALSE(cut.random_usage || cut.fixed_usage);

  RoundCounts counts{};
  counts.fixed.at(2).at(3) = 42;
  const std::optional<RoundCounts> read = counts_from_bytes(counts_bytes(counts));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->fixed.at(2).at(3), 42);
  EXPECT_FALSE(read->fixed.at(2).at(2));
  EXPECT_FALSE(read->random.at(0).at(0));
}

TEST(HistoryStore, HostileTextIsStoredAsDataAndReadBackInert) {
  support::TempDir dir;
  const std::string path = dir.file("h.db");
  const std::string label = "x'); DROP TABLE session;--\"";
  {
    Store store(path, Store::Access::Append);
    store_comparison(store, exports_from_text(export_text(label, 1, 1, "CPU'\";--"), "a.json"));
  }
  // A database made elsewhere may hold anything: a label that would
  // retitle a terminal is read back escaped.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "UPDATE build SET label = 'b' || char(27) || ']0;owned' || char(7)",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  Store store(path, Store::Access::Read);
  const std::vector<StoredFigure> figures = read_figures(store, {});
  ASSERT_EQ(figures.size(), 18U);
  EXPECT_EQ(figures.front().comparison, label);
  EXPECT_EQ(figures.front().machine, "CPU'\";--");
  EXPECT_EQ(figures.front().build, "b\\x1b]0;owned\\x07");
  EXPECT_EQ(count_of(path, "SELECT count(*) FROM sqlite_schema WHERE type = 'table'"), 7);

  // A text beyond any a history holds is refused, not read.
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "UPDATE comparison SET label = zeroblob(70000) || 'x'", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  try {
    read_figures(store, {});
    ADD_FAILURE() << "read";
  } catch (const StoreError& error) {
    EXPECT_NE(std::string(error.what()).find("more than the 65536 a history may"),
              std::string::npos)
        << error.what();
  }
}

// Stores `count` comparisons of writer `id`, and one all writers share.
void write_many(const std::string& path, int id, int count) {
  Store store(path, Store::Access::Append);
  for (int k = 0; k < count; ++k) {
    store_comparison(store, entries("w" + std::to_string(id) + "-" + std::to_string(k), 1 + k));
  }
  store_comparison(store, entries("shared", 1));
}

TEST(HistoryStore, EightWritersAtOnceStoreEveryComparisonOnce) {
  support::TempDir dir;
  const std::string path = dir.file("h.db");
  std::vector<pid_t> children;
  for (int id = 0; id < 8; ++id) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      try {
        write_many(path, id, 25);
      } catch (const std::exception& error) {
        // The parent's test fails on the status; this says why.
        _exit(std::fprintf(stderr, "writer %d: %s\n", id, error.what()) > 0 ? 1 : 2);
      }
      _exit(0);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  EXPECT_EQ(count_of(path, "SELECT count(*) FROM comparison"), 201);
  EXPECT_EQ(count_of(path, "SELECT count(*) FROM session"), 402);
  EXPECT_EQ(count_of(path, "SELECT count(DISTINCT key) FROM session"), 402);
  expect_whole(path);
}

TEST(HistoryStore, AWriterKilledMidWriteLeavesEveryCommittedComparisonWhole) {
  support::TempDir dir;
  const std::string path = dir.file("h.db");
  Store made(path, Store::Access::Append);  // made before the writer starts
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    try {
      Store store(path, Store::Access::Append);
      for (int k = 0;; ++k) store_comparison(store, entries("k" + std::to_string(k), 1 + k % 28));
    } catch (...) {
      _exit(1);
    }
  }
  // Killed once it has committed a few, whenever that is.
  int status = 0;
  while (count_of(path, "SELECT count(*) FROM comparison") < 5) {
    ASSERT_EQ(waitpid(pid, &status, WNOHANG), 0) << "the writer ended: " << status;
    timespec pause{0, 1000000};
    nanosleep(&pause, nullptr);
  }
  kill(pid, SIGKILL);
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_GE(count_of(path, "SELECT count(*) FROM comparison"), 5);
  expect_whole(path);
}

}  // namespace
