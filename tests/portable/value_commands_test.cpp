#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <cstring>

#include "runtime/commands/value_commands.h"
#include "runtime/core/runtime_error.h"

namespace {

ByteArray Bytes(std::initializer_list<std::uint8_t> bytes) { return ByteArray(bytes.begin(), bytes.end()); }

template <class T>
ByteArray BytesOf(T value) {
  ByteArray bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

DateTime At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return DateTimeFromParts({year, month, day, hour, minute, second});
}

}  // namespace

TEST(ToText, Numbers) {
  EXPECT_EQ(ToText(std::uint8_t{255}), "255");
  EXPECT_EQ(ToText(std::int16_t{-32768}), "-32768");
  EXPECT_EQ(ToText(std::int32_t{-2147483647 - 1}), "-2147483648");
  EXPECT_EQ(ToText(std::int64_t{-9223372036854775807LL - 1}), "-9223372036854775808");
  EXPECT_EQ(ToText(0.1f), "0.1");
  EXPECT_EQ(ToText(3.14159274f), "3.14159");
  EXPECT_EQ(ToText(1234567.0f), "1.23457e+06");
  EXPECT_EQ(ToText(0.1), "0.1");
  EXPECT_EQ(ToText(1.0 / 3.0), "0.3333333333333");
  EXPECT_EQ(ToText(-2.5), "-2.5");
}

TEST(ToText, LogicalTextsAndBytes) {
  EXPECT_EQ(ToText(Logical{1}), "真");
  EXPECT_EQ(ToText(Logical{-7}), "真");
  EXPECT_EQ(ToText(Logical{0}), "假");
  EXPECT_EQ(ToText(std::string_view("copy")), "copy");
  EXPECT_EQ(ToText(Bytes({'a', 'b', 0, 'c'})), "ab");
  EXPECT_EQ(ToText(Bytes({'a', 'b'})), "ab");
  EXPECT_EQ(ToText(ByteArray()), "");
  EXPECT_EQ(ToText(Value{std::int32_t{42}}), "42");
  EXPECT_EQ(ToText(Value{MakeText("t")}), "t");
}

TEST(ToText, DateTimeOmitsTrailingZeroFieldsAndPadsNothing) {
  EXPECT_EQ(ToText(At(2011, 1, 22)), "2011年1月22日");
  EXPECT_EQ(ToText(At(2011, 1, 22, 12)), "2011年1月22日12时");
  EXPECT_EQ(ToText(At(2011, 1, 22, 14, 3)), "2011年1月22日14时3分");
  EXPECT_EQ(ToText(At(2011, 1, 22, 14, 3, 5)), "2011年1月22日14时3分5秒");
  // Seconds without minutes still show every time field.
  EXPECT_EQ(ToText(At(2011, 1, 22, 0, 0, 9)), "2011年1月22日0时0分9秒");
  EXPECT_EQ(ToText(DateTime{0}), "1899年12月30日");
  EXPECT_EQ(ToText(DateTime{-1e9}), "100年1月1日");
  EXPECT_EQ(ToText(DateTime{1e9}), "9999年12月31日");
}

TEST(DateTime, OleDayNumbersAndTimeOfDay) {
  EXPECT_DOUBLE_EQ(At(1899, 12, 30).days, 0.0);
  EXPECT_DOUBLE_EQ(At(1900, 1, 1).days, 2.0);
  EXPECT_DOUBLE_EQ(At(2000, 1, 1).days, 36526.0);
  EXPECT_DOUBLE_EQ(At(100, 1, 1).days, kDateTimeMin);
  EXPECT_DOUBLE_EQ(At(9999, 12, 31).days, kDateTimeMax);
  EXPECT_DOUBLE_EQ(At(2000, 1, 1, 18).days, 36526.75);
  // Before 1899 the fraction still counts forwards from midnight.
  EXPECT_DOUBLE_EQ(At(1899, 12, 29, 6).days, -1.25);
  const DateTimeParts early = DateTimeSplit(DateTime{-1.25});
  EXPECT_EQ((std::array{early.year, early.month, early.day, early.hour}), (std::array{1899, 12, 29, 6}));
}

TEST(DateTime, SplitRoundTripsEverySecondOfADayAndLeapDays) {
  for (int second = 0; second < 86400; second += 7) {
    const DateTimeParts parts = DateTimeSplit(At(2024, 2, 29, second / 3600, second / 60 % 60, second % 60));
    ASSERT_EQ((std::array{parts.year, parts.month, parts.day}), (std::array{2024, 2, 29})) << second;
    ASSERT_EQ(parts.hour * 3600 + parts.minute * 60 + parts.second, second);
  }
  const DateTimeParts noLeap = DateTimeSplit(DateTime{At(1900, 2, 28).days + 1});
  EXPECT_EQ((std::array{noLeap.month, noLeap.day}), (std::array{3, 1}));
  // 23:59:59.9 rounds into the next day rather than showing 24 hours.
  const DateTimeParts rounded = DateTimeSplit(DateTime{At(2010, 12, 31).days + 86399.9 / 86400});
  EXPECT_EQ((std::array{rounded.year, rounded.month, rounded.day, rounded.hour}),
            (std::array{2011, 1, 1, 0}));
}

