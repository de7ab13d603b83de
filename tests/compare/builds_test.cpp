// bench_compare --build end to end, on stand-ins whose speed steps with the
// wall clock (drift_standin.cpp): only comparing builds within a round
// cancels it.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "../support.h"

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

constexpr double kRandom[3] = {0.012, 0.008, 0.004};
constexpr double kFixed[3] = {0.002, 0.003, 0.001};

class Builds : public ::testing::Test {
 protected:
  // A build tree DIR/bench_random/bench_random and DIR/bench_fixed/bench_fixed
  // whose bench_random takes `random_by` times as long in test `slower`.
  std::string build(const std::string& name, int slower = -1, double random_by = 1) {
    std::string dir = dir_.file(name);
    for (const char* role : {"random", "fixed"}) {
      const std::string program = fmt::format("{}/bench_{}/bench_{}", dir, role, role);
      fs::create_directories(fs::path(program).parent_path());
      fs::create_symlink(STANDIN, program);
      const bool random = std::string(role) == "random";
      std::string times;
      for (int t = 0; t < 3; ++t) {
        const double base = random ? kRandom[t] * (t == slower ? random_by : 1) : kFixed[t];
        times += fmt::format(" {:.9g}", base);
      }
      support::write_file(program + ".conf", std::string(role) + times + "\n");
    }
    return dir;
  }

  support::RunResult compare(std::vector<std::string> args) {
    support::RunOptions options(dir_.path);
    options.args = std::move(args);
    return support::run(BENCH_COMPARE, options);
  }

  // The verdicts of the JSON export by "TEST series".
  std::map<std::string, std::string> verdicts(const std::string& name) {
    std::map<std::string, std::string> found;
    const json j = json::parse(support::read_file(dir_.file(name)));
    for (const json& c : j["comparisons"]) {
      found[c["test"].get<std::string>() + " " + c["series"].get<std::string>()] = c["verdict"];
    }
    return found;
  }

  support::TempDir dir_;
};

TEST_F(Builds, IdenticalBuildsGetNoVerdictAndTheOrdersAreBalanced) {
  const support::RunResult r =
      compare({"--build", "a=" + build("a"), "--build", "b=" + build("b"), "--rounds", "40",
               "--seed", "5", "--json", dir_.file("out.json")});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto found = verdicts("out.json");
  ASSERT_EQ(found.size(), 9U);
  for (const auto& [series, verdict] : found) EXPECT_EQ(verdict, "no significant change") << series;

  // Each block of two rounds: every program once per round, the second
  // round the first's reverse, so every program's mean position is 2.5.
  const json j = json::parse(support::read_file(dir_.file("out.json")));
  ASSERT_EQ(j["rounds"].size(), 40U);
  std::set<std::string> orders;
  for (std::size_t r = 0; r + 1 < j["rounds"].size(); r += 2) {
    std::vector<std::string> first = j["rounds"][r]["order"];
    std::vector<std::string> second = j["rounds"][r + 1]["order"];
    ASSERT_EQ(first.size(), 4U);
    EXPECT_EQ(std::set<std::string>(first.begin(), first.end()).size(), 4U);
    EXPECT_EQ(second, std::vector<std::string>(first.rbegin(), first.rend()));
    for (const char* build : {"a", "b"}) {
      for (const char* program : {"random_position", "fixed_position"}) {
        const int p1 = j["rounds"][r]["builds"][build][program];
        const int p2 = j["rounds"][r + 1]["builds"][build][program];
        EXPECT_EQ(p1 + p2, 5) << build << " " << program << " in block " << r / 2 + 1;
      }
    }
    orders.insert(fmt::format("{}", fmt::join(first, ",")));
  }
  EXPECT_GT(orders.size(), 1U) << "the order is drawn anew for each block";
}

