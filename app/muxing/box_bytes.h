// Big-endian fields and box building for the MP4 reader and writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

inline std::uint64_t BigEndianAt(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t count) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < count; ++i) value = (value << 8) | bytes[at + i];
  return value;
}

// A box being built: its header is written first with a placeholder size,
// filled in by Close.  Boxes nest by opening before closing the parent.
class BoxBuilder {
 public:
  std::size_t Open(std::string_view type) {
    const std::size_t start = bytes_.size();
    U32(0);
    for (char c : type.substr(0, 4)) bytes_.push_back(static_cast<std::uint8_t>(c));
    return start;
  }
  std::size_t OpenFull(std::string_view type, std::uint8_t version, std::uint32_t flags) {
    const std::size_t start = Open(type);
    U32((static_cast<std::uint32_t>(version) << 24) | (flags & 0xffffff));
    return start;
  }
  void Close(std::size_t start) {
    const auto size = static_cast<std::uint32_t>(bytes_.size() - start);
    for (int i = 0; i < 4; ++i) bytes_[start + i] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
  }
  void U8(std::uint8_t v) { bytes_.push_back(v); }
  void U16(std::uint16_t v) { Uint(v, 2); }
  void U32(std::uint32_t v) { Uint(v, 4); }
  void U64(std::uint64_t v) { Uint(v, 8); }
  void Zeros(std::size_t count) { bytes_.insert(bytes_.end(), count, 0); }
  void Append(std::span<const std::uint8_t> more) { bytes_.insert(bytes_.end(), more.begin(), more.end()); }
  void PatchU32(std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
  }
  std::size_t Size() const { return bytes_.size(); }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  void Clear() { bytes_.clear(); }

 private:
  void Uint(std::uint64_t v, int count) {
    for (int i = count - 1; i >= 0; --i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  std::vector<std::uint8_t> bytes_;
};
