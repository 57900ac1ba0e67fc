// Text forms of the basic values.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "runtime/commands/value_commands.h"

namespace {

template <class Number>
Text DecimalText(Number value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return Text(buffer, result.ptr);
}

Text FormattedText(const char* format, double value) {
  char buffer[64];
  const int length = std::snprintf(buffer, sizeof buffer, format, value);
  if (length <= 0) return Text();
  return Text(buffer, static_cast<std::size_t>(length) < sizeof buffer ? static_cast<std::size_t>(length)
                                                                       : sizeof buffer - 1);
}

}  // namespace

Text ToText(std::string_view text) {
  const std::size_t end = text.find('\0');
  return MakeText(end == std::string_view::npos ? text : text.substr(0, end));
}

Text ToText(std::uint8_t value) { return DecimalText(static_cast<unsigned>(value)); }
Text ToText(std::int16_t value) { return DecimalText(static_cast<int>(value)); }
Text ToText(std::int32_t value) { return DecimalText(value); }
Text ToText(std::int64_t value) { return DecimalText(value); }

Text ToText(float value) {
  // Six significant digits first, so that the float's binary noise never
  // reaches the text (0.1f shows as 0.1).
  char sixDigits[64];
  std::snprintf(sixDigits, sizeof sixDigits, "%.5e", static_cast<double>(value));
  return FormattedText("%.6g", std::strtod(sixDigits, nullptr));
}

Text ToText(double value) { return FormattedText("%.13g", value); }

Text ToText(Logical value) { return Text(value ? "真" : "假"); }

Text ToText(DateTime value) {
  const DateTimeParts parts = DateTimeSplit(value);
  char buffer[96];
  int length = std::snprintf(buffer, sizeof buffer, "%d年%d月%d日", parts.year, parts.month, parts.day);
  const auto rest = sizeof buffer - static_cast<std::size_t>(length);
  if (parts.second != 0) {
    length += std::snprintf(buffer + length, rest, "%d时%d分%d秒", parts.hour, parts.minute, parts.second);
  } else if (parts.minute != 0) {
    length += std::snprintf(buffer + length, rest, "%d时%d分", parts.hour, parts.minute);
  } else if (parts.hour != 0) {
    length += std::snprintf(buffer + length, rest, "%d时", parts.hour);
  }
  return Text(buffer, static_cast<std::size_t>(length));
}

Text ToText(const ByteArray& bytes) {
  if (bytes.empty()) return Text();
  const auto* start = reinterpret_cast<const char*>(bytes.data());
  const void* zero = std::memchr(start, 0, bytes.size());
  const std::size_t length =
      zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - start) : bytes.size();
  return Text(start, length);
}

Text ToText(const Value& value) {
  return std::visit(
      [](const auto& held) -> Text {
        using Held = std::decay_t<decltype(held)>;
        if constexpr (std::is_same_v<Held, Text>) {
          return ToText(std::string_view(held));
        } else if constexpr (std::is_same_v<Held, SubroutineAddress>) {
          return DecimalText(held.value);
        } else {
          return ToText(held);
        }
      },
      value);
}
