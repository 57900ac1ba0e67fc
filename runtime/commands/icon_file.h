// Reading icon-file data (the .ico format): which image to use and where its
// bytes are; and the length of the tip shown with the icon.  No Win32 here;
// the data comes from outside, so any bytes must be read safely.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

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

// How many bytes of a notification-area tip fit its 62-byte limit without
// cutting a double-byte character in half (the text ends at a zero byte).
std::size_t TrayTipLength(std::string_view tip);
