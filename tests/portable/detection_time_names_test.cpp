// The saved-name check of the detection tests, with the clock fixed on the
// moments where a name loses fields: a whole minute, a whole hour, midnight.
#include <gtest/gtest.h>

#include "tests/support/detection_time_names.h"

namespace {

DateTime At(int year, int month, int day, int hour, int minute, int second) {
  return DateTimeFromParts({year, month, day, hour, minute, second});
}

TEST(DetectionTimeNames, AWholeMinuteOrHourIsNamedWithoutItsZeroFields) {
  // 21:49:59 to 21:50:01: the copy may be named after any of the three seconds.
  const DateTime beforeMinute = At(2026, 12, 8, 21, 49, 59);
  const DateTime afterMinute = At(2026, 12, 8, 21, 50, 1);
  EXPECT_EQ(DetectionTimeNames(beforeMinute, afterMinute, ".ts"),
            (std::vector<std::string>{"2026年12月8日21时49分59秒.ts", "2026年12月8日21时50分.ts",
                                      "2026年12月8日21时50分1秒.ts"}));
  EXPECT_TRUE(NamedForATimeBetween("2026年12月8日21时50分.ts", beforeMinute, afterMinute, ".ts"));
  EXPECT_FALSE(NamedForATimeBetween("2026年12月8日21时50分0秒.ts", beforeMinute, afterMinute, ".ts"));

  // The clock stands on a whole hour for the whole step.
  const DateTime hour = At(2026, 12, 8, 21, 0, 0);
  EXPECT_TRUE(NamedForATimeBetween("2026年12月8日21时.ts", hour, hour, ".ts"));
  EXPECT_FALSE(NamedForATimeBetween("2026年12月8日21时0分.ts", hour, hour, ".ts"));
  EXPECT_FALSE(NamedForATimeBetween("2026年12月8日21时0分0秒.ts", hour, hour, ".ts"));

  // Past midnight the date changes and no time field is left.
  EXPECT_EQ(DetectionTimeNames(At(2026, 12, 31, 23, 59, 59), At(2027, 1, 1, 0, 0, 0), ".mp4"),
            (std::vector<std::string>{"2026年12月31日23时59分59秒.mp4", "2027年1月1日.mp4"}));
}

TEST(DetectionTimeNames, ANameOutsideTheMomentsOrWithAnotherSuffixDoesNotFit) {
  const DateTime from = At(2026, 12, 8, 21, 50, 0);
  const DateTime to = At(2026, 12, 8, 21, 50, 2);
  EXPECT_TRUE(NamedForATimeBetween("2026年12月8日21时50分2秒.ts", from, to, ".ts"));
  EXPECT_FALSE(NamedForATimeBetween("2026年12月8日21时50分3秒.ts", from, to, ".ts"));
  EXPECT_FALSE(NamedForATimeBetween("2026年12月8日21时49分59秒.ts", from, to, ".ts"));
  EXPECT_FALSE(NamedForATimeBetween("2026年12月8日21时50分.mp4", from, to, ".ts"));
  EXPECT_FALSE(NamedForATimeBetween("2026年12月8日21时50分(2).ts", from, to, ".ts"));
}

}  // namespace
