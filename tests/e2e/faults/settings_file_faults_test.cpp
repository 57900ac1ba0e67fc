// The settings file as the program reads it when it is not what the program
// wrote: huge, binary, or impossible to write.  The first-run flag must come
// out as a proper text (cut to the buffer, no zero byte inside), the
// comparison must follow it exactly, and nothing may crash.
#include <gtest/gtest.h>
#include <windows.h>

#include <random>
#include <string>

#include "app/program_state/settings_file.h"
#include "runtime/commands/file_commands.h"
#include "runtime/commands/ini_commands.h"
#include "tests/e2e/driver/sandbox.h"

namespace {

constexpr std::size_t kLongestValue = 10239;

class SettingsFileFaults : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sandbox.Valid());
    previous = CurrentFolder();
    ASSERT_TRUE(SetCurrentDirectoryW(sandbox.Root().c_str()));
  }
  void TearDown() override { SetCurrentDirectoryA(previous.c_str()); }

  bool Write(std::string_view bytes) { return sandbox.WriteFile(L"setting.ini", bytes); }

  // What every read must give, whatever the file holds.
  void ExpectSoundFlag(const std::string& context) {
    const Text flag = FirstRunFlagRead();
    EXPECT_LE(flag.size(), kLongestValue) << context;
    EXPECT_EQ(flag.find('\0'), Text::npos) << context << ": a text ends at its first zero byte";
    EXPECT_EQ(FirstRunPending(flag), flag == "0") << context;
  }

  e2e::Sandbox sandbox;
  Text previous;
};

}  // namespace

TEST_F(SettingsFileFaults, HugeFilesAndValuesAreCutNotOverrun) {
  // A value far longer than the buffer, then a file of many megabytes.
  std::string file = "[Setting]\r\nFirst=" + std::string(1 << 20, '7') + "\r\n";
  ASSERT_TRUE(Write(file));
  const Text flag = FirstRunFlagRead();
  EXPECT_EQ(flag.size(), kLongestValue);
  EXPECT_EQ(std::string(flag), std::string(kLongestValue, '7'));
  EXPECT_FALSE(FirstRunPending());

  std::string padding;
  for (int i = 0; i < 100000; ++i) padding += "Key" + std::to_string(i) + "=value\r\n";
  ASSERT_TRUE(Write("[Other]\r\n" + padding + "[Setting]\r\nFirst=0\r\n"));
  EXPECT_EQ(FirstRunFlagRead(), "0") << "the key is found behind megabytes of other keys";
  EXPECT_TRUE(FirstRunPending());
}

TEST_F(SettingsFileFaults, BinaryFilesGiveASoundFlag) {
  // Seeded, so a failure comes back on every run: lines of settings text
  // mixed with zero bytes, high bytes, lone lead bytes, BOMs and junk.
  std::mt19937 random(936);
  const std::string pieces[] = {"[Setting]",
                                "First=",
                                "0",
                                "1",
                                "\r\n",
                                "\n",
                                std::string(1, '\0'),
                                "\xFF\xFE",
                                "\xEF\xBB\xBF",
                                "\xD6",
                                "\xD6\xD0",
                                "=",
                                "[",
                                "]",
                                " ",
                                ";",
                                "First",
                                "\x1A"};
  for (int round = 0; round < 300; ++round) {
    std::string file;
    const int parts = 1 + static_cast<int>(random() % 40);
    for (int i = 0; i < parts; ++i) {
      if (random() % 4 == 0) {
        file += static_cast<char>(random());
      } else {
        file += pieces[random() % std::size(pieces)];
      }
    }
    ASSERT_TRUE(Write(file));
    ExpectSoundFlag("round " + std::to_string(round));
  }
  // Zero bytes in the value itself.
  ASSERT_TRUE(Write(std::string("[Setting]\r\nFirst=0\0junk\r\n", 25)));
  ExpectSoundFlag("zero byte inside the value");
}

TEST_F(SettingsFileFaults, AFileThatCannotBeWrittenKeepsTheFirstRunPending) {
  // A settings file that is a folder cannot be written even by root under
  // Wine (the read-only attribute would not stop it).
  ASSERT_TRUE(sandbox.MakeFolder(L"setting.ini"));
  EXPECT_EQ(FirstRunFlagRead(), "0");
  EXPECT_FALSE(FirstRunAcknowledgedWrite());
  EXPECT_TRUE(FirstRunPending()) << "the notice comes again on the next start";
}
