// Each warning appears exactly when its threshold is crossed, and a quiet
// comparison gets none.
#include "compare/stats/warnings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace compare {
namespace {

// Rounds whose Integer differences are `d`, the other tests' differences all
// zero; `order` gives who ran first in each round ('R' or 'F').
std::vector<Round> rounds_with(const std::vector<double>& d, const std::string& order = "") {
  std::vector<Round> rounds;
  for (std::size_t i = 0; i < d.size(); ++i) {
    Round r;
    r.index = static_cast<int>(i) + 1;
    r.first = i < order.size() && order[i] == 'F' ? Side::Fixed : Side::Random;
    r.random = {1 + d[i], 1, 1};
    r.fixed = {1, 1, 1};
    rounds.push_back(r);
  }
  return rounds;
}

std::vector<TestResult> steady_tests() {
  std::vector<TestResult> tests(3);
  for (std::size_t i = 0; i < tests.size(); ++i) {
    tests[i].name = kTestNames.at(i);
    tests[i].random = Summary{1, 0.01};
    tests[i].fixed = Summary{1, 0.01};
  }
  return tests;
}

MachineRecord quiet_machine() {
  MachineRecord m;
  m.logical_cpus = "4";
  m.load_before = "0.30 0.20 0.10 1/200 3000";
  m.load_after = "1.20 0.50 0.20 2/200 3100";
  m.governor = m.governor_after = "performance";
  m.turbo = m.turbo_after = "off";
  m.clock_tick = 1e-6;
  return m;
}

std::vector<std::string> warnings_of(const std::vector<Round>& rounds,
                                     const MachineRecord& m = MachineRecord{}) {
  return warnings_for(rounds, steady_tests(), m);
}

TEST(Warnings, NoneOnAQuietComparison) {
  const auto rounds = rounds_with({0.5, 0.1, 0.3, 0.7, 0.6, 0.2, 0.4, 0.35}, "RFFRRFFR");
  EXPECT_EQ(warnings_for(rounds, steady_tests(), quiet_machine()), std::vector<std::string>{});
  EXPECT_EQ(warnings_for(rounds, steady_tests(), MachineRecord{}), std::vector<std::string>{});
}

TEST(Warnings, TooFewRounds) {
  EXPECT_EQ(warnings_of(rounds_with({1, 1, 1, 1, 1})),
            std::vector<std::string>{"Only 5 counted rounds: at least 6 are needed for a 95% "
                                     "interval of each difference."});
  EXPECT_TRUE(warnings_of(rounds_with({1, 1, 1, 1, 1, 1})).empty());
  EXPECT_EQ(warnings_of({}).at(0).rfind("No counted rounds: at least 6", 0), 0U);
}

TEST(Warnings, ScatteredTimes) {
  auto tests = steady_tests();
  tests[2].fixed = Summary{0.2, 0.0146};  // 7.3%
  tests[0].random = Summary{1, 0.049};    // just under 5%
  const auto w = warnings_for(rounds_with({1, 1, 1, 1, 1, 1}), tests, MachineRecord{});
  EXPECT_EQ(w, std::vector<std::string>{"bench_fixed's DNA times vary: their median absolute "
                                        "deviation is 7.3% of the median (above 5%)."});
  tests[0].random = Summary{1, 0.051};
  EXPECT_EQ(warnings_for(rounds_with({1, 1, 1, 1, 1, 1}), tests, MachineRecord{}).size(), 2U);
}

TEST(Warnings, DriftByTrendOrSerialCorrelation) {
  auto w = warnings_of(rounds_with({1, 2, 3, 4, 5, 6, 7, 8}));
  ASSERT_EQ(w.size(), 1U);
  EXPECT_NE(w[0].find("Integer differences drift"), std::string::npos) << w[0];
  EXPECT_NE(w[0].find("p = 0.000837"), std::string::npos) << w[0];
  EXPECT_NE(w[0].find("autocorrelation is 0.62"), std::string::npos) << w[0];

  w = warnings_of(rounds_with({1, 3, 6, 5, 4, 2}));  // r = 0.214, no trend
  ASSERT_EQ(w.size(), 1U);
  EXPECT_NE(w[0].find("autocorrelation is 0.21"), std::string::npos) << w[0];
  EXPECT_EQ(w[0].find("trend"), std::string::npos) << w[0];
  EXPECT_TRUE(warnings_of(rounds_with({2, 3, 1, 5, 6, 4})).empty());  // r = 0.186
}

TEST(Warnings, PositionEffect) {
  // Random first: 5 7 6 8, fixed first: 1 3 2 4; exact p = 2/70.
  auto w = warnings_of(rounds_with({5, 1, 3, 7, 6, 2, 4, 8}, "RFFRRFFR"));
  ASSERT_EQ(w.size(), 1U);
  EXPECT_NE(w[0].find("median is 6.5 s when bench_random ran first and 2.5 s when bench_fixed"),
            std::string::npos)
      << w[0];
  // One value crosses over: p = 4/70, above 0.05.
  EXPECT_TRUE(warnings_of(rounds_with({5, 1, 3, 7, 6, 2, 4, 3.5}, "RFFRRFFR")).empty());
  // A group of one value is no evidence.
  EXPECT_TRUE(warnings_of(rounds_with({5, 6, 7, 8, 9, 1}, "RRRRRF")).empty());
}

TEST(Warnings, TimesNearTheClockResolution) {
  auto rounds = rounds_with({1, 1, 1, 1, 1, 1});
  MachineRecord m;
  m.clock_tick = 1e-3;
  rounds[3].fixed[2] = 0.0201;
  EXPECT_TRUE(warnings_of(rounds, m).empty());
  rounds[4].fixed[2] = 0.0199;
  EXPECT_EQ(warnings_of(rounds, m),
            std::vector<std::string>{
                "bench_fixed's DNA time was as short as 19.9 ms, under 20 ticks of the clock "
                "(one tick is 1 ms): the clock's resolution limits how precise it is."});
  m.clock_tick = 0;  // unknown
  EXPECT_TRUE(warnings_of(rounds, m).empty());
}

TEST(Warnings, MachineState) {
  const auto rounds = rounds_with({1, 1, 1, 1, 1, 1});
  MachineRecord m = quiet_machine();
  m.load_before = "1.00 2.00 2.00";
  m.load_after = "3.49 1.00 1.00";
  EXPECT_TRUE(warnings_of(rounds, m).empty());
  m.load_before = "1.01 0.00 0.00";
  m.load_after = "3.51 1.00 1.00";
  m.governor_after = "powersave";
  m.turbo = m.turbo_after = "on";
  const auto w = warnings_of(rounds, m);
  ASSERT_EQ(w.size(), 4U);
  EXPECT_NE(w[0].find("1.01 before the run"), std::string::npos) << w[0];
  EXPECT_NE(w[1].find("3.51 after the run, above 3.5 for 4 logical CPUs"), std::string::npos)
      << w[1];
  EXPECT_NE(w[2].find("Turbo boost is on"), std::string::npos) << w[2];
  EXPECT_NE(w[3].find("from \"performance\" to \"powersave\""), std::string::npos) << w[3];

  m = quiet_machine();
  m.governor = m.governor_after = "schedutil";
  m.turbo_after = "on";
  m.logical_cpus.reset();
  m.load_after = "9.00 9.00 9.00";
  const auto v = warnings_of(rounds, m);
  ASSERT_EQ(v.size(), 2U);
  EXPECT_NE(v[0].find("\"schedutil\", not \"performance\""), std::string::npos) << v[0];
  EXPECT_NE(v[1].find("Turbo boost changed during the run"), std::string::npos) << v[1];
}

TEST(Warnings, InTheirFixedOrder) {
  auto rounds = rounds_with({1, 2, 3, 4, 5}, "RFFRR");
  rounds[0].random[1] = 1e-6;
  auto tests = steady_tests();
  tests[1].random.mad = 0.5;
  MachineRecord m;
  m.clock_tick = 1e-6;
  m.governor = "powersave";
  const auto w = warnings_for(rounds, tests, m);
  ASSERT_EQ(w.size(), 5U);
  EXPECT_EQ(w[0].rfind("Only 5 counted rounds", 0), 0U) << w[0];
  EXPECT_NE(w[1].find("Float times vary"), std::string::npos) << w[1];
  EXPECT_NE(w[2].find("Integer differences drift"), std::string::npos) << w[2];
  EXPECT_NE(w[3].find("bench_random's Float time"), std::string::npos) << w[3];
  EXPECT_NE(w[4].find("governor is \"powersave\""), std::string::npos) << w[4];
}

TEST(Warnings, EachHasItsKindSubjectAndFigure) {
  auto rounds = rounds_with({1, 2, 3, 4, 5, 6, 7, 8});
  auto tests = steady_tests();
  tests[2].fixed = Summary{0.2, 0.0146};
  const auto w = warning_list(rounds, tests, MachineRecord{});
  ASSERT_EQ(w.size(), 2U);
  EXPECT_EQ(w[0].kind, WarningKind::Spread);
  EXPECT_EQ(w[0].subject, "bench_fixed's DNA");
  EXPECT_NEAR(w[0].size, 7.3, 1e-9);
  EXPECT_EQ(w[1].kind, WarningKind::Drift);
  EXPECT_EQ(w[1].subject, "Integer");
  EXPECT_EQ(warnings_for(rounds, tests, MachineRecord{}),
            (std::vector<std::string>{w[0].text, w[1].text}));
}

PlacedWarning at(int session, Warning w) {
  return {"Session " + std::to_string(session) + ": ", "session " + std::to_string(session),
          std::move(w)};
}

TEST(WarningSummary, ARepeatedKindIsOneLineWithItsCountAndWorstCase) {
  const std::vector<PlacedWarning> found = {
      at(1, {WarningKind::Drift, "Integer", 0.31, "drift one"}),
      at(1, {WarningKind::Spread, "bench_fixed's DNA", 7.5, "spread alone"}),
      at(2, {WarningKind::Drift, "Integer", 0.67, "drift two"}),
      at(3, {WarningKind::Drift, "DNA", 0.45, "drift three"}),
  };
  EXPECT_EQ(summarise_warnings(found, 5, "sessions"),
            (std::vector<std::string>{"Drift during the run in 3 of 15 series (largest lag-1 "
                                      "autocorrelation 0.67: session 2, Integer).",
                                      "Session 1: spread alone"}));
}

TEST(WarningSummary, TheWorstCaseOfAKindWhereSmallerIsWorse) {
  const std::vector<PlacedWarning> found = {
      at(1, {WarningKind::Position, "Float", 0.04, "a"}),
      at(2, {WarningKind::Position, "DNA", 0.001, "b"}),
      at(1, {WarningKind::Resolution, "bench_random's Float", 2e-6, "c"}),
      at(2, {WarningKind::Resolution, "bench_random's Float", 1e-5, "d"}),
      at(1, {WarningKind::Contention, "", 0, "e"}),
      at(3, {WarningKind::Contention, "", 0, "f"}),
  };
  EXPECT_EQ(summarise_warnings(found, 3, "sessions"),
            (std::vector<std::string>{
                "The difference depends on which program ran first in 2 of 9 series (smallest "
                "Mann-Whitney p 0.001: session 2, DNA).",
                "Times within 20 ticks of the clock in 2 of 18 series (shortest 2 us: session 1, "
                "bench_random's Float).",
                "Other work took the processor in 2 of 3 sessions."}));
  // Each found once keeps its own sentence; none gives none.
  EXPECT_EQ(summarise_warnings({found[0]}, 3, "sessions"),
            std::vector<std::string>{"Session 1: a"});
  EXPECT_TRUE(summarise_warnings({}, 3, "sessions").empty());
}

}  // namespace
}  // namespace compare
