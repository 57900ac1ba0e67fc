#include "tests/e2e/browser_media/chromium_watch.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "tests/e2e/driver/checksum.h"
#include "tests/e2e/driver/gbk.h"
#include "tests/e2e/driver/prompt_address.h"
#include "tests/e2e/driver/sandbox.h"

namespace e2e {
namespace {

struct PromptTexts {
  const char* caption;
  const char* before;  // the web address stands between the two
  const char* after;
  const char* savedText;  // followed by the copy's path
  const char* savedCaption;
};

constexpr PromptTexts kVideoPrompt{
    kVideoPromptCaption, "侦测到视频文件：", " ，如果需要保存，请在视频播放(载入)完成后点击 确定 进行提取！",
    "视频文件已被保存到：", "警示信息 - 视频保存成功"};
constexpr PromptTexts kAudioPrompt{
    kAudioPromptCaption, "侦测到音频文件：", " ，如果需要保存，请在音频播放(载入)完成后点击 确定 进行提取！",
    "音频文件已被保存到： ", "警示信息 - 音频保存成功"};

const PromptTexts& TextsOf(MediaClass mediaClass) {
  return mediaClass == MediaClass::kAudio ? kAudioPrompt : kVideoPrompt;
}

// "元素 <address> 尚未缓存完整：已缓存 N 字节，共 M 字节。" (or "总长度未知。"),
// then the choices, the last but one naming the contiguous bytes.
constexpr std::string_view kIncompleteBefore = "元素 ";
constexpr std::string_view kIncompleteAfter = " 尚未缓存完整：已缓存 ";
constexpr std::string_view kIncompleteOf = " 字节，共 ";
constexpr std::string_view kIncompleteUnknown = " 字节，总长度未知。";
constexpr std::string_view kIncompleteChoices =
    "\n点击 重试：等浏览器继续缓存后再次读取；\n点击 继续：保存从开头起连续的 ";
constexpr std::string_view kIncompleteEnd = " 字节；\n点击 取消：不保存。";

// The digits at `at`, advancing past them.
std::optional<std::uint64_t> NumberAt(const std::string& text, size_t& at) {
  const size_t begin = at;
  std::uint64_t value = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') value = value * 10 + (text[at++] - '0');
  if (at == begin) return std::nullopt;
  return value;
}

bool TakeText(const std::string& text, size_t& at, std::string_view expected) {
  if (text.compare(at, expected.size(), expected) != 0) return false;
  at += expected.size();
  return true;
}

std::string Describe(const MessageBoxWindow& box) { return "[" + box.Caption() + "] " + box.Message(); }

// GBK text, printed in UTF-8 for the test log.
void Log(const std::string& line) {
  std::printf("[ session  ] %s\n", Utf8From(WideFromGbk(line)).c_str());
  std::fflush(stdout);
}

}  // namespace

std::string ExtensionOf(const std::wstring& path) {
  const size_t dot = path.rfind(L'.');
  const size_t slash = path.rfind(L'\\');
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return {};
  return GbkFromWide(path.substr(dot));
}

ChromiumWatchSession::~ChromiumWatchSession() {
  if (browser_) browser_->Stop();
}

bool ChromiumWatchSession::Start(std::string* error) {
  ProgramSetup setup;
  setup.executable = ProductExecutable();
  // The home's own AppData\Local, as on Windows: the profile sits there, and
  // the program finds the caches of a browser in use through it.
  setup.environment = {{L"LOCALAPPDATA", program_.Files().Path(setup.homeFolder) + L"\\AppData\\Local"}};
  if (!program_.Start(setup)) {
    *error = program_.Error();
    return false;
  }
  main_ = program_.WaitWindow(kMainCaption);
  if (!main_) {
    *error = "the main window did not appear";
    return false;
  }
  // The default watched folder is the home folder, which holds the profile.
  const std::string watched = MainWindowParts(main_).WatchedBox().Text();
  if (watched != GbkFromWide(program_.HomeFolder()) + "\\") {
    *error = "the watched folder is " + watched + ", not the home folder";
    return false;
  }
  const std::optional<std::string> linux = lab_.LinuxPath(UserDataFolder());
  if (!linux || linux->find("/drive_c/users/") == std::string::npos) {
    *error = "the profile is not in the Wine prefix's home: " + linux.value_or(lab_.Error());
    return false;
  }
  return true;
}

std::wstring ChromiumWatchSession::UserDataFolder() const {
  return program_.HomeFolder() + L"\\AppData\\Local\\Chromium\\User Data";
}

void ChromiumWatchSession::Settle() {
  if (browser_) StopBrowser();
  // A failed case may leave prompts and boxes open; each answer may bring
  // the next queued one.
  for (int round = 0; round < 50; ++round) {
    const std::vector<MessageBoxWindow> boxes = MessageBoxes(program_.Id());
    if (boxes.empty() && StaysTrue([&] { return MessageBoxes(program_.Id()).empty(); }, Milliseconds(500))) {
      break;
    }
    for (const MessageBoxWindow& box : boxes) {
      const std::vector<int> buttons = box.ButtonIds();
      box.Answer(std::find(buttons.begin(), buttons.end(), IDCANCEL) != buttons.end() ? IDCANCEL : IDOK);
    }
  }
  lab_.Reset();
  StopWatch();
}

::testing::AssertionResult ChromiumWatchSession::StopWatch() {
  MainWindowParts parts(main_);
  if (parts.Stop().IsEnabled()) {
    if (!parts.Stop().Click()) return ::testing::AssertionFailure() << "stop could not be pressed";
  }
  if (!parts.Start().WaitEnabled(true) || !parts.Video().WaitEnabled(true)) {
    return ::testing::AssertionFailure() << "the watch did not stop";
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult ChromiumWatchSession::Watch(bool video, bool audio) {
  if (::testing::AssertionResult stopped = StopWatch(); !stopped) return stopped;
  MainWindowParts parts(main_);
  if (!parts.Video().SetChecked(video) || !parts.Audio().SetChecked(audio) || !parts.Custom().SetChecked(false)) {
    return ::testing::AssertionFailure() << "the class boxes could not be set";
  }
  if (!parts.Start().Click() || !parts.Stop().WaitEnabled(true)) {
    std::string why;
    for (const MessageBoxWindow& box : MessageBoxes(program_.Id())) why += " " + Describe(box);
    return ::testing::AssertionFailure() << "the watch did not start" << why;
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult ChromiumWatchSession::EnsureCacheFolder() {
  if (FileExists(CacheFolder() + L"\\index")) return ::testing::AssertionSuccess();
  if (::testing::AssertionResult stopped = StopWatch(); !stopped) return stopped;
  // The lab's list of pages: no media, but the browser makes its cache.
  if (::testing::AssertionResult launched = LaunchBrowser("/"); !launched) return launched;
  const bool made = WaitUntil([&] { return FileExists(CacheFolder() + L"\\index"); }, Milliseconds(30000));
  if (::testing::AssertionResult stopped = StopBrowser(); !stopped) return stopped;
  if (!made) return ::testing::AssertionFailure() << "the browser made no cache folder";
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult ChromiumWatchSession::LaunchBrowser(const std::string& page, bool tls) {
  if (browser_) return ::testing::AssertionFailure() << "a browser is already running";
  BrowserLaunch launch;
  launch.browser = BrowserKind::kChromium;
  launch.store = store_;
  launch.userDataDir = UserDataFolder();
  launch.page = page;
  launch.tls = tls;
  browser_ = lab_.Launch(launch);
  if (!browser_) return ::testing::AssertionFailure() << "chromium did not start: " << lab_.Error();
  if (browser_->CacheFolder() != CacheFolder()) {
    return ::testing::AssertionFailure() << "the cache went to " << GbkFromWide(browser_->CacheFolder());
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult ChromiumWatchSession::StopBrowser() {
  if (!browser_) return ::testing::AssertionSuccess();
  const std::optional<BrowserStopped> stopped = browser_->Stop();
  browser_.reset();
  if (!stopped) return ::testing::AssertionFailure() << "chromium could not be stopped: " << lab_.Error();
  if (stopped->remaining != 0) {
    return ::testing::AssertionFailure() << stopped->remaining << " chromium processes left behind";
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult ChromiumWatchSession::WaitBytesOnDisk(const std::string& bytes,
                                                                  const std::set<std::wstring>& earlier) {
  const bool found = WaitUntil(
      [&] {
        for (const std::wstring& name : FolderList(CacheFolder())) {
          if (earlier.count(name)) continue;
          const std::optional<std::string> file = FileRead(CacheFolder() + L"\\" + name);
          if (file && file->find(bytes) != std::string::npos) return true;
        }
        return false;
      },
      Milliseconds(30000), Milliseconds(100));
  if (found) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the body's first " << bytes.size() << " bytes reached no new cache file";
}

std::set<std::wstring> ChromiumWatchSession::SaveFolderFiles() const {
  const std::vector<std::wstring> names = FolderList(program_.ProgramFolder());
  return {names.begin(), names.end()};
}

std::string ChromiumWatchSession::ServedBytes(const std::string& path) {
  const std::optional<ServedFile> file = lab_.File(path);
  EXPECT_TRUE(file) << path << ": " << lab_.Error();
  if (!file) return {};
  // Every address serves one of the lab's media files.
  static const char* const kSources[] = {"video.mp4", "clip.webm", "sound.mp3", "whole.mp4", "small.mp3"};
  const std::wstring folder = PathFromEnvironment(L"EE_BROWSER_LAB_MEDIA");
  for (const char* source : kSources) {
    std::optional<std::string> bytes = FileRead(folder + L"\\" + WideFromGbk(source));
    if (bytes && bytes->size() == file->size && Sha256Hex(*bytes) == file->sha256) return std::move(*bytes);
  }
  ADD_FAILURE() << path << " serves none of the media files in " << GbkFromWide(folder);
  return {};
}

std::optional<std::wstring> ChromiumWatchSession::WaitSaved(MediaClass mediaClass) {
  const PromptTexts& texts = TextsOf(mediaClass);
  MessageBoxWindow box = WaitFilledMessageBox(program_.Id(), Milliseconds(30000));
  if (!box) {
    ADD_FAILURE() << "no box after OK";
    return std::nullopt;
  }
  if (box.Caption() != texts.savedCaption) {
    ADD_FAILURE() << "expected " << texts.savedCaption << ", got " << Describe(box);
    return std::nullopt;
  }
  const std::string message = box.Message();
  EXPECT_EQ(message.rfind(texts.savedText, 0), 0u) << message;
  const std::wstring saved = WideFromGbk(message.substr(std::min(message.size(), std::strlen(texts.savedText))));
  EXPECT_TRUE(box.Answer(IDOK));
  EXPECT_EQ(FolderOf(saved), program_.ProgramFolder()) << message;
  return saved;
}

MessageBoxWindow ChromiumWatchSession::NextBox(Milliseconds timeout) {
  return WaitFilledMessageBox(program_.Id(), timeout);
}

::testing::AssertionResult ChromiumWatchSession::NoBoxAppears(Milliseconds period) {
  std::string seen;
  const bool none = StaysTrue(
      [&] {
        const std::vector<MessageBoxWindow> boxes = MessageBoxes(program_.Id());
        if (!boxes.empty()) seen = Describe(boxes.front());
        return boxes.empty();
      },
      period);
  if (none) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "a box appeared: " << seen;
}

void ChromiumWatchSession::AnswerPrompts(const std::string& page, const std::vector<ElementPlan>& plan) {
  std::map<std::string, const ElementPlan*> byAddress;
  for (const ElementPlan& element : plan) byAddress[lab_.Url(element.path)] = &element;
  std::set<std::string> prompted;
  bool served = false;
  const ULONGLONG began = GetTickCount64();
  while (prompted.size() < plan.size()) {
    // Generous: the browser starts, fetches and writes first.
    MessageBoxWindow box = WaitFilledMessageBox(program_.Id(), Milliseconds(45000));
    if (!box) {
      std::string missing;
      for (const auto& [address, element] : byAddress)
        if (!prompted.count(address)) missing += " " + address;
      ADD_FAILURE() << "no prompt for" << missing;
      return;
    }
    const std::string caption = box.Caption();
    const std::string message = box.Message();
    const PromptTexts* texts = caption == kVideoPromptCaption   ? &kVideoPrompt
                               : caption == kAudioPromptCaption ? &kAudioPrompt
                                                                : nullptr;
    if (texts == nullptr) {
      ADD_FAILURE() << "a box other than a prompt: " << Describe(box);
      box.Answer(IDOK);
      continue;
    }
    const std::string before = texts->before;
    const std::string after = texts->after;
    if (message.size() < before.size() + after.size() || message.rfind(before, 0) != 0 ||
        message.compare(message.size() - after.size(), after.size(), after) != 0) {
      ADD_FAILURE() << "not a prompt's text: " << Describe(box);
      box.Answer(IDCANCEL);
      continue;
    }
    const std::string address =
        PromptAddressOf(message.substr(before.size(), message.size() - before.size() - after.size()));
    const auto found = byAddress.find(address);
    if (found == byAddress.end()) {
      ADD_FAILURE() << "prompted for " << address << ", which is no planned element of " << page;
      box.Answer(IDCANCEL);
      continue;
    }
    if (!prompted.insert(address).second) {
      ADD_FAILURE() << "prompted a second time for " << address;
      box.Answer(IDCANCEL);
      continue;
    }
    const ElementPlan& element = *found->second;
    Log("prompt for " + address + " after " + std::to_string(GetTickCount64() - began) + " ms");
    EXPECT_EQ(texts, &TextsOf(element.mediaClass)) << address << " prompted as " << caption;
    EXPECT_TRUE(box.HasIcon());
    EXPECT_EQ(box.ButtonIds().size(), 2u);
    // As a person does: OK once the page has played.
    if (element.answer == IDOK && !served) {
      served = lab_.WaitIdle(page, Milliseconds(60000)).has_value();
      EXPECT_TRUE(served) << "the page's media were not served: " << lab_.Error();
    }
    const std::set<std::wstring> before_files = SaveFolderFiles();
    EXPECT_TRUE(box.Answer(element.answer)) << address;
    if (element.answer != IDOK) continue;
    const std::optional<std::wstring> saved = WaitSaved(element.mediaClass);
    if (!saved) continue;
    EXPECT_EQ(ExtensionOf(*saved), element.extension) << GbkFromWide(*saved);
    EXPECT_FALSE(before_files.count(FileNameOf(*saved))) << "an earlier file was replaced";
    const std::optional<std::string> bytes = FileRead(*saved);
    const std::string expected = ServedBytes(element.path);
    ASSERT_TRUE(bytes) << GbkFromWide(*saved);
    EXPECT_EQ(bytes->size(), expected.size()) << address;
    EXPECT_TRUE(*bytes == expected) << address << ": the saved copy differs from the served file";
  }
}

::testing::AssertionResult ChromiumWatchSession::ConfirmPrompt(const ElementPlan& element) {
  const PromptTexts& texts = TextsOf(element.mediaClass);
  MessageBoxWindow box = WaitFilledMessageBox(program_.Id(), Milliseconds(45000));
  if (!box) return ::testing::AssertionFailure() << "no prompt for " << element.path;
  const std::string expected = texts.before + lab_.Url(element.path) + texts.after;
  const std::string message = box.Message();
  const std::string before = texts.before, after = texts.after;
  const bool framed = message.size() >= before.size() + after.size() && message.rfind(before, 0) == 0 &&
                      message.compare(message.size() - after.size(), after.size(), after) == 0;
  const bool named =
      framed && PromptAddressOf(message.substr(before.size(), message.size() - before.size() - after.size())) ==
                    lab_.Url(element.path);
  if (box.Caption() != texts.caption || !named) {
    const std::string seen = Describe(box);
    box.Answer(IDCANCEL);
    return ::testing::AssertionFailure() << "expected the prompt [" << texts.caption << "] " << expected
                                         << ", got " << seen;
  }
  if (!box.Answer(IDOK)) return ::testing::AssertionFailure() << "the prompt did not close at OK";
  return ::testing::AssertionSuccess();
}

std::optional<IncompleteBox> ChromiumWatchSession::WaitIncomplete(const std::string& path) {
  MessageBoxWindow box = WaitFilledMessageBox(program_.Id(), Milliseconds(30000));
  if (!box) {
    ADD_FAILURE() << "no box after OK for " << path;
    return std::nullopt;
  }
  if (box.Caption() != kIncompleteCaption) {
    ADD_FAILURE() << "expected the incomplete-element choice, got " << Describe(box);
    return std::nullopt;
  }
  IncompleteBox read;
  read.box = box;
  read.address = lab_.Url(path);
  const std::string message = box.Message();
  size_t at = 0;
  std::optional<std::uint64_t> present, full, contiguous;
  bool parsed = TakeText(message, at, kIncompleteBefore) && TakeText(message, at, read.address) &&
                TakeText(message, at, kIncompleteAfter) && (present = NumberAt(message, at));
  if (parsed && TakeText(message, at, kIncompleteOf)) {
    parsed = (full = NumberAt(message, at)) && TakeText(message, at, " 字节。");
  } else {
    parsed = parsed && TakeText(message, at, kIncompleteUnknown);
  }
  parsed = parsed && TakeText(message, at, kIncompleteChoices) && (contiguous = NumberAt(message, at)) &&
           TakeText(message, at, kIncompleteEnd) && at == message.size();
  if (!parsed) {
    ADD_FAILURE() << "the incomplete-element text is not as expected: " << message;
    return std::nullopt;
  }
  read.present = *present;
  read.fullLength = full;
  read.contiguous = *contiguous;
  std::vector<int> buttons = box.ButtonIds();
  std::sort(buttons.begin(), buttons.end());
  EXPECT_EQ(buttons, (std::vector<int>{IDCANCEL, IDTRYAGAIN, IDCONTINUE}));
  EXPECT_TRUE(box.HasIcon());
  EXPECT_LE(read.contiguous, read.present) << message;
  if (read.fullLength) {
    EXPECT_LT(read.contiguous, *read.fullLength) << message;
  }
  Log("incomplete: " + message.substr(0, message.find('\n')));
  return read;
}

}  // namespace e2e
