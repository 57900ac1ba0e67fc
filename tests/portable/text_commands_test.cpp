#include <gtest/gtest.h>

#include "runtime/commands/text_commands.h"

namespace {

std::vector<std::string> Pieces(const TextArray& array) { return {array.begin(), array.end()}; }
using Strings = std::vector<std::string>;

// Two GBK characters whose trail bytes are the ASCII capitals 'A' and 'Z'.
const char kDoubleByteWithCapitalTrail[] = "\x81\x41\x82\x5A";

}  // namespace

TEST(TextCommands, LengthsCountBytesUpToTheFirstZero) {
  EXPECT_EQ(TextLength(""), 0);
  EXPECT_EQ(TextLength("警示"), 4);
  EXPECT_EQ(TextLength(std::string_view("ab\0cd", 5)), 2);
}

TEST(TextCommands, LeftAndRightCutBytesAndClampCounts) {
  EXPECT_EQ(TextLeft("abc", 10), "abc");
  EXPECT_EQ(TextLeft("abc", 0), "");
  EXPECT_EQ(TextLeft("abc", -3), "");
  // Counts are bytes: half of a double-byte character is cut off.
  EXPECT_EQ(std::string(TextLeft("警示", 3)), "警" + std::string(1, "示"[0]));
  EXPECT_EQ(TextRight("abc", 2), "bc");
  EXPECT_EQ(TextRight("abc", 9), "abc");
  EXPECT_EQ(TextRight("abc", 0), "");
  EXPECT_EQ(TextRight("abc", -1), "");
  EXPECT_EQ(TextRight(std::string_view("xyz\0hidden", 10), 2), "yz");
}

TEST(TextCommands, ToLowerTouchesOnlyAsciiCapitalsOutsideDoubleByteCharacters) {
  EXPECT_EQ(TextToLower("C:\\Cache\\VIDEO.FLV"), "c:\\cache\\video.flv");
  EXPECT_EQ(TextToLower("@[`{"), "@[`{");  // neighbours of the letter ranges
  EXPECT_EQ(std::string(TextToLower(std::string("A") + kDoubleByteWithCapitalTrail + "B")),
            std::string("a") + kDoubleByteWithCapitalTrail + "b");
  // A lead byte at the very end ends the scan and is kept.
  EXPECT_EQ(TextToLower("AB\xB0"), "ab\xB0");
}

TEST(TextCommands, SplitKeepsEmptyPiecesButNoTrailingOne) {
  EXPECT_EQ(Pieces(TextSplit("a,,b")), (Strings{"a", "", "b"}));
  EXPECT_EQ(Pieces(TextSplit(",a")), (Strings{"", "a"}));
  EXPECT_EQ(Pieces(TextSplit("a,b,")), (Strings{"a", "b"}));
  EXPECT_EQ(Pieces(TextSplit(",")), (Strings{""}));
  EXPECT_TRUE(TextSplit("").empty());
  EXPECT_EQ(Pieces(TextSplit("ppt;docx;html;", std::string_view(";"))), (Strings{"ppt", "docx", "html"}));
  EXPECT_EQ(Pieces(TextSplit("a<>b<>", std::string_view("<>"))), (Strings{"a", "b"}));
  // Byte-exact comparison: case matters.
  EXPECT_EQ(Pieces(TextSplit("aXbxc", std::string_view("x"))), (Strings{"aXb", "c"}));
}

TEST(TextCommands, SplitLimitDropsTheRest) {
  EXPECT_EQ(Pieces(TextSplit("a;b;c", std::string_view(";"), 2)), (Strings{"a", "b"}));
  EXPECT_EQ(Pieces(TextSplit("a;b;c", std::string_view(";"), 5)), (Strings{"a", "b", "c"}));
  EXPECT_TRUE(TextSplit("a;b;c", std::string_view(";"), 0).empty());
  EXPECT_TRUE(TextSplit("a;b;c", std::string_view(";"), -4).empty());
  // No delimiter found: the limit does not stop the text from being returned.
  EXPECT_EQ(Pieces(TextSplit("abc", std::string_view(";"), 1)), (Strings{"abc"}));
}

TEST(TextCommands, SplitWithEmptyDelimiterGivesTheWholeText) {
  EXPECT_EQ(Pieces(TextSplit("a,b", std::string_view(""))), (Strings{"a,b"}));
}

TEST(TextCommands, SplitNeverMatchesInsideDoubleByteCharacters) {
  // "\x81\x3B" is one character whose trail byte is ';'.
  EXPECT_EQ(Pieces(TextSplit("x\x81;y;z", std::string_view(";"))), (Strings{"x\x81;y", "z"}));
  // Delimiter longer than what is left: the rest becomes the last piece.
  EXPECT_EQ(Pieces(TextSplit("ab", std::string_view("abc"))), (Strings{"ab"}));
  // A lead byte just before the end stops the scan; the rest is still kept.
  EXPECT_EQ(Pieces(TextSplit("a,\xB0", std::string_view(","))), (Strings{"a", "\xB0"}));
}

TEST(TextCommands, SpaceText) {
  EXPECT_EQ(SpaceText(0), "");
  EXPECT_EQ(SpaceText(-2), "");
  EXPECT_EQ(SpaceText(3), "   ");
}
