#include "runtime/commands/input_value_read.h"

#include <cstdlib>
#include <string>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t BlanksSkip(std::string_view text, std::size_t at) {
  while (at < text.size() && IsBlank(text[at])) ++at;
  return at;
}

std::size_t DigitsSkip(std::string_view text, std::size_t at) {
  while (at < text.size() && IsDigit(text[at])) ++at;
  return at;
}

std::size_t SignSkip(std::string_view text, std::size_t at) {
  return at < text.size() && (text[at] == '-' || text[at] == '+') ? at + 1 : at;
}

}  // namespace

std::int64_t InputIntegerRead(std::string_view text) {
  std::size_t at = BlanksSkip(text, 0);
  const bool negative = at < text.size() && text[at] == '-';
  at = SignSkip(text, at);
  std::uint64_t magnitude = 0;
  for (; at < text.size() && IsDigit(text[at]); ++at)
    magnitude = magnitude * 10 + static_cast<unsigned>(text[at] - '0');
  if (negative) magnitude = 0 - magnitude;
  return static_cast<std::int64_t>(magnitude);
}

double InputNumberRead(std::string_view text) {
  const std::size_t start = BlanksSkip(text, 0);
  std::size_t at = SignSkip(text, start);
  const std::size_t wholeEnd = DigitsSkip(text, at);
  std::size_t end = wholeEnd;
  bool anyDigit = wholeEnd > at;
  if (end < text.size() && text[end] == '.') {
    const std::size_t fractionEnd = DigitsSkip(text, end + 1);
    anyDigit = anyDigit || fractionEnd > end + 1;
    end = fractionEnd;
  }
  if (!anyDigit) return 0;
  if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    const std::size_t exponentDigits = SignSkip(text, end + 1);
    const std::size_t exponentEnd = DigitsSkip(text, exponentDigits);
    if (exponentEnd > exponentDigits) end = exponentEnd;  // "1e" and "1e+" stop before the e
  }
  // Only the scanned part reaches strtod, so "inf", "nan" and hex forms are not numbers here.
  const std::string number(text.substr(start, end - start));
  return std::strtod(number.c_str(), nullptr);
}
