// The report's number format and the rate derived from a test's time.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "harness/harness.h"

using harness::format_number;
using harness::rate_of;

TEST(NumberFormat, WritesSixSignificantDigitsWithoutTrailingZeros) {
  EXPECT_EQ(format_number(0.0123456789), "0.0123457");
  EXPECT_EQ(format_number(0.015625), "0.015625");
  EXPECT_EQ(format_number(64.0), "64");
  EXPECT_EQ(format_number(81.30081), "81.3008");
  EXPECT_EQ(format_number(0.00009999995), "0.0001");
  EXPECT_EQ(format_number(123456.4), "123456");
  EXPECT_EQ(format_number(0.0), "0");
}

TEST(NumberFormat, WritesExponentsWithAtLeastThreeDigits) {
  EXPECT_EQ(format_number(0.000015), "1.5e-005");
  EXPECT_EQ(format_number(999999.5), "1e+006");
  EXPECT_EQ(format_number(2.5e-7), "2.5e-007");
  EXPECT_EQ(format_number(123456789.0), "1.23457e+008");
  EXPECT_EQ(format_number(1e100), "1e+100");
  EXPECT_EQ(format_number(1.5e-300), "1.5e-300");
}

TEST(NumberFormat, WritesInfinityInTheLibraryForm) {
  EXPECT_EQ(format_number(std::numeric_limits<double>::infinity()), "inf");
}

TEST(Rate, IsTheReciprocalOfTheTime) {
  EXPECT_EQ(rate_of(0.03125), 32.0);
  EXPECT_EQ(format_number(0.03125), "0.03125");
  EXPECT_EQ(format_number(rate_of(0.03125)), "32");
  for (double t : {1e-7, 0.0123, 0.3, 1.7, 42.0}) {
    EXPECT_NEAR(rate_of(t) * t, 1.0, 1e-15) << t;
  }
}

TEST(Rate, OfAZeroTimeIsInfinite) {
  EXPECT_TRUE(std::isinf(rate_of(0.0)));
  EXPECT_EQ(format_number(rate_of(0.0)), "inf");
}
