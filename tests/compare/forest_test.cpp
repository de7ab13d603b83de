// The forest plot's ratio axis: enough ticks to read a ratio's size.
#include "compare/report/forest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>

namespace compare {
namespace {

TEST(ForestAxis, NarrowRangesTickAtRoundStepsThatInclude1) {
  const std::vector<double> ticks = ratio_ticks(0.9 / 1.05, 1.1 * 1.05);
  ASSERT_GE(ticks.size(), 5U);
  ASSERT_LE(ticks.size(), 9U);
  for (const double want : {0.9, 0.95, 1.0, 1.05, 1.1}) {
    EXPECT_TRUE(std::any_of(ticks.begin(), ticks.end(), [&](double x) {
      return std::fabs(x - want) < 1e-9;
    })) << want;
  }
  // No ratio known: the range about 1 still has ticks either side of it.
  const std::vector<double> around_one = ratio_ticks(1 / 1.05, 1.05);
  EXPECT_LT(around_one.front(), 1);
  EXPECT_GT(around_one.back(), 1);
}

TEST(ForestAxis, WideRangesTick125InEveryDecade) {
  EXPECT_EQ(ratio_ticks(0.15, 8), (std::vector<double>{0.2, 0.5, 1, 2, 5}));
  EXPECT_TRUE(ratio_ticks(NAN, 2).empty());
}

TEST(ForestAxis, TheScriptLabelsEveryTickInItsRange) {
  std::vector<Verdict> verdicts(2);
  verdicts[0].result.ratio = 0.93;
  verdicts[0].result.interval = Interval{0.91, 0.96};
  verdicts[1].result.ratio = 1.06;
  const std::string script = forest_script(verdicts, "t", "f.svg");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(script, m, std::regex("set xtics \\(([^)]*)\\)"))) << script;
  const std::string tics = m[1];
  for (const char* label : {"'0.9' 0.9", "'0.95' 0.95", "'1' 1", "'1.05' 1.05"}) {
    EXPECT_NE(tics.find(label), std::string::npos) << tics;
  }
}

TEST(ForestAxis, TheScriptDrawsEachSeriesDetectableBandWithinItsRange) {
  std::vector<Verdict> verdicts(3);
  verdicts[0].result.ratio = 1.01;
  verdicts[0].detectable = Detectable{1.5, 0.6};
  verdicts[1].result.ratio = 1.02;
  verdicts[1].detectable = Detectable{HUGE_VAL, 0};  // could not see any change: no band
  verdicts[2].result.ratio = 1.03;
  const std::string script = forest_script(verdicts, "t", "f.svg");
  EXPECT_NE(script.find("$seen << EOD\n1 1.3 0.6 1.5\nNaN"), std::string::npos) << script;
  EXPECT_NE(script.find("plot $seen using 1:2:3:4 with xerrorbars"), std::string::npos);
  // The axis reaches the band's ends.
  EXPECT_NE(script.find(fmt::format("set xrange [{:.17g}:{:.17g}]", 0.6 / 1.05, 1.5 * 1.05)),
            std::string::npos);
}

}  // namespace
}  // namespace compare
