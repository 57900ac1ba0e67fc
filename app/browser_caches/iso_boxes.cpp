#include "app/browser_caches/iso_boxes.h"

namespace {

std::uint64_t BigEndian(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t count) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < count; ++i) value = (value << 8) | bytes[at + i];
  return value;
}

}  // namespace

std::optional<IsoBox> IsoBoxAt(std::span<const std::uint8_t> bytes, std::uint64_t at) {
  if (at > bytes.size() || bytes.size() - at < 8) return std::nullopt;
  const auto start = static_cast<std::size_t>(at);
  IsoBox box;
  box.offset = at;
  box.type = std::string_view(reinterpret_cast<const char*>(bytes.data()) + start + 4, 4);
  box.headerSize = 8;
  box.size = BigEndian(bytes, start, 4);
  if (box.size == 1) {
    if (bytes.size() - start < 16) return std::nullopt;
    box.size = BigEndian(bytes, start + 8, 8);
    box.headerSize = 16;
  } else if (box.size == 0) {
    box.size = bytes.size() - start;
  }
  if (box.size < box.headerSize || box.size > UINT64_MAX - at) return std::nullopt;
  return box;
}

std::optional<IsoBox> IsoChildFind(std::span<const std::uint8_t> bytes, const IsoBox& parent,
                                   std::string_view type) {
  std::uint64_t at = parent.offset + parent.headerSize;
  while (at < parent.End()) {
    const std::optional<IsoBox> child = IsoBoxAt(bytes, at);
    if (!child || child->End() > parent.End()) return std::nullopt;
    if (child->type == type) return child;
    at = child->End();
  }
  return std::nullopt;
}