TEST_F(Builds, ABuildSlowerInOneTestIsSlowerThereAndNowhereElse) {
  const support::RunResult r =
      compare({"--build", "ref=" + build("ref"), "--build", "slow=" + build("slow", 0, 1.03),
               "--rounds", "40", "--seed", "11", "--json", dir_.file("out.json"), "--csv",
               dir_.file("out.csv"), "--html", dir_.file("out.html")});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto found = verdicts("out.json");
  ASSERT_EQ(found.size(), 9U);
  for (const auto& [series, verdict] : found) {
    // The difference random - fixed grows with bench_random's time.
    const bool changed = series == "Integer random" || series == "Integer difference";
    EXPECT_EQ(verdict, changed ? "slower" : "no significant change") << series;
  }
  EXPECT_NE(r.out.find("Integer: against ref"), std::string::npos) << r.out;
  const json j = json::parse(support::read_file(dir_.file("out.json")));
  for (const json& c : j["comparisons"]) {
    if (c["test"] == "Integer" && c["series"] == "random") {
      EXPECT_NEAR(c["ratio"]["estimate"].get<double>(), 1.03, 0.005);
    }
  }
  // The report shows the programs' paths from where it ran; the export keeps
  // them whole.
  EXPECT_NE(r.out.find(" ref/bench_random/bench_random"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find(dir_.file("ref")), std::string::npos) << r.out;
  EXPECT_EQ(j["builds"][0]["random"], dir_.file("ref/bench_random/bench_random"));
  // The page leads with every ratio in one chart, a row for each series.
  const std::string html = support::read_file(dir_.file("out.html"));
  const std::size_t chart = html.find("<svg");
  ASSERT_NE(chart, std::string::npos);
  EXPECT_LT(chart, html.find("<table"));
  const std::string first = html.substr(chart, html.find("</svg>", chart) - chart);
  for (const json& c : j["comparisons"]) {
    const std::string row =
        fmt::format("slow: {} {}", c["test"].get<std::string>(), c["series"].get<std::string>());
    EXPECT_NE(first.find(">" + row + "<"), std::string::npos) << row;
  }
  // 40 rounds, 2 builds, 2 programs, 3 tests, and the heading.
  EXPECT_EQ(support::lines_of(support::read_file(dir_.file("out.csv"))).size(), 481U);

  // --merge takes the export as one entry per build.
  const support::RunResult merged = compare({"--merge", dir_.file("out.json")});
  ASSERT_EQ(merged.status, 0) << merged.err;
  EXPECT_NE(merged.out.find("2 entries"), std::string::npos) << merged.out;
  EXPECT_NE(merged.out.find("ref (reference)"), std::string::npos) << merged.out;
  EXPECT_NE(merged.out.find("  slow "), std::string::npos) << merged.out;
}

TEST_F(Builds, BadBuildsAreRefusedBeforeAnyRun) {
  const std::string a = build("a");
  fs::create_directory(dir_.file("empty"));
  const struct {
    std::vector<std::string> args;
    int status;
    std::string says;
  } cases[] = {
      {{"--build", "a=" + a}, 2, "--build needs 2 to 16 builds; 1 given"},
      {{"--build", "a=" + a, "--build", "a=" + a}, 2, "the label a is given twice"},
      {{"--build", "a=" + a, "--build", "b=" + a, "--reference", "c"},
       2,
       "--reference c: no build"},
      {{"--build", "a=" + a, "--build", a}, 2, "give it as LABEL=DIR"},
      {{"--build", "a=" + a, "--build", "b=" + dir_.file("none")}, 1, "is not a directory"},
      {{"--build", "a=" + a, "--build", "b=" + dir_.file("empty")}, 1, "holds no bench_random"},
      {{"--build", "a=" + a, "--build", "b=" + a, "--random", a}, 2, "not --random"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    const support::RunResult r = compare(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(support::lines_of(r.err).at(0).find(c.says), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir_.file("results_complex_32.txt")));
  }
}

}  // namespace
