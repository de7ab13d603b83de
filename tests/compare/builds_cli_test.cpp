// bench_compare --build end to end on stand-in builds whose every run's
// times are planned (builds_standins.h).
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <regex>
#include <set>

#include "builds_standins.h"

namespace {

using namespace builds_standins;  // the stand-in builds and their fixture

TEST_F(BuildsCli, EachSessionCountsOnceThroughItsMedian) {
  // Build b is 10% slower in random, times a factor of its session; each
  // session's first round is far off, which its median ignores.
  constexpr int kRounds = 6;
  const double session[3] = {1.0, 1.0005, 1.01};
  const double wobble[kRounds] = {0.3, -0.01, 0, 0, 0.01, -0.01};
  const Factor slower = [&](bool random, int, int run) {
    // Runs past the third session are planned but never run: they keep its factor.
    const int s = std::min((run - 1) / kRounds, 2);
    return random ? 1.1 * session[s] * (1 + wobble[(run - 1) % kRounds]) : 1.0;
  };
  for (const int sessions : {2, 3}) {
    SCOPED_TRACE(sessions);
    const std::string a = fmt::format("a{}", sessions);
    const std::string b = fmt::format("b{}", sessions);
    const json j = exported({"--build", build(a, kSame), "--build", build(b, slower), "--rounds",
                             std::to_string(kRounds), "--warmup", "0", "--sessions",
                             std::to_string(sessions), "--pause", "0", "--seed", "4"});
    ASSERT_EQ(j["sessions"].size(), static_cast<std::size_t>(sessions));
    std::map<int, int> rounds_of_session;
    for (const json& round : j["rounds"]) {
      EXPECT_EQ(round["builds"].size(), 2U);
      ++rounds_of_session[round["session"].get<int>()];
    }
    for (int s = 1; s <= sessions; ++s) EXPECT_EQ(rounds_of_session[s], kRounds) << s;

    // The ratio is the geometric mean of the sessions' median ratios, the
    // difference random - fixed's too.
    double log_random = 0;
    double log_difference[3] = {0, 0, 0};
    for (int s = 0; s < sessions; ++s) {
      log_random += std::log(1.1 * session[s]) / sessions;
      for (int t = 0; t < 3; ++t) {
        log_difference[t] +=
            std::log((kRandom[t] * 1.1 * session[s] - kFixed[t]) / (kRandom[t] - kFixed[t])) /
            sessions;
      }
    }
    const auto found = by_series(j);
    ASSERT_EQ(found.size(), 9U);
    for (int t = 0; t < 3; ++t) {
      const std::string test = kTests[t];
      const std::string name = fmt::format("{} {}", b, test);
      const json& random = found.at(name + " random");
      EXPECT_NEAR(ratio(random), std::exp(log_random), 2e-4) << test;
      EXPECT_EQ(random["verdict"], "slower") << test;
      const json& difference = found.at(name + " difference");
      EXPECT_NEAR(ratio(difference), std::exp(log_difference[t]), 2e-4) << test;
      // Identical times in every round: a tie, no verdict of a change.
      const json& fixed = found.at(name + " fixed");
      EXPECT_NE(fixed["verdict"], "slower") << test;
      EXPECT_NE(fixed["verdict"], "faster") << test;
    }
  }
}

TEST_F(BuildsCli, RatiosAreAgainstTheReferenceGivenAndSoAreAMergesOfTheExport) {
  const auto by = [](double k) { return [k](bool random, int, int) { return random ? k : 1.0; }; };
  const json j =
      exported({"--build", build("A", by(1.1)), "--build", build("B", kSame), "--build",
                build("C", by(1.2)), "--reference", "B", "--rounds", "12", "--warmup", "0"});
  EXPECT_EQ(j["reference"], "B");
  const auto found = by_series(j);
  ASSERT_EQ(found.size(), 18U);
  for (const auto& [series, c] : found) {
    ASSERT_NE(c["entry"], "B") << series;
    if (c["series"] != "random") continue;
    EXPECT_NEAR(ratio(c), c["entry"] == "A" ? 1.1 : 1.2, 1e-6) << series;
  }
  const support::RunResult merged =
      compare({"--merge", dir_.file("out.json"), "--json", dir_.file("merged.json")});
  ASSERT_EQ(merged.status, 0) << merged.err;
  EXPECT_NE(merged.out.find("B (reference)"), std::string::npos) << merged.out;
  EXPECT_EQ(merged.out.find("A (reference)"), std::string::npos) << merged.out;
  EXPECT_EQ(merged.out.find("against A"), std::string::npos) << merged.out;
  // The builds ran in the same rounds: the merge compares them round by
  // round, as --build did, and finds the same.
  const json m = json::parse(support::read_file(dir_.file("merged.json")));
  ASSERT_EQ(m["comparisons"].size(), 18U);
  for (const json& c : m["comparisons"]) {
    const std::string key =
        fmt::format("{} {} {}", c["entry"].get<std::string>(), c["test"].get<std::string>(),
                    c["series"].get<std::string>());
    const json& same = found.at(key);
    EXPECT_EQ(c["method"], "sign test of agreeing blocks") << key;
    EXPECT_EQ(c["ratio"], same["ratio"]) << key;
    EXPECT_EQ(c["p_value"], same["p_value"]) << key;
    EXPECT_EQ(c["verdict"], same["verdict"]) << key;
  }
}

// Holm's step-down adjustment of every p given.
std::vector<double> holm(const std::vector<double>& p) {
  std::vector<std::size_t> order(p.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](auto x, auto y) { return p[x] < p[y]; });
  std::vector<double> adjusted(p.size());
  double running = 0;
  for (std::size_t k = 0; k < order.size(); ++k) {
    running = std::max(running, std::min(1.0, static_cast<double>(p.size() - k) * p[order[k]]));
    adjusted[order[k]] = running;
  }
  return adjusted;
}

