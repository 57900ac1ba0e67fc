// One whole first session, as a new user lives it: the help read at the first
// start, a save folder picked in the chooser, video and an own list chosen, a
// watch with files appearing anywhere below the home folder, some prompts
// confirmed and some cancelled, stop, exit, a second start without the help,
// exit again.  At the end the save folder must hold exactly the confirmed
// files, byte for byte, and both runs must have ended with code 0.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/session/main_window_parts.h"

using namespace e2e;

namespace {

struct CacheFile {
  std::wstring relative;  // below the home folder
  std::string contents;   // unique, so a saved copy names its source
  bool matches;           // of a selected class
  bool confirm;           // the answer given to its prompt
};

// The date part of a detection-time name for now ("2026年12月8日").
std::string TodayText() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return std::to_string(now.wYear) + "年" + std::to_string(now.wMonth) + "月" + std::to_string(now.wDay) +
         "日";
}

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

void WaitForNextSecond() {
  SYSTEMTIME first, now;
  GetLocalTime(&first);
  do {
    Sleep(5);
    GetLocalTime(&now);
  } while (now.wSecond == first.wSecond);
}

void ReadTheHelpForMoreThan15Seconds(ProgramUnderTest& program) {
  MessageBoxWindow welcome = program.WaitMessageBox("警示信息 - 欢迎使用");
  ASSERT_TRUE(welcome);
  ASSERT_TRUE(welcome.Answer(IDOK));
  Window about = program.WaitWindow(kAboutCaption);
  ASSERT_TRUE(about);
  Sleep(16000);
  ASSERT_TRUE(about.ChildByClassText("Button", "确定").Click());
  ASSERT_TRUE(about.WaitGone());
  EXPECT_FALSE(program.WaitMessageBox("警示信息 - 阅读时间太短", Milliseconds(1000)));
}

void ChooseSaveFolder(ProgramUnderTest& program, MainWindowParts& parts, const std::string& folder) {
  ASSERT_TRUE(parts.Button("浏览...").Click());
  Window chooser = program.WaitWindow(kChooserCaption);
  ASSERT_TRUE(chooser);
  ASSERT_TRUE(chooser.Child(kChooserPathBoxId).SetText(folder));
  ASSERT_TRUE(chooser.ChildByClassText("Button", "确定").Click());
  ASSERT_TRUE(chooser.WaitGone());
  ASSERT_TRUE(parts.SaveLabel().WaitText(folder));
}

}  // namespace

