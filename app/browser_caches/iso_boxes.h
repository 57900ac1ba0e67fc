// Box headers of the ISO base media format (MP4): enough to walk the boxes
// in a prefix of a file without reading past it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

struct IsoBox {
  std::string_view type;     // four characters, a view into the bytes
  std::uint64_t offset = 0;  // where the box starts
  std::uint64_t size = 0;    // header included; 0 in the file (to the end) reads as "to the end of the bytes"
  std::size_t headerSize = 0;  // 8, or 16 with a 64-bit size
  std::uint64_t End() const { return offset + size; }
};

// The header of the box at `at`: nothing when the bytes end inside the
// header or the size is smaller than the header (a damaged box).
std::optional<IsoBox> IsoBoxAt(std::span<const std::uint8_t> bytes, std::uint64_t at);

// The first child of `parent` (a container box found in `bytes`) of that
// type, walking children that lie wholly or partly in the bytes.
std::optional<IsoBox> IsoChildFind(std::span<const std::uint8_t> bytes, const IsoBox& parent,
                                   std::string_view type);
