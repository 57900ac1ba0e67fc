// Grouping stream segments whose playlist was never cached: each address is
// split into a pattern (the address with its sequence number taken out) and
// that number, and the segments of one pattern form one group per run of
// consecutive numbers, in number order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Longest run of digits read as a sequence number; longer runs are ids, not counters.
constexpr std::size_t kSegmentNumberMaxDigits = 18;

struct SegmentAddressSplit {
  // The address without its fragment, the number replaced by "{#}"; two
  // segments of one stream share it whatever their numbers' widths.
  std::string pattern;
  std::uint64_t number = 0;
};

// The number is the LAST run of digits in the final segment of the path,
// before its extension (the text after its last dot) and never in the
// query.  Nothing when there are no such digits (or only a run too long to
// be a counter).
std::optional<SegmentAddressSplit> SegmentAddressSplitOf(std::string_view address);

struct SegmentGroup {
  std::string pattern;
  std::uint64_t firstNumber = 0;
  std::uint64_t lastNumber = 0;
  // Indices into the addresses given, in number order, one per number: of
  // several addresses with the same pattern and number the first given.
  std::vector<std::size_t> members;
};

// Groups ordered by pattern, then by first number.  Addresses without a
// number form no group.
std::vector<SegmentGroup> SegmentGroupsForm(std::span<const std::string> addresses);
