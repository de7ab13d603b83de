// The session-level figures against values worked out by hand. The stand-in
// sessions run at different speeds: each session's times are one set of
// round times multiplied by that session's own factor, as a machine whose
// speed changes between sessions would give them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "compare/history/baseline.h"
#include "compare/report/report.h"
#include "compare/running/progress.h"
#include "compare/stats/across_sessions.h"
#include "compare/stats/comparison.h"
#include "compare/stats/statistical_tests.h"

namespace compare {
namespace {

// Six rounds within half a percent of each other, as one session's rounds
// are: random times 1.000 .. 1.005 s shuffled (median 1.0025 s) and fixed
// times a fifth of them, each multiplied by the session's factor.
constexpr double kMedian = 1.0025;
std::vector<Round> session(int index, double factor, double random_scale = 1) {
  const double base[6] = {1.003, 1.000, 1.005, 1.001, 1.004, 1.002};
  std::vector<Round> rounds;
  for (int i = 0; i < 6; ++i) {
    Round r;
    r.index = i + 1;
    r.session = index;
    r.first = i % 4 == 0 || i % 4 == 3 ? Side::Random : Side::Fixed;
    for (int t = 0; t < kTests; ++t) {
      const double time = factor * base[i] * (t + 1);
      r.random.at(t) = random_scale * time;
      r.fixed.at(t) = time / 5;
    }
    rounds.push_back(r);
  }
  return rounds;
}

std::vector<std::vector<Round>> sessions_at(const std::vector<double>& factors,
                                            double random_scale = 1) {
  std::vector<std::vector<Round>> sessions;
  for (std::size_t s = 0; s < factors.size(); ++s) {
    sessions.push_back(session(static_cast<int>(s) + 1, factors[s], random_scale));
  }
  return sessions;
}

// Student's t for 2 degrees of freedom at 0.975, from tables.
constexpr double kT2 = 4.302652729911275;

void write_file(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

TEST(Sessions, GeometricMeanOfSessionMediansWithTOnTheirLogarithms) {
  // Factors 1/2, 1, 2: their logarithms are -ln 2, 0, ln 2, with mean 0 and
  // standard deviation ln 2, so the geometric mean is the unscaled median and
  // the interval that times exp(+-t * ln 2 / sqrt 3).
  const auto tests = summarise_sessions(sessions_at({0.5, 1, 2}));
  ASSERT_EQ(tests.size(), 3U);
  const double spread = std::exp(kT2 * std::log(2.0) / std::sqrt(3.0));
  for (int t = 0; t < kTests; ++t) {
    const TestResult& r = tests.at(static_cast<std::size_t>(t));
    const double random = kMedian * (t + 1);
    const double fixed = random / 5;
    const double difference = random - fixed;
    EXPECT_EQ(r.name, kTestNames.at(static_cast<std::size_t>(t)));
    EXPECT_NEAR(r.random.median, random, 1e-12);
    EXPECT_NEAR(r.fixed.median, fixed, 1e-12);
    EXPECT_NEAR(r.difference, difference, 1e-12);
    ASSERT_TRUE(r.random_interval && r.fixed_interval && r.interval);
    EXPECT_NEAR(r.random_interval->low, random / spread, 1e-9 * random / spread);
    EXPECT_NEAR(r.random_interval->high, random * spread, 1e-9 * random * spread);
    EXPECT_NEAR(r.fixed_interval->high, fixed * spread, 1e-9 * fixed * spread);
    EXPECT_NEAR(r.interval->low, difference / spread, 1e-9 * difference / spread);
    EXPECT_NEAR(r.interval->high, difference * spread, 1e-9 * difference * spread);
    EXPECT_NEAR(r.ratio, 5, 1e-12);
    EXPECT_NEAR(r.ns_per_execution, difference * 1e3, 1e-6);
    EXPECT_TRUE(std::isnan(r.random.mad));
  }
  // Two sessions, factors 1 and 4: logarithms 0 and 2 ln 2, mean ln 2, standard
  // deviation sqrt 2 ln 2, standard error ln 2; t for 1 degree of freedom 12.7062.
  const auto two = summarise_sessions(sessions_at({1, 4}));
  ASSERT_TRUE(two[0].random_interval);
  const double two_high = 2 * kMedian * std::exp(12.706204736174707 * std::log(2.0));
  EXPECT_NEAR(two[0].random.median, 2 * kMedian, 1e-12);
  EXPECT_NEAR(two[0].random_interval->high, two_high, 1e-9 * two_high);
  // A single session has no interval across sessions.
  EXPECT_FALSE(summarise_sessions(sessions_at({1}))[0].interval);
}

TEST(Sessions, RoundsSplitBySessionInOrder) {
  std::vector<Round> rounds = session(2, 1);
  const std::vector<Round> first = session(1, 3);
  rounds.insert(rounds.begin() + 2, first.begin(), first.end());
  const auto split = by_session(rounds);
  ASSERT_EQ(split.size(), 2U);
  EXPECT_EQ(split[0].size(), 6U);
  EXPECT_EQ(split[0][0].session, 1);
  EXPECT_DOUBLE_EQ(split[0][0].random[0], 3 * 1.003);
  EXPECT_EQ(split[1][2].index, 3);  // the rounds after the interruption keep their order
  EXPECT_EQ(split[1][2].session, 2);
  // Rounds from before sessions existed are all session 1.
  EXPECT_EQ(by_session(session(1, 1)).size(), 1U);
}

TEST(Sessions, TheSameBuildAtDifferentSpeedsIsNoChange) {
  // Both sides' sessions wander by a few percent, while each session's rounds
  // agree within half a percent: pooled rounds call that a change, sessions
  // do not. Sorted, the sessions run now, then, now, now, then, then.
  const auto now = sessions_at({0.97, 1.0, 1.02});
  const auto then = sessions_at({0.99, 1.026, 1.05});
  const auto verdicts = compare_sessions(now, then);
  ASSERT_EQ(verdicts.size(), 9U);
  for (const Verdict& v : verdicts) {
    EXPECT_EQ(v.verdict, VerdictKind::NoSignificantChange)
        << v.test << " " << series_name(v.series);
    ASSERT_TRUE(v.result.interval);
    EXPECT_LT(v.result.interval->low, 1);
    EXPECT_GT(v.result.interval->high, 1);
    EXPECT_GE(v.p_adjusted.value_or(-1), v.result.p.value_or(2));
  }
  EXPECT_EQ(verdicts[0].test, "Integer");
  EXPECT_STREQ(series_name(verdicts[2].series), "difference");
  EXPECT_EQ(verdicts[8].test, "DNA");
  // The fault this replaces: a rank test of the pooled rounds finds a change.
  std::vector<double> pooled_now;
  std::vector<double> pooled_then;
  for (const auto& s : now) {
    for (double v : series(s, Side::Random, 0)) pooled_now.push_back(v);
  }
  for (const auto& s : then) {
    for (double v : series(s, Side::Random, 0)) pooled_then.push_back(v);
  }
  EXPECT_LT(mann_whitney(pooled_now, pooled_then).p, 0.01);
}

TEST(Sessions, VerdictsInBothDirectionsAdjustedTogether) {
  // Now bench_random takes half the time at the same session speeds; fixed is
  // unchanged, so the difference shrinks too.
  const auto then = sessions_at({1.0, 1.02, 0.98});
  const auto now = sessions_at({1.01, 0.99, 1.0}, 0.5);
  const auto verdicts = compare_sessions(now, then);
  ASSERT_EQ(verdicts.size(), 9U);
  std::vector<double> p;
  for (std::size_t t = 0; t < kTests; ++t) {
    const Verdict& random = verdicts.at(3 * t);
    const Verdict& fixed = verdicts.at(3 * t + 1);
    const Verdict& difference = verdicts.at(3 * t + 2);
    EXPECT_EQ(random.verdict, VerdictKind::Faster);
    EXPECT_NEAR(random.result.ratio.value_or(-1), 0.5, 0.02);
    EXPECT_EQ(fixed.verdict, VerdictKind::NoSignificantChange);
    // Differences 4/5 of the time then, 1/2 - 1/5 = 3/10 now: a ratio of 3/8.
    EXPECT_EQ(difference.verdict, VerdictKind::Faster);
    EXPECT_NEAR(difference.result.ratio.value_or(-1), 0.375, 0.02);
    for (const Verdict* v : {&random, &fixed, &difference}) p.push_back(v->result.p.value_or(-1));
  }
  // Holm over all nine: the smallest p is multiplied by 9.
  const auto smallest = std::min_element(p.begin(), p.end()) - p.begin();
  EXPECT_NEAR(verdicts.at(static_cast<std::size_t>(smallest)).p_adjusted.value_or(-1),
              std::min(1.0, 9 * p.at(static_cast<std::size_t>(smallest))), 1e-15);

  // The other way round: slower.
  EXPECT_EQ(compare_sessions(then, now)[0].verdict, VerdictKind::Slower);
}

TEST(Sessions, OneSessionOnEitherSideGivesNoVerdict) {
  // The ratio of the geometric means is still given: 1 / sqrt(2 * 2.1), then sqrt(1.1) / 2.
  struct Case {
    std::vector<double> now, then;
    double ratio;
  };
  for (const Case& c :
       {Case{{1}, {2, 2.1}, 1 / std::sqrt(4.2)}, Case{{1, 1.1}, {2}, std::sqrt(1.1) / 2}}) {
    const auto now = sessions_at(c.now);
    const auto then = sessions_at(c.then);
    const auto verdicts = compare_sessions(now, then);
    ASSERT_EQ(verdicts.size(), 9U);
    for (const Verdict& v : verdicts) {
      EXPECT_EQ(v.verdict, VerdictKind::TooFewSessions);
      EXPECT_FALSE(v.result.p);
      EXPECT_FALSE(v.result.interval);
    }
    EXPECT_NEAR(verdicts[0].result.ratio.value_or(-1), c.ratio, 1e-12);
    EXPECT_NEAR(verdicts[8].result.ratio.value_or(-1), c.ratio, 1e-12);
  }
}

TEST(Sessions, ADifferenceAtOrBelowZeroHasNoVerdictButTheOthersDo) {
  auto now = sessions_at({1, 1.01});
  auto then = sessions_at({1, 1.02});
  for (auto& s : now) {
    for (Round& r : s) r.fixed[2] = r.random[2];  // DNA: random - fixed = 0
  }
  const auto verdicts = compare_sessions(now, then);
  EXPECT_EQ(verdicts[8].verdict, VerdictKind::NotComparable);
  EXPECT_EQ(verdicts[0].verdict, VerdictKind::NoSignificantChange);
}

TEST(Sessions, DisagreementIsOneNoteWithTheWidestSpread) {
  // Sessions at 1 and 1.2: every round of the second is slower than every
  // round of the first (H = 8.31, p = 0.0039) in each of the nine series; the
  // medians spread by 0.2 / 1.1 = 18.2% of their median.
  const std::string note = sessions_note(sessions_at({1, 1.2}));
  EXPECT_EQ(note.rfind("The sessions differ beyond their own rounds in 9 of 9 series "
                       "(Kruskal-Wallis at 0.05); their medians spread over up to 18.2% of their "
                       "median (",
                       0),
            0U)
      << note;
  // Sessions whose rounds interleave agree; one session has nothing to disagree with.
  EXPECT_EQ(sessions_note(sessions_at({1, 1.001, 1})), "");
  EXPECT_EQ(sessions_note(sessions_at({1.5})), "");
}

// A comparison made of sessions, as main assembles it.
Comparison made_of(const std::vector<double>& factors) {
  Comparison c;
  c.version = "1.2.3";
  c.builds.resize(1);
  const auto sessions = sessions_at(factors);
  for (std::size_t k = 0; k < sessions.size(); ++k) {
    c.builds.front().sessions.push_back({static_cast<int>(k) + 1,
                                         "2026-12-08T22:30:0" + std::to_string(k) + "Z",
                                         sessions[k], summarise(sessions[k])});
  }
  summarise_comparison(c);
  return c;
}

TEST(SessionsReport, OneSessionSaysWhatItsIntervalDescribes) {
  const Comparison c = made_of({1});
  EXPECT_EQ(rounds_of(pair_of(c)).size(), 6U);
  EXPECT_FALSE(pair_of(c).tests.at(0).random_interval);
  EXPECT_NEAR(pair_of(c).tests.at(0).random.mad, 0.0015, 1e-12);  // the rounds' own figures
  const std::string text = text_report(c);
  EXPECT_NE(text.find("distribution.\nThat interval describes the seconds this comparison ran in"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("By session:"), std::string::npos);
  EXPECT_EQ(to_json(c)["method"]["across_sessions"], false);
}

TEST(Progress, CountsEveryBuildsRunsInTheSessionsToCome) {
  RunSettings settings;
  settings.builds.resize(3);  // six runs a round
  settings.rounds = 20;
  settings.warmup = 1;
  settings.sessions = 2;
  settings.pause = 30;
  // 10 runs left now, then a pause and 21 rounds of 6 runs: 0.5 * (10 + 126) + 30.
  EXPECT_EQ(progress_text(settings, {1, 0, 0}, "round", 3, 20, 0.5, 10, 12),
            "session 1 of 2: round 3 of 20 done, about 98 s left");
  EXPECT_EQ(progress_text(settings, {2, 0, 0}, "round", 3, 20, 0.5, 10, 12),
            "session 2 of 2: round 3 of 20 done, about 5 s left");
  // A precision goal adds sessions until it is met: only the limit is known.
  settings.precision = 1;
  settings.time_limit = 100;
  EXPECT_EQ(progress_text(settings, {3, 0, 0}, "round", 3, 20, 0.5, 10, 40),
            "session 3: round 3 of 20 done, up to 60 s left");
}

TEST(SessionsReport, ASessionCutShortIsSaidToCountAsAWholeOne) {
  Comparison c = made_of({1, 1.01, 0.99});
  EXPECT_TRUE(std::none_of(c.warnings.begin(), c.warnings.end(), [](const std::string& w) {
    return w.find("cut short") != std::string::npos;
  }));
  std::vector<Round>& last = c.builds.front().sessions.back().rounds;
  last.resize(2);  // as a failure in its third round leaves it
  summarise_comparison(c);
  const std::string said =
      "Session 3 was cut short after 2 of the 6 rounds the others ran; across sessions it counts "
      "once, as each whole session does.";
  for (const auto* list : {&c.warnings, &c.warnings_shown}) {
    EXPECT_EQ(std::count(list->begin(), list->end(), said), 1);
  }
  EXPECT_NE(text_report(c).find("Session 3 was cut short after 2"), std::string::npos);
}

TEST(SessionsReport, ExportsKeepEverySessionAndReadBackAsSessions) {
  Comparison c = made_of({1, 1.2});
  // Every round of session 2 is slower than every round of session 1: a note
  // under the sessions' table, not a warning, since the interval includes it.
  EXPECT_EQ(c.sessions_note.rfind("The sessions differ beyond their own rounds in ", 0), 0U)
      << c.sessions_note;
  for (const std::string& w : c.warnings) EXPECT_EQ(w.find("sessions differ"), std::string::npos);
  const nlohmann::json j = to_json(c);
  EXPECT_EQ(j["method"]["across_sessions"], true);
  ASSERT_EQ(j["sessions"].size(), 2U);
  EXPECT_EQ(j["sessions"][1]["index"], 2);
  EXPECT_EQ(j["sessions"][1]["started_at"], "2026-12-08T22:30:01Z");
  EXPECT_FALSE(j["sessions"][1].contains("rounds"));  // each round is stored once, at the top
  EXPECT_EQ(j["format"], 2);
  EXPECT_NEAR(j["sessions"][1]["tests"][0]["random"]["median"].get<double>(), 1.2 * kMedian, 1e-12);
  EXPECT_EQ(j["rounds"].size(), 12U);
  EXPECT_EQ(j["rounds"][6]["session"], 2);
  EXPECT_EQ(j["rounds"][6]["index"], 1);
  // Across sessions the programs' figures carry their intervals.
  EXPECT_TRUE(j["tests"][0]["random"]["low"].is_number());
  EXPECT_TRUE(j["tests"][0]["fixed"]["high"].is_number());

  const std::string text = text_report(c);
  const std::size_t table = text.find("Integer  1.098 [");
  const std::size_t line =
      text.find("\n  2        2026-12-08T22:30:01Z  6       1.203, 0.2406, 0.9624");
  EXPECT_NE(table, std::string::npos) << text;
  EXPECT_NE(line, std::string::npos) << text;
  EXPECT_LT(table, line);
  const std::size_t note = text.find("\nThe sessions differ beyond their own rounds");
  EXPECT_NE(note, std::string::npos) << text;
  EXPECT_LT(line, note);
  EXPECT_EQ(j["sessions_note"], c.sessions_note);

  // Written and read back as a baseline, the rounds fall into their sessions
  // again; without the session key (an older export) they are one session.
  const std::string path = ::testing::TempDir() + "sessions_test_baseline.json";
  write_file(path, j.dump());
  EXPECT_EQ(by_session(read_baseline(path).rounds).size(), 2U);
  // Format 1 repeated each session's rounds under it: read as before, once.
  nlohmann::json first = j;
  first.erase("format");
  for (auto& session : first["sessions"]) {
    session["rounds"] = nlohmann::json::array();
    for (const auto& round : j["rounds"]) {
      if (round["session"] == session["index"]) session["rounds"].push_back(round);
    }
  }
  write_file(path, first.dump());
  EXPECT_EQ(read_baseline(path).rounds.size(), 12U);
  nlohmann::json old = j;
  for (auto& round : old["rounds"]) round.erase("session");
  old.erase("sessions");
  write_file(path, old.dump());
  EXPECT_EQ(by_session(read_baseline(path).rounds).size(), 1U);
  old["rounds"][3]["session"] = 0;
  write_file(path, old.dump());
  EXPECT_THROW(read_baseline(path), std::runtime_error);
  (void)std::remove(path.c_str());
}

}  // namespace
}  // namespace compare
