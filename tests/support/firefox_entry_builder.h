// Firefox cache2 entries built by hand, in the order the browser writes
// them: the raw body first (with version 4's eight 0xFF bytes behind it
// while the entry is open), the metadata and its trailer last.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/browser_caches/firefox_cache2.h"

namespace firefox_entry {

using Bytes = std::vector<std::uint8_t>;

// A body of `length` bytes that tell offsets apart, starting with `head`.
inline Bytes Body(std::size_t length, std::string_view head, std::uint8_t seed) {
  Bytes bytes(length);
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 13 + (i >> 11));
  std::copy(head.begin(), head.end(), bytes.begin());
  return bytes;
}

inline Bytes Mp4(std::size_t length) {
  return Body(length,
              std::string_view("\0\0\0\x20"
                               "ftypisom",
                               12),
              1);
}

inline Bytes Slice(const Bytes& bytes, std::size_t from, std::size_t to) {
  return Bytes(bytes.begin() + from, bytes.begin() + to);
}

inline void PutBe32(Bytes& bytes, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(value >> shift));
}

// What follows a body of `bodySize` bytes once the browser let go of the
// entry: hash, chunk hashes, header, key, `name\0value\0` elements, trailer.
inline Bytes Metadata(std::uint64_t bodySize, std::string_view key, std::string_view responseHead) {
  Bytes meta;
  const std::uint64_t chunks = (bodySize + kFirefoxChunkSize - 1) / kFirefoxChunkSize;
  for (std::uint64_t i = 0; i < chunks; ++i) {
    meta.push_back(static_cast<std::uint8_t>(0x31 + i));
    meta.push_back(0x7E);
  }
  PutBe32(meta, 4);  // version
  for (std::uint32_t field : {1u, 0x6B17D98Eu, 0x6B17D98Eu, 0x4A3B3810u, 0x6B17E79Eu}) PutBe32(meta, field);
  PutBe32(meta, static_cast<std::uint32_t>(key.size()));
  PutBe32(meta, 0);  // flags
  meta.insert(meta.end(), key.begin(), key.end());
  meta.push_back(0);
  const std::pair<std::string_view, std::string_view> elements[] = {
      {"request-method", "GET"}, {"response-head", responseHead}, {"net-response-time-onstop", "12"}};
  for (const auto& [name, value] : elements) {
    meta.insert(meta.end(), name.begin(), name.end());
    meta.push_back(0);
    meta.insert(meta.end(), value.begin(), value.end());
    meta.push_back(0);
  }
  Bytes tail;
  PutBe32(tail, FirefoxCacheHash(meta));
  tail.insert(tail.end(), meta.begin(), meta.end());
  PutBe32(tail, 4);
  PutBe32(tail, static_cast<std::uint32_t>(bodySize));
  return tail;
}

// The eight bytes version 4 keeps behind the body while the entry is open.
inline Bytes OpenMarker() { return Bytes(8, 0xFF); }

inline Bytes Whole(const Bytes& body, std::string_view key, std::string_view responseHead) {
  Bytes entry = body;
  const Bytes meta = Metadata(body.size(), key, responseHead);
  entry.insert(entry.end(), meta.begin(), meta.end());
  return entry;
}

inline std::string Head(std::string_view type, std::uint64_t length) {
  return "HTTP/1.1 200 OK\r\nContent-Type: " + std::string(type) +
         "\r\nContent-Length: " + std::to_string(length) + "\r\nAccept-Ranges: bytes\r\n";
}

// A range answer from byte 0, as a media element's request gets it.
inline std::string RangeHead(std::string_view type, std::uint64_t sent, std::uint64_t total) {
  return "HTTP/1.1 206 Partial Content\r\nContent-Type: " + std::string(type) +
         "\r\nContent-Length: " + std::to_string(sent) + "\r\nContent-Range: bytes 0-" +
         std::to_string(sent - 1) + "/" + std::to_string(total) + "\r\n";
}

}  // namespace firefox_entry
