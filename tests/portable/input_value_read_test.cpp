#include <gtest/gtest.h>

#include <cmath>

#include "runtime/commands/input_value_read.h"

TEST(InputIntegerRead, ReadsTheLeadingInteger) {
  EXPECT_EQ(InputIntegerRead("-12abc"), -12);
  EXPECT_EQ(InputIntegerRead("  \t+7 8"), 7);
  EXPECT_EQ(InputIntegerRead("12-3"), 12);
  EXPECT_EQ(InputIntegerRead("3.9"), 3);
  EXPECT_EQ(InputIntegerRead(""), 0);
  EXPECT_EQ(InputIntegerRead("-"), 0);
  EXPECT_EQ(InputIntegerRead("abc12"), 0);
  EXPECT_EQ(InputIntegerRead("- 5"), 0) << "the sign must touch the digits";
  EXPECT_EQ(InputIntegerRead("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(InputIntegerRead("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(InputIntegerRead("18446744073709551617"), 1) << "wraps instead of overflowing";
}

TEST(InputNumberRead, ReadsTheLeadingDecimalNumber) {
  EXPECT_DOUBLE_EQ(InputNumberRead("-1.5e3x"), -1500.0);
  EXPECT_DOUBLE_EQ(InputNumberRead(" .5"), 0.5);
  EXPECT_DOUBLE_EQ(InputNumberRead("7."), 7.0);
  EXPECT_DOUBLE_EQ(InputNumberRead("2e"), 2.0);
  EXPECT_DOUBLE_EQ(InputNumberRead("2e+"), 2.0);
  EXPECT_DOUBLE_EQ(InputNumberRead("2E-2"), 0.02);
  EXPECT_DOUBLE_EQ(InputNumberRead("1.2.3"), 1.2);
  EXPECT_EQ(InputNumberRead("."), 0.0);
  EXPECT_EQ(InputNumberRead("-e5"), 0.0);
  EXPECT_EQ(InputNumberRead("inf"), 0.0) << "only decimal numbers";
  EXPECT_EQ(InputNumberRead("nan"), 0.0);
  EXPECT_EQ(InputNumberRead("0x10"), 0.0);
  EXPECT_TRUE(std::isinf(InputNumberRead("1e999")));
}
