// The counts of --counters alone: reading the probe's record, the per-test
// medians, and how the report and the exports show them.
#include <gtest/gtest.h>

#include "compare/report/counts.h"
#include "compare/report/report.h"
#include "compare/running/counting_probe.h"
#include "compare/stats/counts.h"

namespace compare {
namespace {

constexpr const char* kRecord =
    "counters=1\nclocks=6\nwindows=3\n"
    "unavailable.cycles=not offered by this kernel or processor (No such file or directory)\n"
    "unavailable.cache_misses=not permitted (Permission denied; perf_event_paranoid is 3)\n"
    "w1.task_clock_s=0.004000000\nw1.page_faults=1957\nw1.context_switches=1\n"
    "w2.page_faults=3907\nw2.page_faults_total=9\nw3.page_faults=488\nw3.instructions=oops\n"
    "w4.page_faults=1\n";

TEST(CounterRecord, EachWindowsCountsAndTheEventsNotAvailableAreRead) {
  RunCounts counts;
  std::map<std::string, std::string> unavailable;
  std::string why;
  ASSERT_TRUE(read_counts(kRecord, counts, unavailable, why)) << why;
  const int faults = event_index("page_faults");
  EXPECT_EQ(counts[0][faults], 1957);
  EXPECT_EQ(counts[1][faults], 3907);
  EXPECT_EQ(counts[2][faults], 488);
  EXPECT_DOUBLE_EQ(*counts[0][event_index("task_clock_s")], 0.004);
  EXPECT_EQ(counts[0][event_index("context_switches")], 1);
  // Unknown events, other windows and counts that are not numbers are no counts.
  EXPECT_FALSE(counts[1][event_index("context_switches")]);
  EXPECT_FALSE(counts[2][event_index("instructions")]);
  EXPECT_EQ(unavailable.size(), 2U);
  EXPECT_EQ(unavailable["cache_misses"],
            "not permitted (Permission denied; perf_event_paranoid is 3)");
}

TEST(CounterRecord, ARecordThatIsNotTheProbesOrMissesAWindowIsRefused) {
  RunCounts counts;
  std::map<std::string, std::string> unavailable;
  std::string why;
  EXPECT_FALSE(read_counts("trace=1\nclocks=6\n", counts, unavailable, why));
  EXPECT_EQ(why, "its record is not the counting probe's");
  EXPECT_FALSE(
      read_counts("counters=1\nclocks=2\nwindows=1\nw1.page_faults=3\n", counts, unavailable, why));
  EXPECT_EQ(why, "the counting probe saw 1 of its 3 timing windows close");
}

// Round `index` with the same times every round, and its counts in `counts`.
Round counted_round(int index, double random_faults, double fixed_faults, bool with_cycles,
                    CountsByRound& counts, int session = 1) {
  RoundCounts& r = counts[{session, index}];
  for (int t = 0; t < kTests; ++t) {
    r.random[t][event_index("page_faults")] = random_faults * (t + 1);
    r.fixed[t][event_index("page_faults")] = fixed_faults * (t + 1);
    if (with_cycles) {
      r.random[t][event_index("cycles")] = 4e8;
      r.random[t][event_index("instructions")] = 2e8;
    }
  }
  return {index, Side::Random, {0.2, 0.1, 0.01}, {0.004, 0.008, 0.001}, session};
}

TEST(CounterSummary, MediansPerProgramAndTheirDifference) {
  // A round without counts counts for nothing.
  CountsByRound counts;
  const std::vector<Round> rounds = {counted_round(1, 1000, 2000, true, counts),
                                     counted_round(2, 3000, 4000, false, counts),
                                     counted_round(3, 2000, 1000, true, counts),
                                     {4, Side::Fixed, {1, 1, 1}, {1, 1, 1}}};
  const std::vector<CounterTest> tests = summarise_counters(rounds, counts);
  ASSERT_EQ(tests.size(), 3U);
  const int faults = event_index("page_faults");
  EXPECT_EQ(tests[1].name, "Float");
  EXPECT_EQ(tests[1].random.median[faults], 4000);  // 2000, 6000, 4000
  EXPECT_EQ(tests[1].fixed.median[faults], 4000);   // 4000, 8000, 2000
  EXPECT_EQ(tests[0].difference[faults], 0);
  // A count missing in some rounds is the median of those that have it.
  EXPECT_EQ(tests[0].random.median[event_index("cycles")], 4e8);
  EXPECT_FALSE(tests[0].fixed.median[event_index("cycles")]);
  EXPECT_FALSE(tests[0].difference[event_index("cycles")]);
  EXPECT_DOUBLE_EQ(*instructions_per_cycle(tests[0].random.median), 0.5);
  EXPECT_DOUBLE_EQ(*per_execution(tests[0].random.median, "cycles"), 400);
  // Window time over faults, per round: 0.004 s over 2000, 4000 and 1000 faults.
  EXPECT_DOUBLE_EQ(*tests[0].fixed.seconds_per_fault, 0.004 / 2000);
  // The Integer array is 8,000,000 bytes: 1953.125 pages of 4 KiB.
  EXPECT_DOUBLE_EQ(*faults_per_page(tests[0].fixed.median, 0), 2000 / 1953.125);
  EXPECT_TRUE(summarise_counters({rounds[3]}, counts).empty());
}

TEST(CounterSummary, RoundsOfEachSessionKeepTheirOwnCounts) {
  // Round indices start again in every session: 1000 and 3000 faults in the
  // two rounds numbered 1, 2000 in session 1's round 2.
  CountsByRound counts;
  const std::vector<Round> rounds = {counted_round(1, 1000, 1000, false, counts, 1),
                                     counted_round(2, 2000, 1000, false, counts, 1),
                                     counted_round(1, 3000, 1000, false, counts, 2)};
  const std::vector<CounterTest> tests = summarise_counters(rounds, counts);
  ASSERT_EQ(tests.size(), 3U);
  EXPECT_EQ(tests[0].random.median[event_index("page_faults")], 2000);
}

Comparison counted_comparison() {
  Comparison c;
  c.version = "1";
  c.builds.resize(1);
  Build& b = c.builds.front();
  b.sessions.resize(1);
  b.sessions.front().rounds = {counted_round(1, 1000, 2000, false, b.counters),
                               counted_round(2, 1000, 2000, false, b.counters)};
  c.counters_unavailable = {{"cycles", "not offered"}, {"instructions", "not offered"}};
  return c;
}

TEST(CounterExports, EachRoundCarriesItsWindowsWithNullsForWhatWasNotCounted) {
  const nlohmann::json j = to_json(counted_comparison());
  const nlohmann::json& fixed = j["rounds"][1]["counters"]["fixed"];
  ASSERT_EQ(fixed.size(), 3U);
  EXPECT_EQ(fixed[2]["page_faults"], 6000);
  EXPECT_TRUE(fixed[2]["cycles"].is_null());
  EXPECT_EQ(fixed[2].size(), static_cast<std::size_t>(kEvents));
  EXPECT_EQ(j["counters"]["unavailable"]["cycles"], "not offered");
  EXPECT_EQ(j["counters"]["tests"][0]["difference"]["page_faults"], -1000);
  // Without counts the rounds stay as they were.
  Comparison plain = counted_comparison();
  plain.builds.front().counters.clear();
  EXPECT_FALSE(to_json(plain)["rounds"][0].contains("counters"));
  EXPECT_TRUE(to_json(plain)["counters"].is_null());
}

TEST(CounterExports, TheTablesAndTheCsvShowEveryEvent) {
  const Comparison c = counted_comparison();
  const std::string text = text_report(c);
  EXPECT_NE(text.find("n/a: not available: cycles, instructions: not offered"), std::string::npos)
      << text;
  EXPECT_NE(text.find("random - fixed  "), std::string::npos) << text;
  const std::string markdown = to_markdown(c);
  std::string rule = "\n|---|---|";  // test and program, then 11 columns of figures
  for (int i = 0; i < 11; ++i) rule += "---:|";
  EXPECT_NE(markdown.find(rule + "\n| Integer | bench_random | n/a | 1000 |"), std::string::npos)
      << markdown;
  const std::string csv = to_csv(c);
  const std::string header = csv.substr(0, csv.find('\n'));
  EXPECT_EQ(header.substr(header.find("runqueue_wait_s")),
            "runqueue_wait_s,task_clock_s,page_faults,minor_faults,major_faults,context_switches,"
            "cpu_migrations,cycles,instructions,branches,branch_misses,cache_references,"
            "cache_misses");
  // Round 1, random, Float: 2000 page faults, everything else not counted.
  EXPECT_NE(csv.find("\n1,1,random,random,1,Float,0.1,1,,,,,,,,,,,2000,,,,,,,,,,\n"),
            std::string::npos)
      << csv;
}

}  // namespace
}  // namespace compare
