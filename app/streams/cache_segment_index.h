// The elements of one cache folder by web address, for finding a stream's
// segments: where a segment (an address and perhaps a byte range) lies among
// the elements, with all its bytes present.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/browser_caches/cache_element.h"
#include "app/browser_caches/cache_files.h"
#include "app/streams/stream_types.h"

struct SegmentLocation {
  std::size_t element = 0;  // index into the elements given
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

class CacheSegmentIndex {
 public:
  explicit CacheSegmentIndex(std::span<const CacheElement> elements);

  // The element holding every byte of the segment: the whole resource
  // complete, or its byte range present without a hole.  Of several
  // elements of one address (a cache keyed by the top site as well) the
  // first that holds it.
  std::optional<SegmentLocation> Locate(const SegmentRef& segment) const;

  // Every element of that address, in the order given.
  const std::vector<std::size_t>* ElementsOf(const std::string& address) const;

 private:
  std::span<const CacheElement> elements_;
  std::unordered_map<std::string, std::vector<std::size_t>> byAddress_;
};

// True when bytes [offset, offset + length) of the body are present.
bool BodyCovers(const CacheElement& element, std::uint64_t offset, std::uint64_t length);

// Up to `limit` bytes of the body from `offset`, as far as they are present.
std::vector<std::uint8_t> BodyBytes(CacheFolder& folder, const CacheElement& element, std::uint64_t offset,
                                    std::uint64_t limit);
