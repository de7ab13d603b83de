// Each program's medians over its runs, and the warning about other work,
// from hand-made figures.
#include "compare/stats/usage.h"

#include <gtest/gtest.h>

#include <tuple>

#include "compare/export/usage.h"
#include "compare/report/usage.h"

namespace compare {
namespace {

// A run of one second's wall time that waited `waited` of it for a CPU.
Usage run(double waited, long long faults = 100) {
  Usage u;
  u.wall_s = 1;
  u.user_s = 0.9 - waited;
  u.system_s = 0.05;
  u.involuntary_switches = 2;
  u.minor_faults = faults;
  u.max_rss_kib = 2048;
  u.runqueue_wait_s = waited;
  return u;
}

// `count` rounds whose runs each waited 0.001 s, but for those listed.
std::vector<Round> rounds(int count, const std::vector<std::pair<int, double>>& random_waits = {},
                          const std::vector<std::pair<int, double>>& fixed_waits = {}) {
  std::vector<Round> out;
  for (int i = 1; i <= count; ++i) {
    Round r;
    r.index = i;
    r.random_usage = run(0.001);
    r.fixed_usage = run(0.001);
    out.push_back(r);
  }
  for (const auto& [index, waited] : random_waits) out.at(index - 1).random_usage = run(waited);
  for (const auto& [index, waited] : fixed_waits) out.at(index - 1).fixed_usage = run(waited);
  return out;
}

TEST(Usage, MediansOfEachProgramsRuns) {
  std::vector<Round> r = rounds(3);
  r[0].fixed_usage = run(0.2, 10);
  r[1].fixed_usage = run(0.4, 30);
  r[2].fixed_usage->runqueue_wait_s.reset();
  r[2].fixed_usage->minor_faults = 1000;
  const UsageSummary fixed = summarise_usage(r, Side::Fixed);
  EXPECT_EQ(fixed.runs, 3);
  EXPECT_EQ(fixed.median.minor_faults, 30);
  EXPECT_DOUBLE_EQ(fixed.median.user_s, 0.7);
  // Only the runs where the kernel told it.
  EXPECT_DOUBLE_EQ(*fixed.median.runqueue_wait_s, 0.3);

  r[0].random_usage.reset();
  EXPECT_EQ(summarise_usage(r, Side::Random).runs, 2);
  EXPECT_EQ(summarise_usage(std::vector<Round>(2), Side::Random).runs, 0);
  EXPECT_TRUE(usage_lines(std::vector<Round>(2)).empty());
  EXPECT_EQ(usage_lines(rounds(4))[1].substr(0, 31), "bench_fixed, medians of 4 runs:");

  // Processor time is each run's user plus system time, then their median.
  r = rounds(3);
  for (const auto& [i, user, system] : {std::tuple{0, 1.0, 0.0}, {1, 0.0, 1.0}, {2, 0.5, 0.1}}) {
    r.at(i).random_usage->user_s = user;
    r.at(i).random_usage->system_s = system;
  }
  EXPECT_DOUBLE_EQ(summarise_usage(r, Side::Random).processor_s, 1.0);
}

TEST(Usage, TheShareTakenIsTheWaitElseTheTimeOffTheProcessor) {
  EXPECT_DOUBLE_EQ(taken_share(run(0.25)), 0.25);
  Usage unknown = run(0.25);
  unknown.runqueue_wait_s.reset();
  unknown.user_s = 0.6;
  EXPECT_DOUBLE_EQ(taken_share(unknown), 0.35);
  unknown.user_s = 2;  // more processor than wall time: several threads
  EXPECT_DOUBLE_EQ(taken_share(unknown), 0);
  EXPECT_DOUBLE_EQ(taken_share(Usage{}), 0);
}

TEST(Usage, WarnsWhenAQuarterOfTheRunsLostATenthOfTheirTime) {
  EXPECT_FALSE(contention_warning(rounds(4)));
  EXPECT_FALSE(contention_warning({}));
  // One run of 8 is not enough, however much it lost; nor are runs just under 10%.
  EXPECT_FALSE(contention_warning(rounds(4, {{3, 0.9}})));
  EXPECT_FALSE(contention_warning(rounds(4, {{1, 0.099}, {2, 0.099}}, {{1, 0.099}})));

  const auto warning = contention_warning(rounds(4, {{3, 0.1}}, {{2, 0.3}}));
  ASSERT_TRUE(warning);
  EXPECT_EQ(*warning,
            "Other work took the processor from 2 of the 8 counted runs: they spent 20% of "
            "their wall time waiting for a CPU (each at least 10%), most in round 2, where "
            "bench_fixed waited 30% of its 1 s; their times are longer and more scattered than "
            "the programs make them.");
  // A single round's two runs are a quarter and more of it.
  EXPECT_TRUE(contention_warning(rounds(1, {{1, 0.5}})));
}

// What Windows gives: processor time, all page faults and peak memory, but
// no switches, wait or fault split; under Wine only the wall time.
Usage windows_run(double user, bool wine) {
  Usage u;
  u.wall_s = 1;
  u.user_s = user;
  u.minor_faults = 500;
  u.max_rss_kib = 4096;
  u.has_switches = u.has_fault_split = false;
  u.has_processor = u.has_faults = u.has_memory = !wine;
  return u;
}

TEST(Usage, FiguresASystemDoesNotGiveAreNullAndAbsent) {
  std::vector<Round> r = rounds(2);
  for (Round& round : r) round.random_usage = round.fixed_usage = windows_run(0.5, false);
  const std::string line = usage_lines(r)[0];
  EXPECT_EQ(line,
            "bench_random, medians of 2 runs: processor 0.5 s (user 0.5 s, system 0 s) of 1 s wall "
            "(50.0%), 500 page faults, peak memory 4096 KiB");
  const nlohmann::json j = usage_json(windows_run(0.5, false));
  for (const char* absent : {"involuntary_switches", "voluntary_switches", "minor_faults",
                             "major_faults", "runqueue_wait_s"}) {
    EXPECT_TRUE(j[absent].is_null()) << absent;
  }
  EXPECT_EQ(j["max_rss_kib"], 4096);
  EXPECT_EQ(usage_csv(windows_run(0.5, false))[3], "");

  for (Round& round : r) round.random_usage = round.fixed_usage = windows_run(0.5, true);
  EXPECT_EQ(usage_lines(r)[1], "bench_fixed, medians of 2 runs: 1 s wall");
  EXPECT_TRUE(usage_json(windows_run(0.5, true))["user_s"].is_null());
  // A summary holds a figure only when every run gave it.
  r[0].fixed_usage = windows_run(0.5, false);
  EXPECT_FALSE(summarise_usage(r, Side::Fixed).median.has_processor);
}

TEST(Usage, OtherWorkIsJudgedByProcessorTimeWhereNoWaitIsGiven) {
  std::vector<Round> r = rounds(4);
  // Half of each run off the processor, and no wait told: other work took it.
  for (Round& round : r) round.random_usage = round.fixed_usage = windows_run(0.5, false);
  EXPECT_TRUE(contention_warning(r));
  // Under Wine a run tells neither: nothing is concluded from it.
  for (Round& round : r) round.random_usage = round.fixed_usage = windows_run(0.5, true);
  EXPECT_FALSE(contention_warning(r));
  EXPECT_DOUBLE_EQ(taken_share(windows_run(0.5, true)), 0);
}

}  // namespace
}  // namespace compare
