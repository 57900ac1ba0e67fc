// Little-endian reading and writing of the stored template formats.  The
// reader is sticky: after the first read that would run past the end every
// further read yields zero/empty and Ok() stays false, so a decoder can read
// a whole record and check once at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>

#include "runtime/core/text.h"

class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool Ok() const { return ok_; }
  bool AtEnd() const { return ok_ && position_ == bytes_.size(); }
  std::size_t Position() const { return position_; }
  std::size_t Remaining() const { return ok_ ? bytes_.size() - position_ : 0; }

  // The next count bytes, or an empty span (and failure) when they do not fit.
  std::span<const std::uint8_t> Take(std::size_t count) {
    if (!ok_ || count > bytes_.size() - position_) {
      ok_ = false;
      return {};
    }
    auto taken = bytes_.subspan(position_, count);
    position_ += count;
    return taken;
  }
  void Skip(std::size_t count) { Take(count); }

  std::uint8_t U8() {
    auto b = Take(1);
    return b.empty() ? 0 : b[0];
  }
  std::uint16_t U16() {
    auto b = Take(2);
    return b.empty() ? 0 : static_cast<std::uint16_t>(b[0] | (b[1] << 8));
  }
  std::uint32_t U32() {
    auto b = Take(4);
    if (b.empty()) return 0;
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
  }
  std::int32_t I32() { return static_cast<std::int32_t>(U32()); }

  // u32 length, then that many bytes.
  std::span<const std::uint8_t> BlobView() { return Take(U32()); }
  ByteArray Blob() {
    auto b = BlobView();
    return ByteArray(b.begin(), b.end());
  }
  // u32 length, then that many bytes of text without terminator.
  Text CountedText() {
    auto b = BlobView();
    return Text(reinterpret_cast<const char*>(b.data()), b.size());
  }
  // Bytes up to a zero byte; the zero is consumed but not part of the text.
  Text TerminatedText() {
    if (!ok_) return {};
    for (std::size_t i = position_; i < bytes_.size(); ++i) {
      if (bytes_[i] == 0) {
        Text text(reinterpret_cast<const char*>(bytes_.data() + position_), i - position_);
        position_ = i + 1;
        return text;
      }
    }
    ok_ = false;
    return {};
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
  bool ok_ = true;
};

class ByteWriter {
 public:
  void U8(std::uint8_t v) { bytes_.push_back(v); }
  void U16(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v));
    U8(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) U8(static_cast<std::uint8_t>(v >> shift));
  }
  void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
  void Bytes(std::span<const std::uint8_t> b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); }
  void Blob(std::span<const std::uint8_t> b) {
    U32(static_cast<std::uint32_t>(b.size()));
    Bytes(b);
  }
  void CountedText(std::string_view text) {
    Blob({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
  }
  // Text up to its first zero byte, then one zero byte.
  void TerminatedText(std::string_view text) {
    auto end = text.find('\0');
    if (end != std::string_view::npos) text = text.substr(0, end);
    Bytes({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    U8(0);
  }

  std::size_t Size() const { return bytes_.size(); }
  ByteArray& Result() { return bytes_; }
  ByteArray Take() { return std::move(bytes_); }

 private:
  ByteArray bytes_;
};