TEST_F(BuildsCli, ThreeBuildsAreAdjustedTogetherAndTheOrdersAreNotRotations) {
  // B is 5% slower in Integer's random; C's DNA random is 1% slower in 9
  // mirrored blocks of 10 and 1% faster in the last: p = 2 * 11/1024 alone,
  // but not after Holm.
  const auto noisy = [](int salt, int slower_test, const std::function<double(int)>& by) {
    return [=](bool random, int t, int run) {
      return (1 + noise(salt + random, t, run)) * (random && t == slower_test ? by(run) : 1.0);
    };
  };
  const json j = exported({"--build", build("A", noisy(1, -1, nullptr)), "--build",
                           build("B", noisy(3, 0, [](int) { return 1.05; })), "--build",
                           build("C", noisy(5, 2, [](int run) { return run > 18 ? 0.99 : 1.01; })),
                           "--rounds", "20", "--warmup", "0", "--seed", "12"});
  std::vector<double> p;
  std::vector<double> adjusted;
  for (const json& c : j["comparisons"]) {
    p.push_back(c["p_value"].get<double>());
    adjusted.push_back(c["p_adjusted"].get<double>());
    const bool significant = adjusted.back() < 0.05;
    const std::string said = c["verdict"];
    EXPECT_EQ(said == "slower" || said == "faster", significant) << c.dump();
  }
  ASSERT_EQ(p.size(), 18U);
  const std::vector<double> want = holm(p);
  for (std::size_t i = 0; i < p.size(); ++i) EXPECT_NEAR(adjusted[i], want[i], 1e-12) << i;
  const auto found = by_series(j);
  EXPECT_EQ(found.at("B Integer random")["verdict"], "slower");
  EXPECT_NEAR(found.at("C DNA random")["p_value"].get<double>(), 22.0 / 1024, 1e-12);
  EXPECT_EQ(found.at("C DNA random")["verdict"], "no significant change");

  // Six programs a round: a shuffle that only rotates one order has 6 orders.
  std::set<std::vector<std::string>> orders;
  for (const json& round : j["rounds"]) orders.insert(round["order"]);
  EXPECT_GT(orders.size(), 6U);
}

TEST_F(BuildsCli, AFailedRunStopsEveryBuildAfterTheRoundsBefore) {
  // A seed whose round 4 runs some of alpha before beta's bench_random
  // fails, so that a round kept for alpha alone would show: the orders are a
  // function of the seed, so the search ends the same way every time.
  support::RunResult r;
  std::vector<std::string> runs;
  for (int seed = 1; seed <= 64; ++seed) {
    for (const char* state : {"alpha_random.count", "alpha_fixed.count", "beta_random.count",
                              "beta_fixed.count", "order"}) {
      std::filesystem::remove(dir_.file(state));
    }
    r = compare({"--build", build("alpha", kSame), "--build", build("beta", kSame, 4), "--rounds",
                 "6", "--warmup", "0", "--seed", std::to_string(seed), "--quiet", "--json",
                 dir_.file("out.json")});
    runs = support::lines_of(support::read_file(dir_.file("order")));
    if (std::any_of(runs.begin() + 12, runs.end(),
                    [](const std::string& run) { return run.rfind("alpha", 0) == 0; })) {
      break;
    }
  }
  EXPECT_EQ(r.status, 1);
  ASSERT_EQ(runs.back(), "beta_random");
  ASSERT_TRUE(std::any_of(runs.begin() + 12, runs.end(),
                          [](const std::string& run) { return run.rfind("alpha", 0) == 0; }));
  const std::vector<std::string> lines = support::lines_of(r.err);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find("beta") != std::string::npos; }),
            1)
      << r.err;
  const json j = json::parse(support::read_file(dir_.file("out.json")));
  ASSERT_EQ(j["rounds"].size(), 3U) << j["rounds"].dump();
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(j["rounds"][i]["index"], i + 1);
    EXPECT_EQ(j["rounds"][i]["builds"].size(), 2U) << i;
  }
}

