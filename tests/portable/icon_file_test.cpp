#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/commands/icon_file.h"

namespace {

void PutU16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v) {
  out[at] = static_cast<std::uint8_t>(v);
  out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void PutU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

struct ImageSpec {
  std::uint8_t width;
  std::uint8_t colourCount;
  std::uint16_t bitCount;
};

// An icon file whose images carry only a bitmap header (40 bytes) each.
std::vector<std::uint8_t> IconFile(const std::vector<ImageSpec>& images) {
  const std::size_t count = images.size();
  std::vector<std::uint8_t> out(6 + 16 * count + 40 * count, 0);
  PutU16(out, 2, 1);
  PutU16(out, 4, static_cast<std::uint16_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t entry = 6 + 16 * i;
    const std::size_t image = 6 + 16 * count + 40 * i;
    out[entry] = images[i].width;
    out[entry + 1] = images[i].width;
    out[entry + 2] = images[i].colourCount;
    PutU32(out, entry + 8, 40);
    PutU32(out, entry + 12, static_cast<std::uint32_t>(image));
    PutU32(out, image, 40);
    PutU32(out, image + 4, images[i].width);
    PutU32(out, image + 8, images[i].width * 2u);
    PutU16(out, image + 14, images[i].bitCount);
  }
  return out;
}

}  // namespace

TEST(IconImageChoose, PrefersTheWidthOnlyWithSixteenOrMoreColours) {
  const auto data = IconFile({{48, 16, 4}, {16, 0, 32}, {16, 16, 4}, {32, 255, 8}});
  auto image = IconImageChoose(data, 16);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->bytes.data(), data.data() + 6 + 16 * 4 + 40 * 2);  // the 16-colour 16-pixel one
  EXPECT_EQ(image->width, 16);
  EXPECT_EQ(image->height, 16);
  EXPECT_EQ(image->bitCount, 4);
  image = IconImageChoose(data, 32);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 32);
}

TEST(IconImageChoose, FallsBackToTheLastImage) {
  // 32-bit images have a colour count of 0, which never qualifies.
  const auto data = IconFile({{48, 0, 32}, {32, 0, 32}, {16, 0, 32}});
  const auto image = IconImageChoose(data, 32);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 16);
  EXPECT_EQ(image->bitCount, 32);
}

TEST(IconImageChoose, RejectsDataThatIsNotAnIconFile) {
  auto data = IconFile({{16, 16, 4}});
  EXPECT_FALSE(IconImageChoose(std::span(data).first(5), 16));
  auto bad = data;
  PutU16(bad, 0, 1);  // reserved word must be 0
  EXPECT_FALSE(IconImageChoose(bad, 16));
  bad = data;
  PutU16(bad, 2, 3);  // neither icon nor cursor
  EXPECT_FALSE(IconImageChoose(bad, 16));
  bad = data;
  PutU16(bad, 4, 0);  // no images
  EXPECT_FALSE(IconImageChoose(bad, 16));
  bad = data;
  PutU16(bad, 4, 9);  // more directory entries than bytes
  EXPECT_FALSE(IconImageChoose(bad, 16));
  bad = data;
  PutU32(bad, 6 + 12, 0xFFFFFFF0u);  // image offset far outside
  EXPECT_FALSE(IconImageChoose(bad, 16));
  bad = data;
  PutU32(bad, 6 + 8, 0xFFFFFFFFu);  // size wraps past the end
  EXPECT_FALSE(IconImageChoose(bad, 16));
}

TEST(TrayTipLength, CutsAtSixtyTwoBytesNeverInsideADoubleByteCharacter) {
  EXPECT_EQ(TrayTipLength(std::string(70, 'a')), 62u);
  EXPECT_EQ(TrayTipLength("Velmir网页元素提取器 1.11.0122"), 30u);  // fits whole
  // 61 single bytes then a double-byte character: the character would end at byte 63.
  const std::string straddling = std::string(61, 'a') + "\xCD\xF8" + "b";
  EXPECT_EQ(TrayTipLength(straddling), 61u);
  const std::string exact = std::string(60, 'a') + "\xCD\xF8" + "b";
  EXPECT_EQ(TrayTipLength(exact), 62u);
  // A lead byte cut off by the end of the text is not kept either.
  EXPECT_EQ(TrayTipLength(std::string_view("ab\xCD", 3)), 2u);
  EXPECT_EQ(TrayTipLength(std::string_view("ab\0cd", 5)), 2u);
  EXPECT_EQ(TrayTipLength(""), 0u);
}
