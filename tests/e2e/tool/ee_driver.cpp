// The end-to-end driver as a command-line tool: brings the program into a
// state a person would see and holds it there, so a script can take a
// screenshot.
//
//   ee_driver screenshot-state STATE --ready-file F --release-file G [--product EXE]
//
// STATE is main, welcome, firstrun, chooser or prompt.  When the state is
// reached the tool writes "left top width height" of the window to look at
// into F, then waits (at most two minutes) for G to appear, ends the program
// and removes its sandbox.  Exit code 0 when the state was reached.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/e2e/driver/gbk.h"
#include "tests/e2e/driver/program.h"

namespace {

using namespace e2e;

constexpr char kMainCaption[] = "Velmir网页元素提取工具 1.11.0122";
constexpr char kWelcomeCaption[] = "警示信息 - 欢迎使用";
constexpr char kAboutCaption[] = "关于Velmir网页元素提取工具";
constexpr char kChooserCaption[] = "目标目录选择";
constexpr char kVideoPromptCaption[] = "警示信息 - 视频侦测";
constexpr char kVideoBoxCaption[] =
    "常见视频格式(flv、mp4、f4v、mpeg、mpg、avi、mov、asf、wmv、navi、3gp、rm、rmvb、m4v、hlv、3gp)";

int Fail(const std::string& why) {
  fprintf(stderr, "ee_driver: %s\n", why.c_str());
  return 1;
}

Window StartToMainWindow(ProgramUnderTest& program, ProgramSetup setup) {
  if (!program.Start(setup)) return Window();
  return program.WaitWindow(kMainCaption, Milliseconds(30000));
}

// Drives the program into the state; returns the window to look at.
Window Reach(const std::string& state, ProgramUnderTest& program, const std::wstring& product,
             std::string& error) {
  ProgramSetup setup;
  setup.executable = product;
  if (state == "main") {
    Window main = StartToMainWindow(program, setup);
    if (!main) error = "the main window did not appear. " + program.Error();
    return main;
  }
  if (state == "welcome" || state == "firstrun") {
    setup.settings.reset();
    if (!program.Start(setup)) {
      error = program.Error();
      return Window();
    }
    MessageBoxWindow welcome = program.WaitMessageBox(kWelcomeCaption, Milliseconds(30000));
    if (!welcome) error = "no welcome notice";
    if (state == "welcome" || !welcome) return welcome.Frame();
    welcome.Answer(IDOK);
    Window about = program.WaitWindow(kAboutCaption);
    if (!about) error = "no help window after the welcome notice";
    return about;
  }
  if (state == "chooser") {
    Window main = StartToMainWindow(program, setup);
    Window browse = main ? main.ChildByClassText("Button", "浏览...") : Window();
    if (!browse) {
      error = "no main window with its browse button";
      return Window();
    }
    browse.Click();
    Window chooser = program.WaitWindow(kChooserCaption);
    if (!chooser) error = "the directory chooser did not open";
    return chooser;
  }
  if (state == "prompt") {
    Window main = StartToMainWindow(program, setup);
    Window video = main ? main.ChildByClassText("Button", kVideoBoxCaption) : Window();
    Window start = main ? main.ChildByClassText("Button", "开始") : Window();
    Window stop = main ? main.ChildByClassText("Button", "停止") : Window();
    if (!video || !start || !stop || !video.SetChecked(true)) {
      error = "no main window with the video box and the start button";
      return Window();
    }
    start.Click();
    if (!stop.WaitEnabled(true)) {
      error = "the watch did not start";
      return Window();
    }
    // A page's video arriving in the cache: a new folder with a new file.
    // Tried a few times, since the watch may take a moment to be armed.
    for (int attempt = 0; attempt < 5; ++attempt) {
      const std::wstring folder = L"home\\Cache" + std::to_wstring(attempt);
      program.Files().WriteFile(folder + L"\\clip[1].flv", std::string(4096, 'v'));
      MessageBoxWindow prompt = program.WaitMessageBox(kVideoPromptCaption, Milliseconds(3000));
      if (prompt) return prompt.Frame();
    }
    error = "no detection prompt";
    return Window();
  }
  error = "unknown state " + state;
  return Window();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || std::string(argv[1]) != "screenshot-state")
    return Fail(
        "usage: ee_driver screenshot-state main|welcome|firstrun|chooser|prompt --ready-file F "
        "--release-file G [--product EXE]");
  const std::string state = argv[2];
  std::wstring ready, release, product = ProductExecutable();
  for (int i = 3; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const std::wstring value = WindowsPathFrom(WideFromGbk(argv[i + 1]));
    if (option == "--ready-file")
      ready = value;
    else if (option == "--release-file")
      release = value;
    else if (option == "--product")
      product = value;
    else
      return Fail("unknown option " + option);
  }
  if (ready.empty() || release.empty()) return Fail("--ready-file and --release-file are needed");

  ProgramUnderTest program;
  std::string error;
  const Window window = Reach(state, program, product, error);
  if (!window) return Fail(state + ": " + error);
  // Paint everything now (a sent WM_PAINT), then give the X server a moment:
  // it draws asynchronously and says nothing when it is done.
  RedrawWindow(window.Handle(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(300);
  const RECT rect = window.Rect();
  char line[96];
  snprintf(line, sizeof line, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
           rect.bottom - rect.top);
  const std::wstring partial = ready + L".part";
  if (!FileWrite(partial, line) || !MoveFileExW(partial.c_str(), ready.c_str(), MOVEFILE_REPLACE_EXISTING))
    return Fail("cannot write the ready file");
  if (!WaitUntil([&] { return FileExists(release); }, Milliseconds(120000), Milliseconds(100)))
    return Fail("nobody released the state within two minutes");
  return 0;
}
