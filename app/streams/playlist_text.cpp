#include "app/streams/playlist_text.h"

PlaylistLines::PlaylistLines(std::string_view text) : rest_(text) {
  if (rest_.starts_with("\xEF\xBB\xBF")) rest_.remove_prefix(3);
}

bool PlaylistLines::Next(std::string_view& line) {
  if (done_) return false;
  const std::size_t end = rest_.find_first_of("\r\n");
  if (end == std::string_view::npos) {
    line = rest_;
    done_ = true;
    return true;
  }
  line = rest_.substr(0, end);
  const std::size_t skip = rest_.substr(end).starts_with("\r\n") ? 2 : 1;
  rest_.remove_prefix(end + skip);
  if (rest_.empty()) done_ = true;  // a final line end opens no empty line
  return true;
}

std::string_view PlaylistTrimmed(std::string_view text) {
  constexpr std::string_view kBlank = " \t\r\n";
  const std::size_t first = text.find_first_not_of(kBlank);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlank) - first + 1);
}

std::optional<std::uint64_t> PlaylistUnsigned(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::optional<double> PlaylistDecimal(std::string_view text) {
  const std::size_t dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
  if (whole.empty() && fraction.empty()) return std::nullopt;
  if (whole.size() > 15) return std::nullopt;
  double value = 0;
  for (const char c : whole) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  double scale = 0.1;
  for (const char c : fraction) {
    if (c < '0' || c > '9') return std::nullopt;
    value += (c - '0') * scale;
    scale /= 10;
  }
  return value;
}
