// A watch session driven as a person drives it: the checks before a start,
// new files found below the home folder, prompts answered, copies in the
// save folder, stop, and a watched folder that vanishes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/session/running_program.h"

using namespace e2e;

namespace {

// Files in a folder whose names end in the suffix.
std::vector<std::wstring> FilesEndingIn(const std::wstring& folder, const std::wstring& suffix) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name.size() >= suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      names.push_back(name);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

class WatchSession : public RunningProgram {
 protected:
  void SetUp() override {
    RunningProgram::SetUp();
    // A subfolder that exists before the start, as a browser cache does.
    ASSERT_TRUE(program.Files().MakeFolder(L"home\\Cache\\Sub"));
  }

  void StartAndExpectWatching() {
    MainWindowParts parts(main);
    ASSERT_TRUE(parts.Start().Click());
    ASSERT_TRUE(parts.Stop().WaitEnabled(true));
    EXPECT_FALSE(parts.Start().IsEnabled());
    EXPECT_FALSE(parts.Video().IsEnabled());
    EXPECT_FALSE(parts.Audio().IsEnabled());
    EXPECT_FALSE(parts.Custom().IsEnabled());
    EXPECT_FALSE(parts.CustomBox().IsEnabled());
    EXPECT_FALSE(parts.WatchedBox().IsEnabled());
  }

  void ExpectIdle() {
    MainWindowParts parts(main);
    EXPECT_TRUE(parts.Start().WaitEnabled(true));
    EXPECT_FALSE(parts.Stop().IsEnabled());
    EXPECT_TRUE(parts.Video().IsEnabled());
    EXPECT_TRUE(parts.Audio().IsEnabled());
    EXPECT_TRUE(parts.Custom().IsEnabled());
    EXPECT_EQ(parts.CustomBox().IsEnabled(), parts.Custom().IsChecked());
    EXPECT_TRUE(parts.WatchedBox().IsEnabled());
  }

  std::string Watched() const { return GbkFromWide(program.HomeFolder()) + "\\"; }
};

}  // namespace

TEST_F(WatchSession, StartIsRefusedWithoutAClass) {
  MainWindowParts parts(main);
  ASSERT_TRUE(parts.Start().Click());
  MessageBoxWindow box = program.WaitMessageBox("警示信息 - 未选择提取内容");
  ASSERT_TRUE(box);
  EXPECT_EQ(box.Message(), "你至少该选择提取一项元素才可以开始监视！");
  ASSERT_TRUE(box.Answer(IDOK));
  ExpectIdle();
}

TEST_F(WatchSession, SaveFolderInsideTheWatchedFolderIsRefusedWhateverTheLetterCase) {
  MainWindowParts parts(main);
  ASSERT_TRUE(parts.Audio().SetChecked(true));
  // The save folder is the program folder; watch its parent, spelled in capitals.
  std::string parent = GbkFromWide(program.Files().Root()) + "\\";
  for (char& c : parent) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  ASSERT_TRUE(parts.WatchedBox().SetText(parent));
  ASSERT_TRUE(parts.Start().Click());
  MessageBoxWindow box = program.WaitMessageBox("警示信息 - 保存目录冲突");
  ASSERT_TRUE(box);
  EXPECT_EQ(box.Message(), "元素保存目录不可以为临时文件的子目录，请重新选择！");
  ASSERT_TRUE(box.Answer(IDOK));
  ExpectIdle();
}

TEST_F(WatchSession, FolderThatCannotBeOpenedLeavesTheWindowIdle) {
  MainWindowParts parts(main);
  ASSERT_TRUE(parts.Video().SetChecked(true));
  ASSERT_TRUE(parts.WatchedBox().SetText(GbkFromWide(program.Files().Path(L"missing")) + "\\"));
  ASSERT_TRUE(parts.Start().Click());
  MessageBoxWindow box = program.WaitMessageBox("警示信息");
  ASSERT_TRUE(box);
  EXPECT_EQ(box.Message(), "启动缓存监视失败！请重新启动计算机或更换账户后再试！");
  ASSERT_TRUE(box.Answer(IDOK));
  ExpectIdle();
}