TEST(FullJourney, FirstSessionSavesExactlyTheConfirmedFiles) {
  ProgramUnderTest program;
  ProgramSetup setup;
  setup.executable = ProductExecutable();
  setup.settings = std::nullopt;  // never started before
  ASSERT_TRUE(program.Files().MakeFolder(L"home\\Cache\\Sub"));
  ASSERT_TRUE(program.Files().MakeFolder(L"saved elements"));
  ASSERT_TRUE(program.Start(setup)) << program.Error();

  ReadTheHelpForMoreThan15Seconds(program);
  if (HasFatalFailure()) return;
  Window main = program.WaitWindow(kMainCaption);
  ASSERT_TRUE(main);
  MainWindowParts parts(main);

  const std::string saveFolder = GbkFromWide(program.Files().Path(L"saved elements"));
  ChooseSaveFolder(program, parts, saveFolder);
  if (HasFatalFailure()) return;

  ASSERT_TRUE(parts.Video().SetChecked(true));
  ASSERT_TRUE(parts.Custom().SetChecked(true));
  ASSERT_TRUE(parts.CustomBox().WaitEnabled(true));
  ASSERT_TRUE(parts.CustomBox().TypeText("ppt;txt;"));
  ASSERT_TRUE(parts.Start().Click());
  ASSERT_TRUE(parts.Stop().WaitEnabled(true));

  const std::vector<CacheFile> files = {
      {L"Cache\\Sub\\Film.flv", "flv: the film", true, true},
      {L"Cache\\Sub\\a\\b\\c\\d\\e\\Deep.MP4", "mp4: five folders down", true, true},
      {L"Cache\\advert.wmv", "wmv: an advert", true, false},
      {L"notes.txt", "txt: own list", true, true},
      {L"Cache\\Sub\\slides.ppt", "ppt: own list, not wanted", true, false},
      {L"page.html", "html: not chosen", false, false},
      {L"song.mp3", "mp3: audio is not chosen", false, false},
      {L"Cache\\Sub\\a\\b\\style.css", "css: not chosen", false, false},
      // Two in the same second, confirmed both: neither copy may replace the other.
      {L"Cache\\Sub\\one.flv", "flv: first of a pair", true, true},
      {L"Cache\\Sub\\two.flv", "flv: second of a pair", true, true},
  };
  const std::string dayBefore = TodayText();
  for (std::size_t i = 0; i + 2 < files.size(); ++i) {
    ASSERT_TRUE(program.Files().WriteFile(L"home\\" + files[i].relative, files[i].contents));
  }
  WaitForNextSecond();
  for (std::size_t i = files.size() - 2; i < files.size(); ++i) {
    ASSERT_TRUE(program.Files().WriteFile(L"home\\" + files[i].relative, files[i].contents));
  }

  // Answer each prompt as its file deserves; the prompt names the file.
  const std::string watched = GbkFromWide(program.HomeFolder()) + "\\";
  std::map<std::string, const CacheFile*> byPromptedPath;
  std::size_t expectedPrompts = 0;
  for (const CacheFile& file : files) {
    if (!file.matches) continue;
    byPromptedPath[watched + LowerAscii(GbkFromWide(file.relative))] = &file;
    ++expectedPrompts;
  }
  std::set<std::string> prompted;
  std::map<std::string, std::string> savedContents;  // reported copy -> source contents
  while (prompted.size() < expectedPrompts) {
    MessageBoxWindow prompt = WaitAnyMessageBox(program.Id(), Milliseconds(20000));
    ASSERT_TRUE(prompt) << "prompts seen: " << prompted.size() << " of " << expectedPrompts;
    const std::string caption = prompt.Caption();
    const std::string message = prompt.Message();
    ASSERT_NE(caption.find("侦测"), std::string::npos) << caption << ": " << message;
    const CacheFile* file = nullptr;
    for (const auto& [path, candidate] : byPromptedPath) {
      if (message.find("：" + path + " ，") != std::string::npos) file = candidate;
    }
    ASSERT_NE(file, nullptr) << "a prompt for no expected file: " << message;
    EXPECT_TRUE(prompted.insert(message).second) << "prompted twice: " << message;
    ASSERT_TRUE(prompt.Answer(file->confirm ? IDOK : IDCANCEL));
    if (!file->confirm) continue;

    const std::string successCaption =
        caption.substr(0, caption.size() - std::string("侦测").size()) + "保存成功";
    MessageBoxWindow saved = program.WaitMessageBox(successCaption);
    ASSERT_TRUE(saved) << message;
    const std::string report = saved.Message();
    const std::size_t at = report.find(saveFolder + "\\");
    ASSERT_NE(at, std::string::npos) << report;
    const std::string copy = report.substr(at + saveFolder.size() + 1);
    EXPECT_TRUE(savedContents.emplace(copy, file->contents).second) << "reported twice: " << copy;
    ASSERT_TRUE(saved.Answer(IDOK));
  }
  // Files of classes not chosen bring nothing up.
  EXPECT_TRUE(StaysTrue([&] { return MessageBoxes(program.Id()).empty(); }, Milliseconds(2000)));

  ASSERT_TRUE(parts.Stop().Click());
  ASSERT_TRUE(parts.Start().WaitEnabled(true));
  ASSERT_TRUE(parts.Button("退出").Click());
  EXPECT_EQ(program.WaitForExit(), 0);

  // The second start shows no help and goes straight to the main window.
  ASSERT_TRUE(program.Restart()) << program.Error();
  main = program.WaitWindow(kMainCaption);
  ASSERT_TRUE(main);
  EXPECT_TRUE(StaysTrue([&] { return MessageBoxes(program.Id()).empty(); }, Milliseconds(1500)));
  EXPECT_FALSE(FindTopLevel(program.Id(), kAboutCaption));
  ASSERT_TRUE(MainWindowParts(main).Button("退出").Click());
  EXPECT_EQ(program.WaitForExit(), 0);

  // Exactly the confirmed files, each whole, under the names reported.
  const std::string dayAfter = TodayText();
  std::map<std::string, std::string> onDisk;
  for (const std::wstring& name : FolderList(program.Files().Path(L"saved elements"))) {
    onDisk[GbkFromWide(name)] = program.Files().ReadFile(L"saved elements\\" + name).value_or("<unreadable>");
  }
  EXPECT_EQ(onDisk, savedContents);
  for (const auto& [name, contents] : onDisk) {
    EXPECT_TRUE(name.rfind(dayBefore, 0) == 0 || name.rfind(dayAfter, 0) == 0)
        << name << " is not named after today's detection time";
    EXPECT_EQ(name.substr(name.rfind('.') + 1), contents.substr(0, contents.find(':'))) << name;
  }
  // The sources are untouched.
  for (const CacheFile& file : files) {
    EXPECT_EQ(program.Files().ReadFile(L"home\\" + file.relative).value_or(""), file.contents);
  }
}
