// Watched-folder texts that a person may leave in the box before pressing
// start: empty, relative, ending in "/", naming a file.  Each either starts
// a watch that finds and saves new files whole, or is refused with a message
// and leaves the window idle.
#include <string>

#include "tests/e2e/robustness/robustness_support.h"

using namespace e2e;

namespace {

class WatchedFolderText : public RunningProgram {
 protected:
  // Sets the box, chooses video and presses start.
  void StartWith(const std::string& folderText) {
    ASSERT_TRUE(Parts().Video().SetChecked(true));
    ASSERT_TRUE(Parts().WatchedBox().SetText(folderText));
    ASSERT_TRUE(Parts().Start().Click());
  }

  // The start is refused with this message; the window stays idle and the
  // program goes on (a second message would mean it went on to watch).
  void ExpectRefused(const char* caption, const char* message) {
    MessageBoxWindow box = program.WaitMessageBox(caption);
    ASSERT_TRUE(box) << "no message for a folder text that cannot be watched";
    EXPECT_EQ(box.Message(), message);
    ASSERT_TRUE(box.Answer(IDOK));
    EXPECT_TRUE(WaitUntil([&] { return Idle(); }, Milliseconds(5000)));
    EXPECT_TRUE(StaysTrue([&] { return MessageBoxes(program.Id()).empty() && Idle(); }, Milliseconds(1500)));
  }

  void ExpectStartFailure() {
    ExpectRefused("警示信息", "启动缓存监视失败！请重新启动计算机或更换账户后再试！");
  }

  // A new file written at `relative` (sandbox path) is prompted for with
  // `promptedPath` and saved byte for byte into the save folder.
  void ExpectSavedWhole(const std::wstring& relative, const std::string& promptedPath) {
    const std::string bytes = "video bytes of " + GbkFromWide(relative);
    ASSERT_TRUE(program.Files().WriteFile(relative, bytes));
    MessageBoxWindow prompt = program.WaitMessageBox("警示信息 - 视频侦测");
    ASSERT_TRUE(prompt) << "no prompt for a new file";
    EXPECT_EQ(prompt.Message(), "侦测到视频文件：" + promptedPath +
                                    " ，如果需要保存，请在视频播放(载入)完成后点击 确定 进行提取！");
    ASSERT_TRUE(prompt.Answer(IDOK));
    MessageBoxWindow saved = program.WaitMessageBox("警示信息 - 视频保存成功");
    ASSERT_TRUE(saved) << "no success message";
    ASSERT_TRUE(saved.Answer(IDOK));
    const auto copies = SavedFiles(program);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(program.Files().ReadFile(L"program\\" + copies[0]).value_or(""), bytes);
  }

  std::string Home() const { return GbkFromWide(program.HomeFolder()); }
};

}  // namespace

TEST_F(WatchedFolderText, EmptyTextIsRefusedAsAConflictWithEverySaveFolder) {
  StartWith("");
  ExpectRefused("警示信息 - 保存目录冲突", "元素保存目录不可以为临时文件的子目录，请重新选择！");
  ExitAndExpectCodeZero();
}

// Relative texts name folders below the program folder, the current folder
// for the whole life of the process.
TEST_F(WatchedFolderText, RelativeTextsWatchBelowTheProgramFolder) {
  StartWith("home");  // no such folder beside the program
  ExpectStartFailure();

  ASSERT_TRUE(program.Files().MakeFolder(L"program\\cache"));
  ASSERT_TRUE(Parts().WatchedBox().SetText("cache\\"));
  ASSERT_TRUE(Parts().Start().Click());
  ASSERT_TRUE(Parts().Stop().WaitEnabled(true));
  ASSERT_TRUE(Watching());
  ExpectSavedWhole(L"program\\cache\\Clip.flv", "cache\\clip.flv");
  ASSERT_TRUE(Parts().Stop().Click());
  EXPECT_TRUE(WaitUntil([&] { return Idle(); }, Milliseconds(5000)));
  ExitAndExpectCodeZero();
}

TEST_F(WatchedFolderText, TrailingSlashWatchesTheFolder) {
  ASSERT_TRUE(program.Files().MakeFolder(L"home\\Sub"));
  StartWith(Home() + "/");
  ASSERT_TRUE(Parts().Stop().WaitEnabled(true));
  ASSERT_TRUE(Watching());
  ExpectSavedWhole(L"home\\Sub\\Movie.FLV", Home() + "/sub\\movie.flv");
  ExitAndExpectCodeZero();
}

TEST_F(WatchedFolderText, FileInsteadOfAFolderIsRefused) {
  ASSERT_TRUE(program.Files().WriteFile(L"home\\notes.txt", "not a folder"));
  for (const std::string& text :
       {Home() + "\\notes.txt", Home() + "\\notes.txt\\", Home() + "\\notes.txt/"}) {
    SCOPED_TRACE(text);
    StartWith(text);
    ExpectStartFailure();
  }
  EXPECT_EQ(program.Files().ReadFile(L"home\\notes.txt").value_or(""), "not a folder");
  ExitAndExpectCodeZero();
}

// The start's check compares texts, so a watched folder spelled with "/"
// lets a save folder below it through.  The watch then sees every copy it
// makes; each file must still be prompted for and saved once, never again.
TEST_F(WatchedFolderText, SaveFolderHiddenByASlashGetsEachFileOnce) {
  StartWith(GbkFromWide(program.Files().Root()) + "/");
  ASSERT_TRUE(Parts().Stop().WaitEnabled(true)) << "refused: " << [&] {
    const auto boxes = MessageBoxes(program.Id());
    return boxes.empty() ? std::string("no message") : boxes[0].Message();
  }();
  ExpectSavedWhole(L"home\\clip.flv", GbkFromWide(program.Files().Root()) + "/home\\clip.flv");
  EXPECT_TRUE(StaysTrue([&] { return MessageBoxes(program.Id()).empty(); }, Milliseconds(3000)))
      << "the program's own copy was prompted for";
  EXPECT_EQ(SavedFiles(program).size(), 1u);
  ExitAndExpectCodeZero();
}
