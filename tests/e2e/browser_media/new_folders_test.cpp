// A browser's first run makes its whole profile tree while the program
// watches (AppData\Local\<browser>\User Data\Default\Cache\Cache_Data, one
// folder after another within milliseconds).  Files written in those
// folders must be found like files anywhere else below the home folder,
// whichever program made the folders.
#include <gtest/gtest.h>

#include <optional>

#include "tests/e2e/driver/browser_lab_client.h"
#include "tests/e2e/driver/sandbox.h"
#include "tests/e2e/session/running_program.h"

namespace e2e {
namespace {

constexpr char kVideoPrompt[] = "警示信息 - 视频侦测";

class FoldersMadeDuringTheWatch : public RunningProgram {
 protected:
  void SetUp() override {
    RunningProgram::SetUp();
    MainWindowParts parts(main);
    ASSERT_TRUE(parts.Video().SetChecked(true));
    ASSERT_TRUE(parts.Start().Click());
    ASSERT_TRUE(parts.Stop().WaitEnabled(true));
  }

  // Writes a video file into the folder and expects its prompt.
  void ExpectPromptFor(const std::wstring& folder, const std::string& lowerCaseTail) {
    ASSERT_TRUE(FileWrite(folder + L"\\clip.flv", "flv bytes"));
    MessageBoxWindow prompt = program.WaitMessageBox(kVideoPrompt);
    ASSERT_TRUE(prompt) << "no prompt for a file in " << GbkFromWide(folder);
    EXPECT_NE(prompt.Message().find(lowerCaseTail), std::string::npos) << prompt.Message();
    ASSERT_TRUE(prompt.Answer(IDCANCEL));
  }
};

TEST_F(FoldersMadeDuringTheWatch, MadeByAWindowsProgram) {
  const std::wstring deep = L"home\\AppData\\Local\\Browser\\User Data\\Default\\Cache\\Cache_Data";
  ASSERT_TRUE(program.Files().MakeFolder(deep));
  ExpectPromptFor(program.Files().Path(deep), "cache_data\\clip.flv");
}

// The real Chromium makes its profile and cache folders on its first run.
TEST_F(FoldersMadeDuringTheWatch, MadeByTheBrowsersFirstRun) {
  std::optional<BrowserLab> lab = BrowserLab::FromEnvironment();
  ASSERT_TRUE(lab) << "EE_BROWSER_LAB_PORT is not set: run through browsers/run_with_browser_lab.sh";
  BrowserLaunch launch;
  launch.userDataDir = program.HomeFolder() + L"\\AppData\\Local\\Chromium\\User Data";
  launch.page = "/";
  ASSERT_FALSE(FolderExists(launch.userDataDir));
  std::optional<RunningBrowser> browser = lab->Launch(launch);
  ASSERT_TRUE(browser) << lab->Error();
  ASSERT_TRUE(WaitUntil([&] { return FileExists(browser->CacheFolder() + L"\\index"); }, Milliseconds(30000)));
  const std::optional<BrowserStopped> stopped = browser->Stop();
  ASSERT_TRUE(stopped) << lab->Error();
  EXPECT_EQ(stopped->remaining, 0);
  ExpectPromptFor(browser->CacheFolder(), "cache_data\\clip.flv");
  ExpectPromptFor(launch.userDataDir, "user data\\clip.flv");
}

}  // namespace
}  // namespace e2e
