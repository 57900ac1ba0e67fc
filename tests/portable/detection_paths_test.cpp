#include <gtest/gtest.h>

#include "app/detection/detection_paths.h"
#include "runtime/commands/value_commands.h"

namespace {

Classification Matched(ExtensionClass extensionClass, const char* entry) {
  return Classification{extensionClass, MakeText(entry)};
}

}  // namespace

TEST(DestinationPath, JoinsFolderTimeAndEntryAndNumbersBeforeTheExtension) {
  const DestinationName video = DestinationNameOf("T", Matched(ExtensionClass::Video, ".flv"));
  EXPECT_EQ(DestinationPath("C:\\save", video), "C:\\save\\T.flv");
  EXPECT_EQ(DestinationPath("C:\\save", video, 2), "C:\\save\\T(2).flv");
  EXPECT_EQ(DestinationPath("C:\\save", video, 13), "C:\\save\\T(13).flv");
  // The parts are simply joined: no folder means the drive's root, a trailing
  // separator gives two in a row.
  EXPECT_EQ(DestinationPath("", video), "\\T.flv");
  EXPECT_EQ(DestinationPath("C:\\save\\", video), "C:\\save\\\\T.flv");

  // User entries carry no dot of their own; one typed with a dot keeps it.
  EXPECT_EQ(DestinationPath("D:", DestinationNameOf("T", Matched(ExtensionClass::UserDefined, "ppt")), 3),
            "D:\\T(3).ppt");
  EXPECT_EQ(DestinationPath("D:", DestinationNameOf("T", Matched(ExtensionClass::UserDefined, ".ppt"))),
            "D:\\T..ppt");
  EXPECT_EQ(DestinationPath("D:", DestinationNameOf("T", Matched(ExtensionClass::Audio, ".mp3"))),
            "D:\\T.mp3");
}

TEST(FolderPartOf, CutsAtTheLastRealSeparator) {
  EXPECT_EQ(FolderPartOf("c:\\cache\\a.flv"), "c:\\cache");
  EXPECT_EQ(FolderPartOf("c:\\a.flv"), "c:");
  EXPECT_EQ(FolderPartOf("a.flv"), "");
  // "\x95\x5c" is one double-byte character whose second byte is 0x5C.
  EXPECT_EQ(FolderPartOf("c:\\d\\\x95\x5c.flv"), "c:\\d");
  EXPECT_EQ(FolderPartOf("c:\\\x95\x5c\\x.flv"), "c:\\\x95\x5c");
}

TEST(FolderTextsEqual, IgnoresAsciiCaseAndTrailingSeparatorsOnly) {
  EXPECT_TRUE(FolderTextsEqual("C:\\Save", "c:\\save"));
  EXPECT_TRUE(FolderTextsEqual("C:\\Save\\", "c:\\save"));
  EXPECT_TRUE(FolderTextsEqual("C:\\", "c:"));
  EXPECT_FALSE(FolderTextsEqual("C:\\Save", "C:\\Saved"));
  EXPECT_FALSE(FolderTextsEqual("C:\\Save\\sub", "C:\\Save"));
  // Second bytes of double-byte characters are not letters to fold:
  // "\x81\x41" and "\x81\x61" are two different characters.
  EXPECT_FALSE(FolderTextsEqual("C:\\\x81\x41", "C:\\\x81\x61"));
  EXPECT_TRUE(FolderTextsEqual("C:\\\x81\x41", "c:\\\x81\x41"));
  // A folder ending in a character whose second byte is 0x5C keeps it.
  EXPECT_FALSE(FolderTextsEqual("C:\\\x95\x5c", "C:\\\x95"));
}

TEST(DestinationPath, TakesTheDetectionTimeTextAsItIs) {
  const Classification video = Matched(ExtensionClass::Video, ".flv");
  auto nameAt = [&](int hour, int minute, int second) {
    const DateTime time = DateTimeFromParts({2011, 1, 22, hour, minute, second});
    return DestinationPath("D:\\s", DestinationNameOf(ToText(time), video), 2);
  };
  EXPECT_EQ(nameAt(9, 5, 7), "D:\\s\\2011年1月22日9时5分7秒(2).flv");
  EXPECT_EQ(nameAt(9, 5, 0), "D:\\s\\2011年1月22日9时5分(2).flv");
  EXPECT_EQ(nameAt(9, 0, 0), "D:\\s\\2011年1月22日9时(2).flv");
  EXPECT_EQ(nameAt(0, 0, 0), "D:\\s\\2011年1月22日(2).flv");
}
