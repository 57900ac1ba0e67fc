#include "runtime/commands/text_commands.h"

#include <algorithm>

#include "runtime/core/text_encoding.h"

namespace {

// A text ends at its first zero byte, whatever the view's size says.
std::string_view Terminated(std::string_view text) {
  const std::size_t end = text.find('\0');
  return end == std::string_view::npos ? text : text.substr(0, end);
}

}  // namespace

std::int32_t TextLength(std::string_view text) { return static_cast<std::int32_t>(Terminated(text).size()); }

Text TextLeft(std::string_view text, std::int32_t count) {
  if (count <= 0) return Text();
  const std::string_view whole = Terminated(text);
  return MakeText(whole.substr(0, std::min<std::size_t>(whole.size(), static_cast<std::size_t>(count))));
}

Text TextRight(std::string_view text, std::int32_t count) {
  if (count <= 0) return Text();
  const std::string_view whole = Terminated(text);
  const std::size_t taken = std::min<std::size_t>(whole.size(), static_cast<std::size_t>(count));
  return MakeText(whole.substr(whole.size() - taken));
}

Text TextToLower(std::string_view text) { return MakeText(AnsiLowered(Terminated(text))); }

TextArray TextSplit(std::string_view text, std::optional<std::string_view> delimiter,
                    std::optional<std::int32_t> limit) {
  const std::string_view whole = Terminated(text);
  const std::string_view separator = delimiter ? Terminated(*delimiter) : std::string_view(",");
  const bool limited = limit.has_value();
  std::int32_t remaining = limited ? std::max<std::int32_t>(*limit, 0) : 0;

  TextArray pieces;
  if (whole.empty() || (limited && remaining == 0)) return pieces;
  if (separator.empty()) {
    pieces.push_back(MakeText(whole));
    return pieces;
  }

  std::size_t segmentStart = 0;
  std::size_t scan = 0;
  while (whole.size() - scan >= separator.size()) {
    if (whole.compare(scan, separator.size(), separator) == 0) {
      pieces.push_back(MakeText(whole.substr(segmentStart, scan - segmentStart)));
      scan += separator.size();
      segmentStart = scan;
      if (limited && --remaining == 0) break;
      continue;
    }
    if (AnsiStartsDoubleByte(whole[scan])) {
      if (scan + 1 >= whole.size()) break;
      scan += 2;
    } else {
      scan += 1;
    }
  }
  if (segmentStart < whole.size() && !(limited && remaining == 0)) {
    pieces.push_back(MakeText(whole.substr(segmentStart)));
  }
  return pieces;
}

Text SpaceText(std::int32_t count) {
  if (count < 1) return Text();
  return Text(static_cast<std::size_t>(count), ' ');
}
