// Reading icon-file data (the .ico format): which image to use and where its
// bytes are.  No Win32 here, so the reader is tested on malformed data too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

struct IconImage {
  std::span<const std::uint8_t> bytes;  // the image's data (bitmap header onward)
  std::int32_t width = 0;               // from the image's bitmap header
  std::int32_t height = 0;              // half the bitmap header's height (colour + mask)
  std::uint16_t bitCount = 0;
};

// Picks the first image whose width byte is preferredWidth and whose colour
// count byte is 16 or more; when none qualifies, the last image.  nullopt
// when the data is not icon-file data or the chosen image lies outside it.
std::optional<IconImage> IconImageChoose(std::span<const std::uint8_t> data, std::uint8_t preferredWidth);
