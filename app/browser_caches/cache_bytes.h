// Little-endian fields and bounded reads for the cache readers: every read
// says whether it got all it asked for, and no buffer grows past a cap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "app/browser_caches/cache_files.h"

inline std::uint32_t LoadU32(std::span<const std::uint8_t> bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(bytes[at + i]) << (8 * i);
  return value;
}

inline std::uint64_t LoadU64(std::span<const std::uint8_t> bytes, std::size_t at) {
  return LoadU32(bytes, at) | static_cast<std::uint64_t>(LoadU32(bytes, at + 4)) << 32;
}

// Exactly `count` bytes at `offset`, or nothing (short file, failed read or
// a count over `cap`).
inline std::optional<std::vector<std::uint8_t>> ReadExact(CacheFile& file, std::uint64_t offset,
                                                          std::uint64_t count, std::uint64_t cap) {
  if (count > cap) return std::nullopt;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
  if (count != 0 && file.ReadAt(offset, bytes.data(), bytes.size()) != bytes.size()) return std::nullopt;
  return bytes;
}
