#include <gtest/gtest.h>

#include "runtime/windows/dir_path.h"

namespace {

std::vector<std::string> Names(std::string_view path) {
  std::vector<std::string> names;
  for (const Text& name : DirPathSplit(path)) names.emplace_back(name.data(), name.size());
  return names;
}

using Strings = std::vector<std::string>;

// "乗" is 0x81 0x5C in GBK: its trail byte is a backslash.
constexpr std::string_view kTrail5C = "\x81\x5C";

}  // namespace

TEST(DirPath, SplitsAtBackslashesSkippingEmptyPieces) {
  EXPECT_EQ(Names("C:\\Windows\\System32"), (Strings{"C:", "Windows", "System32"}));
  EXPECT_EQ(Names("C:\\"), (Strings{"C:"}));
  EXPECT_EQ(Names("C:"), (Strings{"C:"}));
  EXPECT_EQ(Names("\\\\server\\\\share\\"), (Strings{"server", "share"}));
  EXPECT_TRUE(Names("").empty());
  EXPECT_TRUE(Names("\\\\\\").empty());
}

TEST(DirPath, DoesNotSplitInsideADoubleByteCharacter) {
  const std::string folder = "a" + std::string(kTrail5C) + "b";
  const std::string path = "C:\\" + folder + "\\x";
  EXPECT_EQ(Names(path), (Strings{"C:", folder, "x"}));
  // A name that ends with such a character keeps its last byte.
  EXPECT_EQ(Names("D:\\" + std::string(kTrail5C)), (Strings{"D:", std::string(kTrail5C)}));
  // A lead byte with nothing after it is a character of its own.
  EXPECT_EQ(Names("C:\\x\x81"), (Strings{"C:", "x\x81"}));
}

TEST(DirPath, SearchPatternAddsOneBackslashOnlyWhenNeeded) {
  EXPECT_EQ(DirPathSearchPattern("C:"), "C:\\*.*");
  EXPECT_EQ(DirPathSearchPattern("C:\\"), "C:\\*.*");
  EXPECT_EQ(DirPathSearchPattern("C:\\Windows"), "C:\\Windows\\*.*");
  // The last byte is 0x5C but the last character is not a backslash.
  const std::string folder = "C:\\" + std::string(kTrail5C);
  EXPECT_EQ(std::string_view(DirPathSearchPattern(folder)), folder + "\\*.*");
  EXPECT_FALSE(DirPathEndsWithSeparator(""));
}

TEST(DirPath, JoinKeepsARootAloneWithoutBackslash) {
  const Text root[] = {MakeText("C:")};
  EXPECT_EQ(DirPathJoin(root), "C:");
  const Text chain[] = {MakeText("C:"), MakeText("Windows"), MakeText("System32")};
  EXPECT_EQ(DirPathJoin(chain), "C:\\Windows\\System32");
  // Splitting and joining give back a path in its plain form.
  const TextArray names = DirPathSplit("C:\\\\Program Files\\");
  EXPECT_EQ(DirPathJoin(names), "C:\\Program Files");
}
