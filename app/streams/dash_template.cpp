#include "app/streams/dash_template.h"

#include <optional>

namespace {

constexpr std::size_t kMaxWidth = 32;

std::string NumberText(std::uint64_t value, unsigned base, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string text;
  do {
    text.insert(text.begin(), digits[value % base]);
    value /= base;
  } while (value != 0);
  return text;
}

// The value formatted by "%0<width><d|u|x|X|o>" (or without a format);
// nothing when the format is not one of these.
std::optional<std::string> Formatted(std::uint64_t value, std::string_view format) {
  if (format.empty()) return NumberText(value, 10, false);
  if (format.size() < 2 || format.front() != '%') return std::nullopt;
  const char conversion = format.back();
  std::string_view width = format.substr(1, format.size() - 2);
  unsigned base = 10;
  if (conversion == 'x' || conversion == 'X') {
    base = 16;
  } else if (conversion == 'o') {
    base = 8;
  } else if (conversion != 'd' && conversion != 'u' && conversion != 'i') {
    return std::nullopt;
  }
  std::size_t minimum = 0;
  for (const char c : width) {
    if (c < '0' || c > '9') return std::nullopt;
    minimum = minimum * 10 + static_cast<std::size_t>(c - '0');
    if (minimum > kMaxWidth) return std::nullopt;
  }
  std::string text = NumberText(value, base, conversion == 'X');
  // "%5d" pads with spaces in printf; addresses never hold those, and the
  // standard only allows the zero flag, so both pad with zeros.
  if (text.size() < minimum) text.insert(0, minimum - text.size(), '0');
  return text;
}

}  // namespace

std::string DashTemplateFill(std::string_view pattern, const DashTemplateValues& values) {
  std::string out;
  out.reserve(pattern.size() + 16);
  std::size_t at = 0;
  while (at < pattern.size()) {
    const std::size_t open = pattern.find('$', at);
    if (open == std::string_view::npos) break;
    const std::size_t close = pattern.find('$', open + 1);
    if (close == std::string_view::npos) break;
    out.append(pattern.substr(at, open - at));
    const std::string_view inside = pattern.substr(open + 1, close - open - 1);
    const std::size_t percent = inside.find('%');
    const std::string_view name = inside.substr(0, percent);
    const std::string_view format =
        percent == std::string_view::npos ? std::string_view() : inside.substr(percent);
    std::optional<std::string> value;
    if (inside.empty()) {
      value = "$";
    } else if (name == "RepresentationID" && format.empty()) {
      value = std::string(values.representationId);
    } else if (name == "Number") {
      value = Formatted(values.number, format);
    } else if (name == "Bandwidth") {
      value = Formatted(values.bandwidth, format);
    } else if (name == "Time") {
      value = Formatted(values.time, format);
    }
    if (value) {
      out.append(*value);
      at = close + 1;
    } else {
      // Not an identifier: keep the '$' and look for one from the next.
      out.push_back('$');
      at = open + 1;
    }
  }
  out.append(pattern.substr(at));
  return out;
}