TEST_F(WatchSession, MatchingFilesArePromptedAndSavedOthersIgnored) {
  MainWindowParts parts(main);
  ASSERT_TRUE(parts.Video().SetChecked(true));
  StartAndExpectWatching();

  const std::string movie = "flv bytes of a finished video";
  ASSERT_TRUE(program.Files().WriteFile(L"home\\Cache\\Sub\\Movie.FLV", movie));
  MessageBoxWindow prompt = program.WaitMessageBox("警示信息 - 视频侦测");
  ASSERT_TRUE(prompt);
  EXPECT_EQ(prompt.Message(),
            "侦测到视频文件：" + Watched() +
                "cache\\sub\\movie.flv ，如果需要保存，请在视频播放(载入)完成后点击 确定 进行提取！");
  ASSERT_TRUE(prompt.Answer(IDOK));
  MessageBoxWindow saved = program.WaitMessageBox("警示信息 - 视频保存成功");
  ASSERT_TRUE(saved);
  const std::string savedText = saved.Message();
  EXPECT_EQ(savedText.rfind("视频文件已被保存到：" + GbkFromWide(program.ProgramFolder()) + "\\", 0), 0u)
      << savedText;
  ASSERT_TRUE(saved.Answer(IDOK));
  const auto copies = FilesEndingIn(program.ProgramFolder(), L".flv");
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(program.Files().ReadFile(L"program\\" + copies[0]).value_or(""), movie);

  // Cancel saves nothing; a file of a class that is not selected is ignored.
  ASSERT_TRUE(program.Files().WriteFile(L"home\\song.mp3", "mp3"));
  ASSERT_TRUE(program.Files().WriteFile(L"home\\Cache\\clip.mp4", "mp4"));
  prompt = program.WaitMessageBox("警示信息 - 视频侦测");
  ASSERT_TRUE(prompt);
  EXPECT_NE(prompt.Message().find("cache\\clip.mp4"), std::string::npos);
  ASSERT_TRUE(prompt.Answer(IDCANCEL));
  EXPECT_TRUE(StaysTrue([&] { return MessageBoxes(program.Id()).empty(); }, Milliseconds(1500)));
  EXPECT_TRUE(FilesEndingIn(program.ProgramFolder(), L".mp4").empty());
  EXPECT_TRUE(FilesEndingIn(program.ProgramFolder(), L".mp3").empty());

  ASSERT_TRUE(parts.Stop().Click());
  ExpectIdle();
}

TEST_F(WatchSession, UserDefinedListSavesWithADotBeforeTheEntry) {
  MainWindowParts parts(main);
  ASSERT_TRUE(parts.Custom().SetChecked(true));
  ASSERT_TRUE(parts.CustomBox().WaitEnabled(true));
  ASSERT_TRUE(parts.CustomBox().SetText("ppt;docx;html;"));
  StartAndExpectWatching();

  ASSERT_TRUE(program.Files().WriteFile(L"home\\talk.ppt", "slides"));
  MessageBoxWindow prompt = program.WaitMessageBox("警示信息 - 自定义类型元素侦测");
  ASSERT_TRUE(prompt);
  EXPECT_EQ(prompt.Message(), "侦测到自定义类型元素：" + Watched() +
                                  "talk.ppt ，请在自定义类型元素载入完成后点击确定进行提取！");
  ASSERT_TRUE(prompt.Answer(IDOK));
  ASSERT_TRUE(program.WaitMessageBox("警示信息 - 自定义类型元素保存成功").Answer(IDOK));
  const auto copies = FilesEndingIn(program.ProgramFolder(), L".ppt");
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(program.Files().ReadFile(L"program\\" + copies[0]).value_or(""), "slides");
}

TEST_F(WatchSession, WatchedFolderThatVanishesEndsTheWatchWithANotice) {
  MainWindowParts parts(main);
  ASSERT_TRUE(program.Files().MakeFolder(L"watched"));
  ASSERT_TRUE(parts.WatchedBox().SetText(GbkFromWide(program.Files().Path(L"watched")) + "\\"));
  ASSERT_TRUE(parts.Video().SetChecked(true));
  StartAndExpectWatching();

  ASSERT_TRUE(MoveFileW(program.Files().Path(L"watched").c_str(), program.Files().Path(L"gone").c_str()));
  MessageBoxWindow notice = program.WaitMessageBox("警示信息 - 监视中断", Milliseconds(5000));
  ASSERT_TRUE(notice);
  EXPECT_EQ(notice.Message(), "缓存监视已意外停止，监视目录可能已被删除或无法访问，请检查后重新开始！");
  ASSERT_TRUE(notice.Answer(IDOK));
  ExpectIdle();
}
