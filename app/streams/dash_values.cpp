#include "app/streams/dash_values.h"

#include "app/streams/playlist_text.h"

std::optional<double> DashDurationSeconds(std::string_view text) {
  text = PlaylistTrimmed(text);
  if (!text.starts_with('P')) return std::nullopt;
  text.remove_prefix(1);
  bool inTime = false;
  bool any = false;
  double seconds = 0;
  while (!text.empty()) {
    if (text.front() == 'T') {
      if (inTime) return std::nullopt;
      inTime = true;
      text.remove_prefix(1);
      continue;
    }
    std::size_t length = 0;
    while (length < text.size() && ((text[length] >= '0' && text[length] <= '9') || text[length] == '.'))
      ++length;
    if (length == 0 || length == text.size()) return std::nullopt;
    const auto number = PlaylistDecimal(text.substr(0, length));
    if (!number) return std::nullopt;
    double unit = 0;
    switch (text[length]) {
      case 'Y':
        unit = inTime ? 0 : 365 * 86400.0;
        break;
      case 'M':
        unit = inTime ? 60 : 30 * 86400.0;
        break;
      case 'W':
        unit = inTime ? 0 : 7 * 86400.0;
        break;
      case 'D':
        unit = inTime ? 0 : 86400;
        break;
      case 'H':
        unit = inTime ? 3600 : 0;
        break;
      case 'S':
        unit = inTime ? 1 : 0;
        break;
    }
    if (unit == 0) return std::nullopt;
    seconds += *number * unit;
    any = true;
    text.remove_prefix(length + 1);
  }
  if (!any || seconds > 1e12) return std::nullopt;
  return seconds;
}

std::optional<ByteRange> DashByteRange(std::string_view text) {
  text = PlaylistTrimmed(text);
  const std::size_t dash = text.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  const auto first = PlaylistUnsigned(PlaylistTrimmed(text.substr(0, dash)));
  const auto last = PlaylistUnsigned(PlaylistTrimmed(text.substr(dash + 1)));
  if (!first || !last || *last < *first || *last == UINT64_MAX) return std::nullopt;
  return ByteRange{*first, *last - *first + 1};
}
