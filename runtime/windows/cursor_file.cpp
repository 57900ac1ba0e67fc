#include "runtime/windows/cursor_file.h"

namespace {

constexpr std::size_t kHeaderSize = 6;
constexpr std::size_t kEntrySize = 16;

std::uint16_t ReadU16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t ReadU32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(ReadU16(bytes)) | static_cast<std::uint32_t>(ReadU16(bytes + 2)) << 16;
}

void PutU16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

}  // namespace

std::optional<CursorImage> CursorFileFirstImage(std::span<const std::uint8_t> data) {
  if (data.size() < kHeaderSize + kEntrySize) return std::nullopt;
  // Header: reserved word, type word (2 for cursors; any non-zero type is
  // taken), image count.  Only the first directory entry is read.
  if (ReadU16(data.data() + 2) == 0) return std::nullopt;
  const std::uint8_t* entry = data.data() + kHeaderSize;
  CursorImage image;
  image.hotX = ReadU16(entry + 4);
  image.hotY = ReadU16(entry + 6);
  const std::uint32_t size = ReadU32(entry + 8);
  const std::uint32_t offset = ReadU32(entry + 12);
  if (offset > data.size() || size > data.size() - offset) return std::nullopt;
  image.bytes = data.subspan(offset, size);
  return image;
}

std::vector<std::uint8_t> CursorResourceBytes(const CursorImage& image) {
  std::vector<std::uint8_t> out;
  out.reserve(4 + image.bytes.size());
  PutU16(out, image.hotX);
  PutU16(out, image.hotY);
  out.insert(out.end(), image.bytes.begin(), image.bytes.end());
  return out;
}
