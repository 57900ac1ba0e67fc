#include "runtime/core/text_encoding.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// GBK characters whose second byte is ASCII: 乗 ends in "\", 丄 in "A", 乑 in "Z".
constexpr std::string_view kGbkBackslashTrail = "\x81\x5C";
constexpr std::string_view kGbkCapitalATrail = "\x81\x41";
constexpr std::string_view kGbkCapitalZTrail = "\x81\x5A";

}  // namespace

TEST(TextFold, AsciiFormsTouchLettersOnly) {
  EXPECT_EQ(AsciiLowered("Video/MP4; Codecs=\"AVC1\" @[`{"), "video/mp4; codecs=\"avc1\" @[`{");
  const std::string umlauts = "\xC3\x84\xC3\x96\xE4\xB8\xAD";  // "ÄÖ中" in UTF-8: no byte is a letter
  EXPECT_EQ(AsciiLowered(umlauts), umlauts);
  EXPECT_EQ(AsciiUpper('z'), 'Z');
  EXPECT_EQ(AsciiUpper('{'), '{');
  EXPECT_TRUE(AsciiEqualFold("Content-Length", "content-LENGTH"));
  EXPECT_FALSE(AsciiEqualFold("content-length", "content-lengths"));
  EXPECT_FALSE(AsciiEqualFold("[", "{"));  // '[' is 0x20 below '{' but no letter
  EXPECT_TRUE(AsciiEndsWithFold("CLIP.MP4", ".mp4"));
  EXPECT_FALSE(AsciiEndsWithFold("mp4", ".mp4"));
  EXPECT_TRUE(AsciiLessFold("abc", "ABD"));
  EXPECT_FALSE(AsciiLessFold("ABD", "abc"));
  EXPECT_FALSE(AsciiLessFold("Abc", "aBC"));  // equal either way round
  EXPECT_FALSE(AsciiLessFold("aBC", "Abc"));
}

TEST(TextFold, Utf16FormsTouchAsciiLettersOnly) {
  // Fullwidth and accented capitals are other characters to the file system's fold; only A-Z move.
  EXPECT_EQ(AsciiLowered(u"C:\\Users\\\u00C4\uFF21Z@["), u"c:\\users\\\u00C4\uFF21z@[");
  EXPECT_TRUE(AsciiEqualFold(u"\\Cache2\\Entries", u"\\cache2\\ENTRIES"));
  EXPECT_FALSE(AsciiEqualFold(u"[", u"{"));
  EXPECT_FALSE(AsciiEqualFold(u"\u00C4", u"\u00E4"));
  EXPECT_TRUE(AsciiEndsWithFold(u"D:\\Profile\\CACHE2", u"\\cache2"));
  EXPECT_FALSE(AsciiEndsWithFold(u"cache2", u"\\cache2"));
}

TEST(TextFold, AnsiFormsKeepTheSecondByteOfADoubleByteCharacter) {
  const std::string upper =
      "C:\\" + std::string(kGbkCapitalATrail) + "\\" + std::string(kGbkCapitalZTrail) + "X";
  const std::string lower =
      "c:\\" + std::string(kGbkCapitalATrail) + "\\" + std::string(kGbkCapitalZTrail) + "x";
  EXPECT_EQ(AnsiLowered(upper), lower);
  EXPECT_EQ(AnsiLowered("AB\x81"), "ab\x81");  // a lead byte at the end stays
  EXPECT_TRUE(AnsiEqualFold(upper, lower));
  // The byte-wise fold would call these equal: 0x41 and 0x61 as second bytes are different characters.
  EXPECT_FALSE(AnsiEqualFold(kGbkCapitalATrail, "\x81\x61"));
  EXPECT_TRUE(AsciiEqualFold(kGbkCapitalATrail, "\x81\x61"));
  EXPECT_FALSE(AnsiEqualFold("a\x81", "a\x82"));
  EXPECT_FALSE(AnsiEqualFold("ab", "abc"));
}

TEST(TextUtf, RoundTripsEveryPlane) {
  const std::string utf8 = Utf8Bytes(u8"a\u00E9\u4E2D\U0001F600z");
  const std::u16string utf16 = u"a\u00E9\u4E2D\U0001F600z";
  EXPECT_EQ(Utf16FromUtf8(utf8), utf16);
  EXPECT_EQ(Utf8FromUtf16(utf16), utf8);
  EXPECT_EQ(Utf16FromUtf8(utf8).size(), 6u);  // the emoji is a surrogate pair
  EXPECT_EQ(Utf8FromUtf16(Utf16FromUtf8("")), "");
  EXPECT_EQ(Utf8Repaired(utf8), utf8);
}

