// Decoding with the real code-page conversion (GBK): names the code page
// cannot hold keep their exact form, and recycle-bin paths on C: are dropped.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/watch/change_records.h"
#include "app/watch/batch_queue.h"
#include "runtime/core/text_encoding_wide.h"

namespace {

Text ConvertName(const char16_t* name, std::int32_t count) { return ToAnsiName(WideChars(name), count); }

std::vector<std::uint8_t> Block(const std::vector<std::u16string>& names) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::size_t size = (12 + names[i].size() * 2 + 3) & ~std::size_t{3};
    const std::uint32_t header[] = {i + 1 < names.size() ? static_cast<std::uint32_t>(size) : 0u, 1,
                                    static_cast<std::uint32_t>(names[i].size() * 2)};
    const std::size_t at = bytes.size();
    bytes.resize(at + size, 0);
    std::memcpy(bytes.data() + at, header, sizeof header);
    std::memcpy(bytes.data() + at + 12, names[i].data(), names[i].size() * 2);
  }
  return bytes;
}

TEST(WatchDecodeTest, ConvertsToTheCodePageAndKeepsTheExactName) {
  ASSERT_EQ(GetACP(), 936u);
  const auto block = Block({u"$Recycle.Bin\\S-1\\A.FLV", u"RECYCLER\\b.flv", u"\u4E2D\u6587\\Movie.FLV",
                            u"\uD55C.flv", u"Users\\A.mp4"});
  const auto names = ChangeBatchNewFiles(block.data(), block.size(), {"C:\\", u"C:\\"}, ConvertName);
  ASSERT_EQ(names.size(), 3u);
  EXPECT_EQ(std::string_view(names[0].fullPath), "C:\\中文\\movie.flv");
  EXPECT_EQ(std::u16string_view(names[0].exactPath), u"C:\\\u4E2D\u6587\\Movie.FLV");
  // Hangul is not in GBK: the ANSI path carries the default character, the
  // exact path still names the file.
  EXPECT_EQ(std::string_view(names[1].fullPath), "C:\\?.flv");
  EXPECT_EQ(std::u16string_view(names[1].exactPath), u"C:\\\uD55C.flv");
  EXPECT_EQ(std::string_view(names[2].fullPath), "C:\\users\\a.mp4");
}

TEST(WatchDecodeTest, ToAnsiNameHonoursTheCount) {
  EXPECT_EQ(std::string_view(ToAnsiName(L"abc")), "abc");  // up to the zero, without it
  EXPECT_EQ(std::string_view(ToAnsiName(L"abcdef", 3)), "abc");
  EXPECT_TRUE(ToAnsiName(L"abc", 0).empty());
  EXPECT_EQ(std::string_view(ToAnsiName(L"\u6587\u4EF6", 2)), "文件");
}

}  // namespace
