#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "runtime/windows/cursor_file.h"

namespace {

void PutU16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v) {
  out[at] = static_cast<std::uint8_t>(v);
  out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void PutU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A cursor file with `count` directory entries; the first entry's image is
// `imageSize` bytes counting up from 1, placed after the directory.
std::vector<std::uint8_t> CursorFile(std::uint16_t hotX, std::uint16_t hotY, std::uint32_t imageSize,
                                     std::uint16_t count = 1) {
  const std::size_t imageAt = 6 + 16u * count;
  std::vector<std::uint8_t> out(imageAt + imageSize, 0);
  PutU16(out, 2, 2);
  PutU16(out, 4, count);
  PutU16(out, 6 + 4, hotX);
  PutU16(out, 6 + 6, hotY);
  PutU32(out, 6 + 8, imageSize);
  PutU32(out, 6 + 12, static_cast<std::uint32_t>(imageAt));
  for (std::uint32_t i = 0; i < imageSize; ++i) out[imageAt + i] = static_cast<std::uint8_t>(i + 1);
  return out;
}

}  // namespace

TEST(CursorFileFirstImage, GivesTheFirstImageAndItsHotSpot) {
  const auto data = CursorFile(0x0107, 0x0203, 40, 2);
  const auto image = CursorFileFirstImage(data);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->hotX, 0x0107);
  EXPECT_EQ(image->hotY, 0x0203);
  EXPECT_EQ(image->bytes.data(), data.data() + 6 + 32);
  EXPECT_EQ(image->bytes.size(), 40u);
}

TEST(CursorFileFirstImage, TakesAnImageThatEndsExactlyAtTheEndOfTheData) {
  const auto data = CursorFile(1, 1, 8);
  const auto image = CursorFileFirstImage(data);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->bytes.data() + image->bytes.size(), data.data() + data.size());
}

TEST(CursorFileFirstImage, RejectsDataThatIsNotCursorFileData) {
  const auto data = CursorFile(3, 4, 8);
  EXPECT_FALSE(CursorFileFirstImage(std::span(data).first(21)));  // shorter than header and one entry
  auto bad = data;
  PutU16(bad, 2, 0);  // type word 0
  EXPECT_FALSE(CursorFileFirstImage(bad));
  bad = data;
  PutU32(bad, 6 + 12, static_cast<std::uint32_t>(data.size() + 1));  // image starts past the end
  EXPECT_FALSE(CursorFileFirstImage(bad));
  bad = data;
  PutU32(bad, 6 + 8, 9);  // one byte too long
  EXPECT_FALSE(CursorFileFirstImage(bad));
  bad = data;
  PutU32(bad, 6 + 8, 0xFFFFFFFFu);  // offset + size would wrap
  EXPECT_FALSE(CursorFileFirstImage(bad));
}

TEST(CursorResourceBytes, PutsTheHotSpotBeforeTheImage) {
  const auto data = CursorFile(0x0102, 0x0304, 3);
  const auto image = CursorFileFirstImage(data);
  ASSERT_TRUE(image);
  const std::vector<std::uint8_t> expected = {0x02, 0x01, 0x04, 0x03, 1, 2, 3};
  EXPECT_EQ(CursorResourceBytes(*image), expected);
}