TEST_F(BuildsCli, SixteenBuildsAreComparedAndSeventeenRefused) {
  std::vector<std::string> args = {"--rounds", "2", "--warmup", "0", "--quiet"};
  for (int b = 1; b <= 17; ++b) {
    const std::vector<std::string> more = {"--build", build(fmt::format("b{}", b), kSame)};
    if (b == 17) {
      args.insert(args.end(), more.begin(), more.end());
      const support::RunResult r = compare(args);
      EXPECT_EQ(r.status, 2);
      // One line, and where to find --help.
      const std::vector<std::string> lines = support::lines_of(r.err);
      ASSERT_LE(lines.size(), 2U) << r.err;
      EXPECT_NE(lines.at(0).find("16"), std::string::npos) << r.err;
      EXPECT_NE(lines.back().find(lines.size() == 2 ? "--help" : "16"), std::string::npos) << r.err;
      EXPECT_FALSE(std::filesystem::exists(dir_.file("b17_random.count")));
      break;
    }
    args.insert(args.end(), more.begin(), more.end());
    if (b < 16) continue;
    const json j = exported(args);
    EXPECT_EQ(j["builds"].size(), 16U);
    EXPECT_EQ(j["comparisons"].size(), 15U * 9);
    EXPECT_EQ(j["rounds"].size(), 2U);
    std::filesystem::remove(dir_.file("out.json"));
  }
}

TEST_F(BuildsCli, TheSameSeedDrawsTheSameCountedOrdersWhateverTheWarmUp) {
  const std::vector<std::string> builds = {"--build", build("a", kSame), "--build",
                                           build("b", kSame)};
  std::vector<json> orders;
  for (const char* warmup : {"0", "3"}) {
    std::vector<std::string> args = builds;
    args.insert(args.end(), {"--rounds", "8", "--seed", "21", "--warmup", warmup});
    json seen = json::array();
    const json j = exported(args);
    for (const json& round : j["rounds"]) seen.push_back(round["order"]);
    orders.push_back(seen);
  }
  ASSERT_EQ(orders[0].size(), 8U);
  EXPECT_EQ(orders[0], orders[1]);
}

TEST_F(BuildsCli, ADifferenceNotPositiveInSomeRoundsIsNotComparableAndCounted) {
  // b's Float fixed takes longer than its random in 6 rounds of 20.
  const Factor slow_fixed = [](bool random, int t, int run) {
    return !random && t == 1 && run % 3 == 0 ? 3.0 : 1.0;
  };
  const json j = exported({"--build", build("a", kSame), "--build", build("b", slow_fixed),
                           "--rounds", "20", "--warmup", "0"});
  const json c = by_series(j).at("b Float difference");
  EXPECT_EQ(c["verdict"], "not comparable");
  EXPECT_TRUE(c["ratio"]["estimate"].is_null()) << c.dump();
  const std::string text = std::regex_replace(report_, std::regex("\\s+"), " ");
  EXPECT_NE(text.find("not comparable"), std::string::npos) << report_;
  EXPECT_TRUE(
      std::regex_search(text, std::regex(R"(\b6\b[^.]{0,40}rounds?\b|\brounds?\b[^.]{0,20}\b6\b)")))
      << report_;
}

TEST_F(BuildsCli, TiedTimesGetNoVerdictOfAChangeAndAVerdictsIntervalExcludes1) {
  // Identical builds, in one session and in two; then b slower by 1% in 22
  // rounds of 40 and tied in the rest: p and the interval follow one rule.
  const Factor partly = [](bool random, int t, int run) {
    return random && t == 0 && run % 20 < 11 ? 1.01 : 1.0;
  };
  const struct {
    const char* sessions;
    const char* rounds;
    Factor b;
  } cases[] = {{"1", "6", kSame}, {"2", "6", kSame}, {"1", "40", partly}};
  int n = 0;
  for (const auto& c : cases) {
    const std::string a = fmt::format("a{}", ++n);
    const std::string b = fmt::format("b{}", n);
    const json j = exported({"--build", build(a, kSame), "--build", build(b, c.b), "--rounds",
                             c.rounds, "--warmup", "0", "--sessions", c.sessions, "--pause", "0"});
    ASSERT_EQ(j["comparisons"].size(), 9U);
    for (const json& v : j["comparisons"]) {
      SCOPED_TRACE(v.dump());
      const bool moved = n == 3 && v["test"] == "Integer" && v["series"] != "fixed";
      if (!moved) {
        EXPECT_NE(v["verdict"], "slower");
        EXPECT_NE(v["verdict"], "faster");
      }
      EXPECT_TRUE(v["verdict"] != "slower" || v["ratio"]["low"].get<double>() > 1);
    }
  }
}

}  // namespace
