// The format version CreateIconFromResourceEx takes for the icon and
// cursor images the program builds from bytes (version 3.0).
#pragma once

#include <cstdint>

constexpr std::uint32_t kIconResourceVersion = 0x00030000;
