#include "app/streams/cache_segment_index.h"

#include <algorithm>
#include <limits>

CacheSegmentIndex::CacheSegmentIndex(std::span<const CacheElement> elements) : elements_(elements) {
  for (std::size_t i = 0; i < elements.size(); ++i) {
    if (elements[i].webAddress.empty() || elements[i].pieces.empty()) continue;
    // Compressed bytes joined as they are would not play: such a segment is missing.
    if (!elements[i].contentEncoding.empty()) continue;
    byAddress_[elements[i].webAddress].push_back(i);
  }
}

const std::vector<std::size_t>* CacheSegmentIndex::ElementsOf(const std::string& address) const {
  const auto found = byAddress_.find(address);
  return found == byAddress_.end() ? nullptr : &found->second;
}

std::optional<SegmentLocation> CacheSegmentIndex::Locate(const SegmentRef& segment) const {
  const std::vector<std::size_t>* candidates = ElementsOf(segment.address);
  if (!candidates) return std::nullopt;
  for (const std::size_t index : *candidates) {
    const CacheElement& element = elements_[index];
    if (!segment.range) {
      // The whole resource: only what the browser finished and holds in full.
      if (IsComplete(element)) return SegmentLocation{index, 0, ContiguousLength(element)};
      continue;
    }
    const std::uint64_t offset = segment.range->offset;
    std::uint64_t length = 0;
    if (segment.range->length) {
      length = *segment.range->length;
    } else {
      // To the end of the resource: its end must be known.
      const std::optional<std::uint64_t> end =
          element.fullLength
              ? element.fullLength
              : (IsComplete(element) ? std::optional(ContiguousLength(element)) : std::nullopt);
      if (!end || *end <= offset) continue;
      length = *end - offset;
    }
    if (length == 0 || !BodyCovers(element, offset, length)) continue;
    return SegmentLocation{index, offset, length};
  }
  return std::nullopt;
}

bool BodyCovers(const CacheElement& element, std::uint64_t offset, std::uint64_t length) {
  if (length > std::numeric_limits<std::uint64_t>::max() - offset) return false;
  const std::uint64_t end = offset + length;
  std::uint64_t at = offset;
  for (const BodyPiece& piece : element.pieces) {
    if (piece.elementOffset + piece.length <= at) continue;
    if (piece.elementOffset > at) return false;  // a hole
    at = piece.elementOffset + piece.length;
    if (at >= end) return true;
  }
  return at >= end;
}

std::vector<std::uint8_t> BodyBytes(CacheFolder& folder, const CacheElement& element, std::uint64_t offset,
                                    std::uint64_t limit) {
  // No more than the pieces could give: the limit may be far above the body.
  const std::uint64_t end =
      element.pieces.empty() ? 0 : element.pieces.back().elementOffset + element.pieces.back().length;
  if (offset >= end) return {};
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min(limit, end - offset)));
  CacheBodyReader reader(folder, element);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::size_t got = reader.Read(offset + done, bytes.data() + done, bytes.size() - done);
    if (got == 0) break;
    done += got;
  }
  bytes.resize(done);
  return bytes;
}
