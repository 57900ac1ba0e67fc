// The end-to-end driver as a command-line tool: brings the program into a
// state a person would see and holds it there, so a script can take a
// screenshot.
//
//   ee_driver screenshot-state STATE --ready-file F --release-file G [--product EXE]
//
// STATE is main, welcome, firstrun, chooser, prompt or cached (the
// cached-media window over a small Chrome cache, sorted by size).  When the state is
// reached the tool writes "left top width height" of the window to look at
// into F, then waits (at most two minutes) for G to appear, ends the program
// and removes its sandbox.  Exit code 0 when the state was reached.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/e2e/driver/gbk.h"
#include "tests/e2e/driver/program.h"
#include "tests/support/chromium_cache_builders.h"

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

// A Chrome profile's simple cache below the sandbox's local application
// data, holding what a few pages played: videos, sounds, one cut short.
bool ChromeCacheWrite(const ProgramUnderTest& program) {
  const std::wstring folder = L"local\\Google\\Chrome\\User Data\\Default\\Cache\\Cache_Data";
  const ByteVector index = SimpleIndex();
  const std::string indexBytes(index.begin(), index.end());
  if (!program.Files().WriteFile(folder + L"\\index", indexBytes) ||
      !program.Files().WriteFile(folder + L"\\index-dir\\the-real-index", indexBytes))
    return false;
  const struct {
    const char* address;
    const char* type;
    std::size_t present, full;
  } entries[] = {
      {"https://video.example.cn/2026/12/trailer-hd.mp4", "video/mp4", 4812345, 4812345},
      {"https://cdn.example.com/clips/cat-jumps.webm", "video/webm", 1534876, 1534876},
      {"https://music.example.cn/song/evening-breeze.mp3", "audio/mpeg", 3745120, 3745120},
      {"https://video.example.cn/live/lecture-part2.mp4", "video/mp4", 2097152, 9437184},
      {"https://podcast.example.org/ep42/episode.m4a", "audio/mp4", 2231450, 2231450},
      {"https://static.example.com/ui/click.mp3", "audio/mpeg", 18230, 18230},
  };
  const std::uint8_t mp4[] = {0, 0, 0, 24, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm',
                              0, 0, 2, 0,  'i', 's', 'o', 'm', 'm', 'p', '4', '1'};
  const std::uint8_t webm[] = {0x1A, 0x45, 0xDF, 0xA3, 0x9F, 0x42, 0x86, 0x81,
                               0x01, 0x42, 0x82, 0x84, 'w',  'e',  'b',  'm'};
  const std::uint8_t id3[] = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0};
  const std::uint8_t m4a[] = {0, 0, 0, 24, 'f', 't', 'y', 'p', 'M', '4', 'A', ' ',
                              0, 0, 2, 0,  'M', '4', 'A', ' ', 'm', 'p', '4', '2'};
  int number = 0;
  for (const auto& entry : entries) {
    ByteVector body = Pattern(entry.present, static_cast<std::uint32_t>(number + 1));
    const std::string type = entry.type;
    const std::uint8_t* head = type == "video/webm"   ? webm
                               : type == "audio/mpeg" ? id3
                               : type == "audio/mp4"  ? m4a
                                                      : mp4;
    const std::size_t headSize = type == "video/webm"   ? sizeof webm
                                 : type == "audio/mpeg" ? sizeof id3
                                 : type == "audio/mp4"  ? sizeof m4a
                                                        : sizeof mp4;
    std::copy(head, head + headSize, body.begin());
    const std::string typeLine = "Content-Type: " + type;
    const std::string lengthLine = "Content-Length: " + std::to_string(entry.full);
    const ByteVector pickle = ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", typeLine, lengthLine}));
    char name[32];
    std::snprintf(name, sizeof name, "%016x_0", ++number);
    const ByteVector file = SimpleMainFile(
        std::string("1/0/_dk_https://example https://example ") + entry.address, body, &pickle);
    if (!program.Files().WriteFile(folder + L"\\" + std::wstring(name, name + std::strlen(name)),
                                   std::string(file.begin(), file.end())))
      return false;
  }
  return true;
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
  if (state == "cached") {
    setup.environment = {{L"LOCALAPPDATA", program.Files().Path(L"local")}};
    if (!ChromeCacheWrite(program)) {
      error = "cannot write the cache";
      return Window();
    }
    Window main = StartToMainWindow(program, setup);
    Window opener = main ? main.ChildByClassText("Button", "已缓存的媒体...") : Window();
    if (!opener || !opener.Click()) {
      error = "no main window with its cached-media button";
      return Window();
    }
    Window window = program.WaitWindow("已缓存的媒体", Milliseconds(30000));
    Window refresh = window ? window.ChildByClassText("Button", "刷新") : Window();
    if (!refresh || !refresh.WaitEnabled(true, Milliseconds(60000))) {
      error = "the cached-media window did not finish its scan";
      return Window();
    }
    // Sorted by 已有字节, largest first: two clicks on its header.
    Window list = window.Child(140);
    const Window header(reinterpret_cast<HWND>(list.Send(LVM_GETHEADER, 0, 0).value_or(0)));
    for (int click = 0; click < 2 && header; ++click) {
      int left = 0;
      for (int column = 0; column < 3; ++column)
        left += static_cast<int>(list.Send(LVM_GETCOLUMNWIDTH, column, 0).value_or(0));
      const LPARAM at = MAKELPARAM(left + 20, header.ClientRect().bottom / 2);
      header.Post(WM_LBUTTONDOWN, MK_LBUTTON, at);
      header.Post(WM_LBUTTONUP, 0, at);
      Sleep(300);
    }
    return window;
  }
  error = "unknown state " + state;
  return Window();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || std::string(argv[1]) != "screenshot-state")
    return Fail(
        "usage: ee_driver screenshot-state main|welcome|firstrun|chooser|prompt|cached --ready-file F "
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
