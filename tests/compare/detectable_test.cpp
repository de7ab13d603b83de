// The smallest change a comparison could have seen: against power
// calculations worked by hand (docs/method.md) and a seeded simulation.
#include "compare/stats/detectable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "compare/report/verdicts.h"
#include "compare/stats/reference.h"

namespace {

using namespace compare;
using Rounds = std::vector<std::pair<double, double>>;

// A session whose blocks' mean log ratios are the given units: each block's
// two rounds both at exp(unit).
Rounds session_of(const std::vector<double>& units) {
  Rounds rounds;
  for (const double u : units) rounds.insert(rounds.end(), 2, {std::exp(u), 1.0});
  return rounds;
}

ReferenceTest sign_test(std::size_t units, double spread) {
  ReferenceTest t;
  t.p = 0.5;
  t.method = RatioMethod::SignTest;
  t.units = units;
  t.spread = spread;
  return t;
}

TEST(Detectable, SignTestMatchesTheHandWorkedCase) {
  // n = 10, m = 9: only all 10 on one side reach 0.05 / 9 (2 / 2^10; 9 of 10
  // give 22 / 2^10), so c = 10 and 0.8 = p^10: p = 0.8^(1/10) = 0.977933,
  // Phi^-1(p) = 2.0128.
  EXPECT_EQ(sign_test_critical(10, kAlpha / 9), 10u);
  EXPECT_EQ(sign_test_critical(10, kAlpha), 9u);  // 22 / 1024 < 0.05 < 112 / 1024
  const std::optional<Detectable> d = detectable(sign_test(10, 0.01), 9);
  ASSERT_TRUE(d);
  EXPECT_NEAR(std::log(d->slower), 0.020128, 1e-6);
  EXPECT_NEAR(std::log(d->faster), -0.020128, 1e-6);
  // The spread as the comparison measures it: 1.4826 MAD of the units.
  const ReferenceTest r =
      paired_ratio({session_of({-2, -1, -1, 0, 0, 0, 0, 1, 1, 2})}, PairedUnit::Block);
  EXPECT_EQ(r.units, 10u);
  EXPECT_NEAR(*r.spread, 1.4826, 1e-12);
}

TEST(Detectable, TooFewUnitsForTheCorrectedLevelCouldSeeNoChange) {
  // 6 units reach 0.05 alone (2 / 64) but never 0.05 / 9.
  EXPECT_TRUE(could_see_any(*detectable(sign_test(6, 0.01), 1)));
  EXPECT_FALSE(could_see_any(*detectable(sign_test(6, 0.01), 9)));
  EXPECT_FALSE(sign_test_critical(6, kAlpha / 9));
  EXPECT_FALSE(detectable(sign_test(40, 0), 1));  // no spread measured
  ReferenceTest untested = sign_test(40, 0.01);
  untested.p.reset();
  EXPECT_FALSE(detectable(untested, 1));
  // More series corrected together: a larger change is needed.
  EXPECT_GT(detectable(sign_test(40, 0.01), 9)->slower, detectable(sign_test(40, 0.01), 1)->slower);
}

TEST(Detectable, StudentsAndWelchsTMatchTables) {
  // m = 5: alpha' = 0.01; t(0.995, 4) = 4.604 and t(0.80, 4) = 0.941 from
  // the tables: d = 5.545 se.
  // Five sessions' medians -0.02 .. 0.02: sd 0.0158114, se = sd / sqrt(5).
  std::vector<Rounds> sessions;
  for (const double median : {-0.02, -0.01, 0.0, 0.01, 0.02})
    sessions.push_back(session_of({median}));
  const ReferenceTest student = paired_ratio(sessions);
  ASSERT_EQ(student.method, RatioMethod::StudentT);
  EXPECT_NEAR(std::log(detectable(student, 5)->slower), 5.545 * 0.00707107, 5e-5);
  // Welch: logs 0.10, 0.12, 0.14 against 0, 0.02, 0.04: equal variances 4e-4
  // of 3 each, so df = 4 and se = sqrt(2 * 4e-4 / 3) = 0.0163299.
  const ReferenceTest welch = unpaired_ratio({std::exp(0.10), std::exp(0.12), std::exp(0.14)},
                                             {1, std::exp(0.02), std::exp(0.04)});
  ASSERT_EQ(welch.method, RatioMethod::Welch);
  EXPECT_NEAR(*welch.df, 4, 1e-9);
  EXPECT_NEAR(-std::log(detectable(welch, 5)->faster), 5.545 * 0.0163299, 1e-4);
}

TEST(Detectable, DecideGivesEachTestedSeriesItsFigureAtHolmsStrictestStep) {
  ReferenceTest few;
  few.untested = VerdictKind::TooFewRounds;
  const std::vector<Decided> d = decide(
      {sign_test(10, 0.01), few, sign_test(10, 0.01), sign_test(10, 0.01), sign_test(10, 0.01)});
  EXPECT_FALSE(d[1].detectable);
  // Four tested: 0.05 / 4 still needs all 10 units (9 of 10 give 0.0215).
  EXPECT_NEAR(std::log(d[0].detectable->slower), 0.020128, 1e-6);
  EXPECT_EQ(detectable_percent(*d[0].detectable), 2.1);  // exp(0.020128) - 1 = 2.033%
}

TEST(Detectable, TablesShowItBesideEveryVerdictAndSayWhatNoChangeRulesOut) {
  std::vector<Verdict> v(4);
  v[0].detectable = Detectable{1.0081, 0.992};  // 0.81% up, rounded up: 0.9%
  v[1].verdict = VerdictKind::Slower;
  v[1].detectable = Detectable{1.02, 0.99};
  v[2].detectable = Detectable{HUGE_VAL, 0};
  v[3].verdict = VerdictKind::TooFewRounds;
  const Table t = verdict_table(v, VerdictRows::ByTest);
  ASSERT_EQ(t.header.at(5), "Detectable");
  EXPECT_EQ(t.rows[0].at(5), "±0.9%");
  EXPECT_EQ(t.rows[0].at(6), "no change beyond ±0.9%");
  EXPECT_EQ(t.rows[1].at(5), "±2.0%");
  EXPECT_EQ(t.rows[1].at(6), "slower");
  EXPECT_EQ(t.rows[2].at(5), "none");
  EXPECT_EQ(t.rows[2].at(6), "could not see any change");
  EXPECT_EQ(t.rows[3].at(5), "");
  EXPECT_EQ(detectable_csv(v[0]), (std::vector<std::string>{"1.0081", "0.992"}));
  EXPECT_EQ(detectable_csv(v[2]), (std::vector<std::string>{"inf", "0"}));
}

// Normal units of a known sigma shifted by the figure: the sign test at
// 0.05 / 3 calls "slower" in 80% of 2,000 seeded repetitions. With the true
// sigma only the simulation's own error remains (sd 0.9%): 0.77-0.83. With
// the figure each comparison reports, from its own 1.4826 MAD of 60 units
// (about 12% off either way, and a little low), the power averages over that
// error and falls short of 80% a little (77% here; docs/method.md): 0.74-0.86.
TEST(Detectable, SignTestCallsAChangeOfTheFigure80PercentOfTheTime) {
  constexpr int kRepetitions = 2000;
  constexpr std::size_t kUnits = 60;
  constexpr std::size_t kTested = 3;
  const double sigma = 0.02;
  std::mt19937_64 gen(29);
  std::normal_distribution<double> noise(0, sigma);
  const auto draw = [&](double shift) {
    std::vector<double> units(kUnits);
    for (double& u : units) u = shift + noise(gen);
    return units;
  };
  const double known = std::log(detectable(sign_test(kUnits, sigma), kTested)->slower);
  int called_known = 0;
  int called_estimated = 0;
  for (int i = 0; i < kRepetitions; ++i) {
    called_known += sign_test_p_with_ties(draw(known)) < kAlpha / kTested ? 1 : 0;
    const ReferenceTest pilot = paired_ratio({session_of(draw(0))}, PairedUnit::Block);
    const double estimated = std::log(detectable(pilot, kTested)->slower);
    called_estimated += sign_test_p_with_ties(draw(estimated)) < kAlpha / kTested ? 1 : 0;
  }
  EXPECT_NEAR(called_known / double(kRepetitions), 0.80, 0.03);
  EXPECT_NEAR(called_estimated / double(kRepetitions), 0.80, 0.06);
}

ReferenceTest agreeing_test(std::size_t blocks, double spread) {
  ReferenceTest t = sign_test(blocks, spread);
  t.method = RatioMethod::AgreeingBlocks;
  return t;
}

TEST(Detectable, AgreeingBlocksMatchTheHandWorkedCase) {
  // 6 blocks, one series: only 6 agreeing blocks of 6 on one side reach 0.05
  // (2 / 64), so the power is P(every block agrees up) = (q^2)^6, q the
  // chance of a round above 0: 0.8 = q^12, q = 0.8^(1/12) = 0.981577,
  // Phi^-1(q) = 2.08746.
  const std::optional<Detectable> d = detectable(agreeing_test(6, 0.01), 1);
  ASSERT_TRUE(d);
  EXPECT_NEAR(std::log(d->slower), 0.0208746, 1e-6);
  EXPECT_NEAR(std::log(d->faster), -0.0208746, 1e-6);
  EXPECT_FALSE(could_see_any(*detectable(agreeing_test(6, 0.01), 2)));
  // The spread is the rounds': 1.4826 MAD of the 12 round log ratios.
  Rounds rounds;
  for (const double u : {-3, -2, -1, -1, 0, 0, 0, 0, 1, 1, 2, 3})
    rounds.emplace_back(std::exp(u), 1);
  const ReferenceTest r = paired_ratio({rounds});
  EXPECT_EQ(r.method, RatioMethod::AgreeingBlocks);
  EXPECT_EQ(r.units, 6u);
  EXPECT_NEAR(*r.spread, 1.4826, 1e-12);
}

// Rounds of normal noise, independent, shifted by the figure: the test of
// agreeing blocks at 0.05 / 3 calls "slower" in 80% of 2,000 seeded
// repetitions with the true sigma (0.77-0.83), and near it with each
// comparison's own 1.4826 MAD of its 60 rounds (0.74-0.86).
TEST(Detectable, AgreeingBlocksCallAChangeOfTheFigure80PercentOfTheTime) {
  constexpr int kRepetitions = 2000;
  constexpr std::size_t kRounds = 60;
  constexpr std::size_t kTested = 3;
  const double sigma = 0.02;
  std::mt19937_64 gen(31);
  std::normal_distribution<double> noise(0, sigma);
  const auto draw = [&](double shift) {
    Rounds rounds(kRounds);
    for (auto& r : rounds) r = {std::exp(shift + noise(gen)), 1.0};
    return rounds;
  };
  const double known = std::log(detectable(agreeing_test(kRounds / 2, sigma), kTested)->slower);
  int called_known = 0;
  int called_estimated = 0;
  for (int i = 0; i < kRepetitions; ++i) {
    called_known += *paired_ratio({draw(known)}).p < kAlpha / kTested ? 1 : 0;
    const double estimated = std::log(detectable(paired_ratio({draw(0)}), kTested)->slower);
    called_estimated += *paired_ratio({draw(estimated)}).p < kAlpha / kTested ? 1 : 0;
  }
  EXPECT_NEAR(called_known / double(kRepetitions), 0.80, 0.03);
  EXPECT_NEAR(called_estimated / double(kRepetitions), 0.80, 0.06);
}

}  // namespace