TEST(TextUtf, InvalidUtf8BecomesOneReplacementPerByteAndTheRestSurvives) {
  EXPECT_EQ(Utf16FromUtf8("a\xFF"
                          "b"),
            u"a\uFFFDb");
  EXPECT_EQ(Utf16FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong "/"
  EXPECT_EQ(Utf16FromUtf8("\xED\xA0\x80"
                          "x"),
            u"\uFFFD\uFFFD\uFFFDx");                                          // an encoded surrogate
  EXPECT_EQ(Utf16FromUtf8("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // beyond U+10FFFF
  EXPECT_EQ(Utf16FromUtf8("x\xE4\xB8"), u"x\uFFFD\uFFFD");                    // cut short at the end
  EXPECT_EQ(Utf16FromUtf8("\xE4\xB8"
                          "a"),
            u"\uFFFD\uFFFDa");  // cut short by ASCII
  EXPECT_EQ(Utf8Repaired("\xD6\xD0"
                         "ok"),
            "\xEF\xBF\xBD\xEF\xBF\xBD"
            "ok");  // GBK is not UTF-8
}

TEST(TextUtf, NextAndPrefixStepWholeCharacters) {
  const std::string text = Utf8Bytes(u8"a\u00E9\U0001F600") + "\xFF" + "z";
  std::size_t at = 0;
  std::vector<std::pair<char32_t, std::size_t>> steps;
  while (at < text.size()) {
    const char32_t code = Utf8Next(text, at);
    steps.emplace_back(code, at);
  }
  const std::vector<std::pair<char32_t, std::size_t>> expected = {
      {U'a', 1}, {0xE9, 3}, {0x1F600, 7}, {0xFFFD, 8}, {U'z', 9}};
  EXPECT_EQ(steps, expected);
  EXPECT_EQ(Utf8Prefix(text, 0), "");
  EXPECT_EQ(Utf8Prefix(text, 2), Utf8Bytes(u8"a\u00E9"));
  EXPECT_EQ(Utf8Prefix(text, 3), Utf8Bytes(u8"a\u00E9\U0001F600"));  // four bytes, one character
  EXPECT_EQ(Utf8Prefix(text, 50), text);
}

TEST(TextUtf, LoneSurrogatesBecomeReplacements) {
  const std::string replacement = "\xEF\xBF\xBD";
  EXPECT_EQ(Utf8FromUtf16(std::u16string{u'a', char16_t(0xD83D)}), "a" + replacement);
  EXPECT_EQ(Utf8FromUtf16(std::u16string{char16_t(0xDE00), u'b'}), replacement + "b");
  // A low surrogate before its high one is two strays, not a pair.
  EXPECT_EQ(Utf8FromUtf16(std::u16string{char16_t(0xDE00), char16_t(0xD83D)}), replacement + replacement);
  // A high surrogate followed by a high one: the first is a stray, the second pairs with the low.
  EXPECT_EQ(Utf8FromUtf16(std::u16string{char16_t(0xD83D), char16_t(0xD83D), char16_t(0xDE00)}),
            replacement + "\xF0\x9F\x98\x80");
  std::string out;
  Utf8Append(out, 0xD800);
  Utf8Append(out, 0x110000);
  Utf8Append(out, 0x10FFFF);
  EXPECT_EQ(out, replacement + replacement + "\xF4\x8F\xBF\xBF");
}

TEST(TextAnsi, GbkRoundTripsIncludingSecondBytesThatLookLikeAscii) {
  EXPECT_EQ(Utf16FromAnsi("\xD6\xD0\xCE\xC4"), u"中文");
  EXPECT_EQ(AnsiFromUtf16(u"中文"), "\xD6\xD0\xCE\xC4");
  const std::string path =
      "C:\\" + std::string(kGbkBackslashTrail) + "\\" + std::string(kGbkCapitalATrail) + ".flv";
  const std::u16string wide = Utf16FromAnsi(path);
  EXPECT_EQ(wide, u"C:\\乗\\丄.flv");  // 0x5C and 0x41 read as parts of their characters
  EXPECT_EQ(AnsiFromUtf16(wide), path);
  EXPECT_EQ(Utf16FromAnsi(""), u"");
  EXPECT_EQ(AnsiFromUtf16(u""), "");
}

TEST(TextAnsi, CharactersGbkCannotSpellBecomeTheDefaultCharacter) {
  // Thai is not in code page 936.
  EXPECT_EQ(AnsiFromUtf16(u"a\u0E01b"), "a?b");
  // A lone lead byte at the end: the text before it is kept.
  const std::u16string cut = Utf16FromAnsi("ab\x81");
  ASSERT_GE(cut.size(), 2u);
  EXPECT_EQ(cut.substr(0, 2), u"ab");
}

TEST(TextPath, SaysItsEncodingAndJoinsWithOneSeparator) {
  const Utf16Path folder = Utf16Path::FromAnsi("C:\\" + std::string(kGbkBackslashTrail));
  EXPECT_EQ(folder.Units(), u"C:\\乗");
  EXPECT_EQ(folder.Child(u"f_000001").Units(), u"C:\\乗\\f_000001");
  EXPECT_EQ(Utf16Path(u"C:\\cache\\").Child(u"index").Units(), u"C:\\cache\\index");
  EXPECT_EQ(Utf16Path().Child(u"index").Units(), u"index");
  EXPECT_EQ(folder.Ansi(), "C:\\" + std::string(kGbkBackslashTrail));
  EXPECT_EQ(folder.Utf8(), Utf8Bytes(u8"C:\\乗"));
  EXPECT_EQ(Utf16Path::FromUtf8(Utf8Bytes(u8"D:\\媒体")), Utf16Path(u"D:\\媒体"));
  // A name outside the code page keeps its exact spelling only in UTF-16.
  const Utf16Path thai(u"C:\\\u0E01");
  EXPECT_EQ(thai.Ansi(), "C:\\?");
  EXPECT_NE(Utf16Path::FromAnsi(thai.Ansi()), thai);
}
