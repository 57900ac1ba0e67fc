// Reading cursor-file data (the .cur format) stored as a mouse pointer: the
// first image and its hot spot.  No Win32 here; the data comes from outside,
// so any bytes must be read safely.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

struct CursorImage {
  std::uint16_t hotX = 0;
  std::uint16_t hotY = 0;
  std::span<const std::uint8_t> bytes;  // the image's data (bitmap header onward)
};

// The first image of cursor-file data.  nullopt when the data is shorter
// than a header with one directory entry, its type word is 0, or the image
// lies outside the data.
std::optional<CursorImage> CursorFileFirstImage(std::span<const std::uint8_t> data);

// The form a cursor resource takes (what CreateIconFromResourceEx reads):
// the hot spot as two 16-bit little-endian words, then the image.
std::vector<std::uint8_t> CursorResourceBytes(const CursorImage& image);
