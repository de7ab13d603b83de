// bench_compare --build with a precision goal, end to end on stand-in builds
// of planned times (builds_standins.h): where the rounds stop, and why, is
// decided by the plan, never by how fast the machine runs them; and --cpu.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "builds_standins.h"
#include "compare/running/cpus.h"
#include "compare/stats/stopping.h"

namespace {

using namespace builds_standins;  // the stand-in builds and their fixture

using Paired = std::vector<std::vector<std::pair<double, double>>>;

// Build b's times wobble by its own planned noise, a's by another: their
// ratio's spread is about 0.4%.
const Factor kWobbly = [](bool random, int test, int run) {
  return 1 + noise(random ? 1 : 2, test, run);
};
const Factor kSteady = [](bool random, int test, int run) {
  return 1 + noise(random ? 3 : 4, test, run);
};

// One series of b against a, per round of the export's first `rounds`.
Paired series_of(const json& j, int test, compare::Series which, std::size_t rounds) {
  Paired p(1);
  for (std::size_t r = 0; r < rounds; ++r) {
    double value[2];
    for (int b = 0; b < 2; ++b) {
      const json& round = j["rounds"][r]["builds"][b == 0 ? "b" : "a"];
      const double random = round["random"][test].get<double>();
      const double fixed = round["fixed"][test].get<double>();
      value[b] = which == compare::Series::Random  ? random
                 : which == compare::Series::Fixed ? fixed
                                                   : random - fixed;
    }
    p.front().emplace_back(value[0], value[1]);
  }
  return p;
}

// The widest sign-free half-width of b's nine series after `rounds` rounds;
// infinite where a series has none.
double widest(const json& j, std::size_t rounds) {
  double most = 0;
  for (int test = 0; test < 3; ++test) {
    for (const compare::Series which : compare::kSeries) {
      const auto reach = compare::sign_free_half_width(series_of(j, test, which, rounds));
      most = std::max(most, reach ? *reach : INFINITY);
    }
  }
  return most;
}

// The report with its wrapped lines joined.
std::string unwrapped(std::string text) {
  for (std::size_t at = text.find("\n  "); at != std::string::npos; at = text.find("\n  ", at))
    text.replace(at, 3, " ");
  return text;
}

TEST_F(BuildsCli, ThePrecisionGoalStopsAtTheFirstBlockWhoseWidthIsWithinIt) {
  constexpr double kWithin = 0.003;
  const json j =
      exported({"--build", build("a", kSteady), "--build", build("b", kWobbly), "--rounds", "6",
                "--precision", "0.003", "--time-limit", "100000", "--max-rounds", "150"});
  const json& goal = j["goal"];
  EXPECT_EQ(goal["stopped_by"], "goal") << report_;
  const std::size_t rounds = j["rounds"].size();
  EXPECT_EQ(goal["rounds"], rounds);
  ASSERT_GE(rounds, 14U);  // 12 rounds (6 blocks) are the first with a sign interval
  EXPECT_LE(widest(j, rounds), kWithin);
  EXPECT_GT(widest(j, rounds - 2), kWithin);  // not a block later than it had to
  EXPECT_TRUE(goal["short_of"].empty());
  EXPECT_NE(unwrapped(report_).find(
                fmt::format("The precision goal (every ratio's interval within ±0.3%) "
                            "was met after {} rounds",
                            rounds)),
            std::string::npos)
      << report_;
}

TEST_F(BuildsCli, TheLimitsEndAGoalNotMetAndTheReportNamesWhatFellShort) {
  const std::vector<std::string> builds = {"--build",           build("a", kSteady), "--build",
                                           build("b", kWobbly), "--rounds",          "6"};
  std::vector<std::string> by_rounds = builds;
  by_rounds.insert(by_rounds.end(), {"--precision", "0.0000001", "--max-rounds", "10"});
  json j = exported(by_rounds);
  EXPECT_EQ(j["goal"]["stopped_by"], "round limit");
  EXPECT_EQ(j["rounds"].size(), 10U);
  ASSERT_EQ(j["goal"]["short_of"].size(), 9U);
  EXPECT_EQ(j["goal"]["short_of"][0]["series"], "b Integer random");
  EXPECT_TRUE(j["goal"]["short_of"][0]["half_width"].is_null());  // 5 blocks: no interval yet
  EXPECT_NE(unwrapped(report_).find("the limit of 10 rounds came first"), std::string::npos)
      << report_;

  // Any machine takes longer than a millisecond for the first 6 rounds.
  std::vector<std::string> by_time = builds;
  by_time.insert(by_time.end(), {"--precision", "0.0000001", "--time-limit", "0.001"});
  j = exported(by_time);
  EXPECT_EQ(j["goal"]["stopped_by"], "time limit");
  EXPECT_EQ(j["rounds"].size(), 6U);
  EXPECT_NE(unwrapped(report_).find("the time limit of 0.001 s came first, after 6 rounds"),
            std::string::npos)
      << report_;
  EXPECT_NE(unwrapped(report_).find("Short of it: b Integer random (no interval), "),
            std::string::npos);
}

TEST_F(BuildsCli, APercentForARatioAndAProcessorNotUsableAreRefused) {
  const std::vector<std::string> builds = {"--build", build("a", kSame), "--build",
                                           build("b", kSame)};
  struct Case {
    std::vector<std::string> args;
    std::string said;
  } cases[] = {
      {{"--precision", "5"}, "--precision with --build is a fraction of each ratio, below 1"},
      {{"--cpu", "first"}, "--cpu takes a processor's number or \"quiet\", not first"},
      {{"--cpu", "100000"}, "--cpu 100000: bench_compare may use only processors"},
      {{"--cpu", "-1"}, "--cpu takes a processor's number"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = builds;
    args.insert(args.end(), c.args.begin(), c.args.end());
    const support::RunResult r = compare(args);
    EXPECT_EQ(r.status, 2) << c.said;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2)
        << r.err;  // and the pointer to --help
  }
}

// Every run of the four programs, as the stand-ins saw their allowed processors.
std::set<std::string> cpus_seen(const support::TempDir& dir) {
  std::set<std::string> seen;
  for (const char* role : {"a_random", "a_fixed", "b_random", "b_fixed"}) {
    std::istringstream lines(support::read_file(dir.file(std::string(role) + ".cpus")));
    for (std::string line; std::getline(lines, line);) seen.insert(line);
  }
  return seen;
}

TEST_F(BuildsCli, EveryRunIsKeptToTheProcessorGivenOrChosen) {
  const std::vector<std::string> builds = {"--build",         build("a", kSame), "--build",
                                           build("b", kSame), "--rounds",        "2"};
  // The last processor this test may use: bench_compare inherits the same.
  const std::vector<int> usable = compare::usable_cpus();
  ASSERT_FALSE(usable.empty());
  const int cpu = usable.back();
  std::vector<std::string> args = builds;
  args.insert(args.end(), {"--cpu", std::to_string(cpu)});
  json j = exported(args);
  EXPECT_EQ(j["cpu"]["processor"], cpu);
  EXPECT_EQ(cpus_seen(dir_), std::set<std::string>{fmt::format("Cpus_allowed_list:\t{}", cpu)});
  EXPECT_NE(unwrapped(report_).find(fmt::format("runs kept to   processor {}", cpu)),
            std::string::npos)
      << report_;

  args = builds;
  args.insert(args.end(), {"--cpu", "quiet"});
  for (const char* role : {"a_random", "a_fixed", "b_random", "b_fixed"})
    support::write_file(dir_.file(std::string(role) + ".cpus"), "");
  j = exported(args);
  const int chosen = j["cpu"]["processor"].get<int>();
  EXPECT_EQ(cpus_seen(dir_), std::set<std::string>{fmt::format("Cpus_allowed_list:\t{}", chosen)});
  EXPECT_NE(j["cpu"]["chosen"].get<std::string>().find("the quietest of"), std::string::npos);
  EXPECT_TRUE(json::parse(support::read_file(dir_.file("out.json")))["goal"].is_null());
}

}  // namespace
