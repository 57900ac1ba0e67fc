// The picture size an H.264 sequence parameter set gives, found in an
// Annex B byte stream (as a transport stream's video packets carry it).
#pragma once

#include <cstdint>
#include <optional>
#include <span>

struct PictureSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

// The size of the first sequence parameter set among the bytes' NAL units
// (after the cropping it asks for); nothing when none is whole and sound.
std::optional<PictureSize> H264PictureSizeFind(std::span<const std::uint8_t> annexB);
