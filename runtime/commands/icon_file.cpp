#include "runtime/commands/icon_file.h"

namespace {

constexpr std::size_t kHeaderSize = 6;
constexpr std::size_t kEntrySize = 16;
constexpr std::uint32_t kBitmapInfoHeaderSize = 40;

std::uint16_t ReadU16(std::span<const std::uint8_t> data, std::size_t at) {
  return static_cast<std::uint16_t>(data[at] | (data[at + 1] << 8));
}
std::uint32_t ReadU32(std::span<const std::uint8_t> data, std::size_t at) {
  return static_cast<std::uint32_t>(data[at]) | (static_cast<std::uint32_t>(data[at + 1]) << 8) |
         (static_cast<std::uint32_t>(data[at + 2]) << 16) | (static_cast<std::uint32_t>(data[at + 3]) << 24);
}

}  // namespace

std::optional<IconImage> IconImageChoose(std::span<const std::uint8_t> data, std::uint8_t preferredWidth) {
  if (data.size() < kHeaderSize) return std::nullopt;
  const std::uint16_t reserved = ReadU16(data, 0);
  const std::uint16_t type = ReadU16(data, 2);
  const std::uint16_t count = ReadU16(data, 4);
  if (reserved != 0 || (type != 1 && type != 2) || count == 0) return std::nullopt;
  if (data.size() < kHeaderSize + kEntrySize * count) return std::nullopt;

  std::size_t chosen = count - 1u;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t entry = kHeaderSize + kEntrySize * i;
    const std::uint8_t width = data[entry];
    const std::uint8_t colourCount = data[entry + 2];
    if (width == preferredWidth && colourCount >= 16) {
      chosen = i;
      break;
    }
  }

  const std::size_t entry = kHeaderSize + kEntrySize * chosen;
  const std::uint32_t size = ReadU32(data, entry + 8);
  const std::uint32_t offset = ReadU32(data, entry + 12);
  if (offset > data.size() || size > data.size() - offset || size < kBitmapInfoHeaderSize)
    return std::nullopt;

  IconImage image;
  image.bytes = data.subspan(offset, size);
  if (ReadU32(image.bytes, 0) != kBitmapInfoHeaderSize) return std::nullopt;
  image.width = static_cast<std::int32_t>(ReadU32(image.bytes, 4));
  image.height = static_cast<std::int32_t>(ReadU32(image.bytes, 8)) / 2;
  image.bitCount = ReadU16(image.bytes, 14);
  return image;
}

std::size_t TrayTipLength(std::string_view tip) {
  constexpr std::size_t kTipBytes = 62;
  std::size_t length = 0;
  while (length < tip.size() && tip[length] != '\0') {
    const std::size_t step = (static_cast<unsigned char>(tip[length]) >= 0x80) ? 2 : 1;
    if (length + step > kTipBytes || length + step > tip.size()) break;
    length += step;
  }
  return length;
}
