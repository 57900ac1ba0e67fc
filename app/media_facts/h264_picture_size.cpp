#include "app/media_facts/h264_picture_size.h"

#include <vector>

namespace {

// Reads bits of a NAL unit's payload with emulation prevention removed.
class BitReader {
 public:
  explicit BitReader(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  std::uint32_t Bits(int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = (value << 1) | Bit();
    return value;
  }
  std::uint32_t Bit() {
    if (at_ >= bytes_.size() * 8) {
      bad_ = true;
      return 0;
    }
    const std::uint32_t bit = (bytes_[at_ / 8] >> (7 - at_ % 8)) & 1;
    ++at_;
    return bit;
  }
  // Exp-Golomb codes; values past 32 bits mark the reader bad.
  std::uint32_t Ue() {
    int zeros = 0;
    while (Bit() == 0 && !bad_) {
      if (++zeros > 31) {
        bad_ = true;
        return 0;
      }
    }
    return static_cast<std::uint32_t>((std::uint64_t{1} << zeros) - 1 + Bits(zeros));
  }
  std::int32_t Se() {
    const std::uint32_t code = Ue();
    return (code & 1) ? static_cast<std::int32_t>((code + 1) / 2) : -static_cast<std::int32_t>(code / 2);
  }
  bool Bad() const { return bad_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t at_ = 0;
  bool bad_ = false;
};

void SkipScalingList(BitReader& bits, int size) {
  std::int32_t last = 8, next = 8;
  for (int j = 0; j < size && !bits.Bad(); ++j) {
    if (next != 0) next = (last + bits.Se() + 256) % 256;
    last = next == 0 ? last : next;
  }
}

std::optional<PictureSize> SizeOf(std::vector<std::uint8_t> payload) {
  BitReader bits(std::move(payload));
  const std::uint32_t profile = bits.Bits(8);
  bits.Bits(16);  // constraint flags, level
  bits.Ue();      // parameter set id
  std::uint32_t chroma = 1;
  if (profile == 100 || profile == 110 || profile == 122 || profile == 244 || profile == 44 ||
      profile == 83 || profile == 86 || profile == 118 || profile == 128 || profile == 138 ||
      profile == 139 || profile == 134 || profile == 135) {
    chroma = bits.Ue();
    if (chroma == 3) bits.Bit();  // separate colour planes
    bits.Ue();                    // bit depths
    bits.Ue();
    bits.Bit();
    if (bits.Bit()) {  // scaling matrices
      for (int i = 0; i < (chroma != 3 ? 8 : 12) && !bits.Bad(); ++i) {
        if (bits.Bit()) SkipScalingList(bits, i < 6 ? 16 : 64);
      }
    }
  }
  bits.Ue();  // log2 of the largest frame number
  const std::uint32_t orderType = bits.Ue();
  if (orderType == 0) {
    bits.Ue();
  } else if (orderType == 1) {
    bits.Bit();
    bits.Se();
    bits.Se();
    const std::uint32_t cycle = bits.Ue();
    for (std::uint32_t i = 0; i < cycle && i < 256 && !bits.Bad(); ++i) bits.Se();
  }
  bits.Ue();   // reference frames
  bits.Bit();  // gaps allowed
  const std::uint64_t widthMbs = std::uint64_t{bits.Ue()} + 1;
  const std::uint64_t heightUnits = std::uint64_t{bits.Ue()} + 1;
  const std::uint32_t framesOnly = bits.Bit();
  if (!framesOnly) bits.Bit();
  bits.Bit();  // direct 8x8 inference
  std::uint64_t cropLeft = 0, cropRight = 0, cropTop = 0, cropBottom = 0;
  if (bits.Bit()) {
    cropLeft = bits.Ue();
    cropRight = bits.Ue();
    cropTop = bits.Ue();
    cropBottom = bits.Ue();
  }
  if (bits.Bad() || chroma > 3) return std::nullopt;
  const std::uint64_t unitX = chroma == 1 || chroma == 2 ? 2 : 1;
  const std::uint64_t unitY = (chroma == 1 ? 2 : 1) * (2 - framesOnly);
  const std::uint64_t width = widthMbs * 16;
  const std::uint64_t height = heightUnits * 16 * (2 - framesOnly);
  const std::uint64_t cropX = unitX * (cropLeft + cropRight);
  const std::uint64_t cropY = unitY * (cropTop + cropBottom);
  if (cropX >= width || cropY >= height || width - cropX > 65535 || height - cropY > 65535)
    return std::nullopt;
  return PictureSize{static_cast<std::uint32_t>(width - cropX), static_cast<std::uint32_t>(height - cropY)};
}

}  // namespace

std::optional<PictureSize> H264PictureSizeFind(std::span<const std::uint8_t> bytes) {
  for (std::size_t at = 0; at + 4 <= bytes.size(); ++at) {
    if (bytes[at] != 0 || bytes[at + 1] != 0 || bytes[at + 2] != 1 || (bytes[at + 3] & 0x1F) != 7) continue;
    // The unit runs to the next start code (or the end of the bytes).
    std::vector<std::uint8_t> payload;
    int zeros = 0;
    for (std::size_t i = at + 4; i < bytes.size(); ++i) {
      if (zeros >= 2 && bytes[i] <= 1) break;  // the next start code
      if (zeros >= 2 && bytes[i] == 3) {       // emulation prevention
        zeros = 0;
        continue;
      }
      zeros = bytes[i] == 0 ? zeros + 1 : 0;
      payload.push_back(bytes[i]);
    }
    return SizeOf(std::move(payload));
  }
  return std::nullopt;
}
