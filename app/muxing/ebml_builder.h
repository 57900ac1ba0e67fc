// Building EBML elements for the WebM writer.  Masters get an 8-byte size
// filled in by Close, so their length need not be known when they open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

class EbmlBuilder {
 public:
  void Id(std::uint32_t id) {
    int bytes = id > 0xFFFFFF ? 4 : id > 0xFFFF ? 3 : id > 0xFF ? 2 : 1;
    for (int i = bytes - 1; i >= 0; --i) bytes_.push_back(static_cast<std::uint8_t>(id >> (8 * i)));
  }
  // A size as an 8-byte vint.
  void Size(std::uint64_t size) {
    bytes_.push_back(0x01);
    for (int i = 6; i >= 0; --i) bytes_.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
  }
  std::size_t Open(std::uint32_t id) {
    Id(id);
    const std::size_t at = bytes_.size();
    Size(0);
    return at;
  }
  void Close(std::size_t at) {
    const std::uint64_t size = bytes_.size() - at - 8;
    for (int i = 0; i < 7; ++i) bytes_[at + 1 + i] = static_cast<std::uint8_t>(size >> (8 * (6 - i)));
  }
  void Uint(std::uint32_t id, std::uint64_t value) {
    Id(id);
    int bytes = 1;
    while (bytes < 8 && (value >> (8 * bytes)) != 0) ++bytes;
    bytes_.push_back(static_cast<std::uint8_t>(0x80 | bytes));
    for (int i = bytes - 1; i >= 0; --i) bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
  // Fixed 8 bytes: the value can be rewritten without moving what follows.
  void Uint8Bytes(std::uint32_t id, std::uint64_t value) {
    Id(id);
    bytes_.push_back(0x88);
    for (int i = 7; i >= 0; --i) bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
  void Float(std::uint32_t id, double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    Id(id);
    bytes_.push_back(0x88);
    for (int i = 7; i >= 0; --i) bytes_.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
  }
  void String(std::uint32_t id, std::string_view text) {
    Id(id);
    Size(text.size());
    bytes_.insert(bytes_.end(), text.begin(), text.end());
  }
  void Raw(std::span<const std::uint8_t> bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }
  void Byte(std::uint8_t byte) { bytes_.push_back(byte); }
  std::size_t Size() const { return bytes_.size(); }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  void Clear() { bytes_.clear(); }

 private:
  std::vector<std::uint8_t> bytes_;
};
