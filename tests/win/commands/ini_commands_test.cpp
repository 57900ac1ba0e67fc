#include <gtest/gtest.h>

#include <windows.h>

#include "app/program_state/settings_file.h"
#include "runtime/commands/file_commands.h"
#include "runtime/commands/ini_commands.h"
#include "tests/win/commands/scratch_folder.h"

namespace {

// Enters a scratch folder as the current folder, where the settings file lives.
class CurrentFolderScope {
 public:
  explicit CurrentFolderScope(const std::string& folder) : previous_(CurrentFolder()) {
    SetCurrentDirectoryA(folder.c_str());
  }
  ~CurrentFolderScope() { SetCurrentDirectoryA(previous_.c_str()); }

 private:
  Text previous_;
};

TEST(IniRead, MissingFileSectionAndKeyGiveTheDefault) {
  ScratchFolder scratch("ini_read");
  const std::string file = scratch.Path("a.ini");
  EXPECT_EQ(IniRead(file, "Setting", "First", "0"), "0");
  EXPECT_EQ(IniRead(file, "Setting", "First"), "");

  ScratchFileWrite(file, "[Setting]\r\nFirst=1\r\nOther=中文值\r\n");
  EXPECT_EQ(IniRead(file, "Setting", "First", "0"), "1");
  EXPECT_EQ(IniRead(file, "setting", "first", "0"), "1") << "section and key names ignore case";
  EXPECT_EQ(IniRead(file, "Setting", "Other"), "中文值");
  EXPECT_EQ(IniRead(file, "Setting", "Missing", "默认"), "默认");
  EXPECT_EQ(IniRead(file, "Nowhere", "First", "0"), "0");
  EXPECT_EQ(IniRead(file, "Setting", "Missing", ""), "") << "an empty default reads as no default";
}

TEST(IniRead, EmptyNamesGiveEmptyTextEvenWithADefault) {
  ScratchFolder scratch("ini_empty");
  const std::string file = scratch.Path("a.ini");
  ScratchFileWrite(file, "[Setting]\r\nFirst=1\r\n");
  EXPECT_EQ(IniRead("", "Setting", "First", "0"), "");
  EXPECT_EQ(IniRead(file, "", "First", "0"), "");
  EXPECT_EQ(IniRead(file, "Setting", "", "0"), "");
  EXPECT_EQ(IniRead(file, "Setting", std::string_view("\0x", 2), "0"), "") << "a text ends at its zero byte";
}

TEST(IniRead, LongValuesAreCutToTheBuffer) {
  ScratchFolder scratch("ini_long");
  const std::string file = scratch.Path("a.ini");
  std::string value;
  for (int i = 0; value.size() < 10 * 1024 + 100; ++i) value += static_cast<char>('a' + i % 26);
  ScratchFileWrite(file, "[S]\r\nK=" + value + "\r\n");
  const Text read = IniRead(file, "S", "K");
  EXPECT_EQ(read.size(), 10239u);
  EXPECT_EQ(std::string(read), value.substr(0, 10239));
}

TEST(IniWrite, OmittedValueDeletesTheKeyAndOmittedKeyTheSection) {
  ScratchFolder scratch("ini_write");
  const std::string file = scratch.Path("new.ini");
  EXPECT_TRUE(IniWrite(file, "S", "A", "1"));
  EXPECT_TRUE(IniWrite(file, "S", "B", ""));
  EXPECT_TRUE(IniWrite(file, "T", "C", "3"));
  EXPECT_EQ(IniRead(file, "S", "A"), "1");
  EXPECT_EQ(IniRead(file, "S", "B", "absent"), "") << "an empty value is written, not omitted";

  EXPECT_TRUE(IniWrite(file, "S", "A"));
  EXPECT_EQ(IniRead(file, "S", "A", "gone"), "gone");
  EXPECT_EQ(IniRead(file, "S", "B", "absent"), "");

  EXPECT_TRUE(IniWrite(file, "S"));
  EXPECT_EQ(IniRead(file, "S", "B", "absent"), "absent");
  EXPECT_EQ(IniRead(file, "T", "C"), "3") << "other sections stay";
}

TEST(SettingsFile, FirstRunFlagFollowsTheFile) {
  ScratchFolder scratch("settings");
  CurrentFolderScope inScratch(scratch.Root());
  const std::string file = scratch.Path("setting.ini");
  EXPECT_EQ(std::string(SettingsFilePath()), file);

  EXPECT_EQ(FirstRunFlagRead(), "0");
  EXPECT_TRUE(FirstRunPending()) << "no file: first run";

  EXPECT_TRUE(FirstRunAcknowledgedWrite());
  EXPECT_EQ(IniRead(file, "Setting", "First"), "1");
  EXPECT_FALSE(FirstRunPending());

  // Hand edits take effect at the next read: only the exact text "0" is pending.
  const struct {
    const char* contents;
    bool pending;
  } cases[] = {
      {"[Setting]\r\nFirst=0\r\n", true}, {"[Setting]\r\nFirst=00\r\n", false},
      {"[Setting]\r\nFirst=\r\n", false}, {"[Setting]\r\nFirst= 0\r\n", true},  // the system trims blanks
      {"[Setting]\r\nOther=0\r\n", true}, {"[Other]\r\nFirst=1\r\n", true},
  };
  for (const auto& c : cases) {
    ScratchFileWrite(file, c.contents);
    EXPECT_EQ(FirstRunPending(), c.pending) << c.contents;
  }
}

TEST(SettingsFile, AtADriveRootThePathHoldsADoubledBackslash) {
  const Text previous = CurrentFolder();
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
  EXPECT_EQ(SettingsFilePath(), "C:\\\\setting.ini");
  SetCurrentDirectoryA(previous.c_str());
}

TEST(SettingsFile, AFailedWriteLeavesTheFirstRunPending) {
  ScratchFolder scratch("settings_locked");
  CurrentFolderScope inScratch(scratch.Root());
  const std::string file = scratch.Path("setting.ini");
  ScratchFileWrite(file, "[Setting]\r\nFirst=0\r\n");
  // Root ignores the read-only attribute here, so the file is made immutable from the host side.
  const std::string hostFile = HostPathOf(file);
  if (hostFile.empty() || HostCommandRun("chattr +i '" + hostFile + "'") != 0) {
    GTEST_SKIP() << "chattr is not available: cannot make a write fail";
  }
  const bool written = FirstRunAcknowledgedWrite();
  const bool pending = FirstRunPending();
  const bool rawWrite = IniWrite(file, "Setting", "Other", "x");
  HostCommandRun("chattr -i '" + hostFile + "'");
  EXPECT_FALSE(written);
  EXPECT_FALSE(rawWrite);
  EXPECT_TRUE(pending);
  EXPECT_EQ(ScratchFileRead(file), "[Setting]\r\nFirst=0\r\n");
}

}  // namespace