TEST(ValueFromBytes, EveryTypeCodeReadsLittleEndian) {
  EXPECT_EQ(std::get<std::uint8_t>(ValueFromBytes(Bytes({0xFE, 1}), 1)), 0xFE);
  EXPECT_EQ(std::get<std::int16_t>(ValueFromBytes(Bytes({0xFE, 0xFF}), 2)), -2);
  EXPECT_EQ(std::get<std::int32_t>(ValueFromBytes(Bytes({0x78, 0x56, 0x34, 0x12}), 3)), 0x12345678);
  EXPECT_EQ(std::get<std::int64_t>(ValueFromBytes(BytesOf(std::int64_t{-5}), 4)), -5);
  EXPECT_EQ(std::get<float>(ValueFromBytes(BytesOf(1.5f), 5)), 1.5f);
  EXPECT_EQ(std::get<double>(ValueFromBytes(BytesOf(-0.25), 6)), -0.25);
  EXPECT_TRUE(std::get<Logical>(ValueFromBytes(Bytes({0, 0, 0, 0x80}), 7)));
  EXPECT_FALSE(std::get<Logical>(ValueFromBytes(Bytes({0, 0, 0, 0}), 7)));
  EXPECT_EQ(std::get<DateTime>(ValueFromBytes(BytesOf(40565.5), 8)).days, 40565.5);
  EXPECT_EQ(std::get<DateTime>(ValueFromBytes(BytesOf(-1e7), 8)).days, kDateTimeMin);
  EXPECT_EQ(std::get<DateTime>(ValueFromBytes(BytesOf(1e7), 8)).days, kDateTimeMax);
  EXPECT_EQ(std::get<SubroutineAddress>(ValueFromBytes(Bytes({1, 2, 3, 4}), 9)).value, 0x04030201u);
  EXPECT_EQ(std::get<Text>(ValueFromBytes(Bytes({'a', 'b', 0, 'c'}), 10)), "ab");
  EXPECT_EQ(std::get<Text>(ValueFromBytes(Bytes({'a', 'b'}), 10)), "ab");
}

TEST(ValueFromBytes, MissingHighBytesAreZeroAndPositionsBelowOneReadNothing) {
  EXPECT_EQ(std::get<std::int32_t>(ValueFromBytes(Bytes({0xFF, 0xFF}), 3)), 0xFFFF);
  EXPECT_EQ(std::get<std::int64_t>(ValueFromBytes(ByteArray(), 4)), 0);
  EXPECT_EQ(std::get<std::int32_t>(ValueFromBytes(Bytes({1, 2, 3, 4, 5}), 3, 2)), 0x05040302);
  EXPECT_EQ(std::get<std::int32_t>(ValueFromBytes(Bytes({1, 2, 3, 4}), 3, 9)), 0);
  EXPECT_EQ(std::get<std::int32_t>(ValueFromBytes(Bytes({1, 2, 3, 4}), 3, 0)), 0);
  EXPECT_EQ(std::get<Text>(ValueFromBytes(Bytes({'a'}), 10, 2)), "");
}

TEST(ValueFromBytes, PositionVariableAdvancesAndTurnsMinusOneAtTheEnd) {
  const ByteArray bytes = Bytes({1, 0, 0, 0, 2, 0, 0, 0});
  std::int32_t position = 1;
  EXPECT_EQ(std::get<std::int32_t>(ValueFromBytes(bytes, 3, &position)), 1);
  EXPECT_EQ(position, 5);
  EXPECT_EQ(std::get<std::int32_t>(ValueFromBytes(bytes, 3, &position)), 2);
  EXPECT_EQ(position, -1);
  EXPECT_EQ(std::get<std::int32_t>(ValueFromBytes(bytes, 3, &position)), 0);
  EXPECT_EQ(position, -1);

  const ByteArray texts = Bytes({'a', 0, 'b', 'c', 0, 'd'});
  position = 1;
  EXPECT_EQ(std::get<Text>(ValueFromBytes(texts, 10, &position)), "a");
  EXPECT_EQ(position, 3);
  EXPECT_EQ(std::get<Text>(ValueFromBytes(texts, 10, &position)), "bc");
  EXPECT_EQ(position, 6);
  EXPECT_EQ(std::get<Text>(ValueFromBytes(texts, 10, &position)), "d");
  EXPECT_EQ(position, -1);
}

#ifndef _WIN32
// On Windows the error shows a message box; the Windows tests cover it there.
TEST(ValueFromBytesDeathTest, InvalidTypeCodeIsARunTimeError) {
  const std::string message(RuntimeErrorMessage("“欲取出数据的类型”参数值无效", 0));
  EXPECT_EXIT(ValueFromBytes(ByteArray(4), 11), testing::ExitedWithCode(255), testing::HasSubstr(message));
  EXPECT_EXIT(ValueFromBytes(ByteArray(4), 0, 1), testing::ExitedWithCode(255), testing::HasSubstr(message));
}
#endif

TEST(ValueCommands, BytesFromAddressCopies) {
  const char source[] = {'x', 0, 'y'};
  const ByteArray copy = BytesFromAddress(source, 3);
  EXPECT_EQ(copy, Bytes({'x', 0, 'y'}));
  EXPECT_TRUE(BytesFromAddress(source, 0).empty());
  EXPECT_TRUE(BytesFromAddress(source, -1).empty());
}

TEST(ValueCommands, BitOr) {
  EXPECT_EQ(BitOr({1, 2, 4}), 7);
  EXPECT_EQ(BitOr({5}), 5);
  const std::int32_t both = BitOr({static_cast<std::int32_t>(0x80000000u), 0x40000000});
  EXPECT_LT(both, 0);
  EXPECT_EQ(static_cast<std::uint32_t>(both), 0xC0000000u);
}

TEST(ValueCommands, NowHasWholeSecondsAndTicksAdvance) {
  const DateTime now = NowDateTime();
  const double seconds = now.days * 86400.0;
  EXPECT_NEAR(seconds, std::round(seconds), 1e-3);
  EXPECT_GT(now.days, At(2020, 1, 1).days);
  const std::int32_t first = SystemTicks();
  std::int32_t later = first;
  for (int i = 0; i < 100000000 && later == first; ++i) later = SystemTicks();
  EXPECT_NE(later, first);
}
