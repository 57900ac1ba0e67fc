// Value commands: text forms of values, typed reads out of raw bytes, the
// date and time, the tick count and the bitwise OR.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <variant>

#include "runtime/core/text.h"

// Days since 30 December 1899 00:00 local time (the OLE automation date).
struct DateTime {
  double days = 0;
};
constexpr double kDateTimeMin = -657434.0;  // 1 January 100
constexpr double kDateTimeMax = 2958465.0;  // 31 December 9999
// Limits a date-time to the valid range (NaN becomes the lowest date).
double DateTimeClamp(double days);

// A logical value: 32 bits, non-zero is true.
struct Logical {
  std::int32_t value = 0;
  explicit operator bool() const { return value != 0; }
};

// Address of a subroutine, as read by ValueFromBytes code 9.
struct SubroutineAddress {
  std::uint32_t value = 0;
};

using Value = std::variant<std::uint8_t, std::int16_t, std::int32_t, std::int64_t, float, double, Logical,
                           DateTime, SubroutineAddress, Text>;

Text ToText(std::string_view text);
Text ToText(std::uint8_t value);
Text ToText(std::int16_t value);
Text ToText(std::int32_t value);
Text ToText(std::int64_t value);
Text ToText(float value);
Text ToText(double value);
Text ToText(Logical value);
Text ToText(DateTime value);
Text ToText(const ByteArray& bytes);
Text ToText(const Value& value);

ByteArray BytesFromAddress(const void* address, std::int32_t count);

// Type codes 1..10; any other code is a run-time error that ends the program.
Value ValueFromBytes(const ByteArray& bytes, std::int32_t typeCode);
Value ValueFromBytes(const ByteArray& bytes, std::int32_t typeCode, std::int32_t startPosition);
// The position variable form: reads at *position (1-based) and advances it
// (-1 once the read went past the last byte).
Value ValueFromBytes(const ByteArray& bytes, std::int32_t typeCode, std::int32_t* position);

DateTime NowDateTime();
std::int32_t SystemTicks();
std::int32_t BitOr(std::initializer_list<std::int32_t> values);

// Calendar parts of a date-time (clamped to the valid range first).
struct DateTimeParts {
  int year, month, day, hour, minute, second;
};
DateTimeParts DateTimeSplit(DateTime value);
DateTime DateTimeFromParts(const DateTimeParts& parts);
