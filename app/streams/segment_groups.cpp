#include "app/streams/segment_groups.h"

#include <algorithm>
#include <tuple>

#include "app/streams/web_address.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

constexpr std::string_view kNumberMark = "{#}";

}  // namespace

std::optional<SegmentAddressSplit> SegmentAddressSplitOf(std::string_view address) {
  const std::size_t hash = address.find('#');
  if (hash != std::string_view::npos) address = address.substr(0, hash);
  const WebAddressParts parts = WebAddressSplit(address);
  if (parts.path.empty()) return std::nullopt;  // (an empty view may point nowhere in the address)
  // Where the path starts and ends inside the address.
  const std::size_t pathStart = static_cast<std::size_t>(parts.path.data() - address.data());
  const std::size_t pathEnd = pathStart + parts.path.size();
  const std::size_t lastSlash = parts.path.rfind('/');
  const std::size_t segmentStart =
      lastSlash == std::string_view::npos ? pathStart : pathStart + lastSlash + 1;
  // Not the extension's digits (".mp4", ".m4s"): those are the same in every segment.
  const std::size_t dot = address.substr(segmentStart, pathEnd - segmentStart).rfind('.');
  std::size_t end = dot == std::string_view::npos ? pathEnd : segmentStart + dot;
  while (end > segmentStart && !IsDigit(address[end - 1])) --end;
  if (end == segmentStart) return std::nullopt;
  std::size_t start = end;
  while (start > segmentStart && IsDigit(address[start - 1])) --start;
  if (end - start > kSegmentNumberMaxDigits) return std::nullopt;
  SegmentAddressSplit split;
  for (std::size_t i = start; i < end; ++i)
    split.number = split.number * 10 + static_cast<std::uint64_t>(address[i] - '0');
  split.pattern.reserve(address.size());
  split.pattern.append(address.substr(0, start)).append(kNumberMark).append(address.substr(end));
  return split;
}

std::vector<SegmentGroup> SegmentGroupsForm(std::span<const std::string> addresses) {
  struct Entry {
    std::string pattern;
    std::uint64_t number;
    std::size_t index;
  };
  std::vector<Entry> entries;
  entries.reserve(addresses.size());
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    if (auto split = SegmentAddressSplitOf(addresses[i]))
      entries.push_back({std::move(split->pattern), split->number, i});
  }
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return std::tie(a.pattern, a.number, a.index) < std::tie(b.pattern, b.number, b.index);
  });
  std::vector<SegmentGroup> groups;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Entry& entry = entries[i];
    if (!groups.empty() && groups.back().pattern == entry.pattern) {
      SegmentGroup& group = groups.back();
      if (entry.number == group.lastNumber) continue;  // the same segment again
      if (entry.number == group.lastNumber + 1) {
        group.lastNumber = entry.number;
        group.members.push_back(entry.index);
        continue;
      }
    }
    groups.push_back({entry.pattern, entry.number, entry.number, {entry.index}});
  }
  return groups;
}
