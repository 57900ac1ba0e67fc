// The real program watching the home folder while a real Firefox plays a
// page into its cache2 below it: each medium of the page is prompted for
// once, the saved copies equal the served files, nothing else is asked
// about.  One Firefox run for the whole test keeps it short.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/e2e/driver/browser_lab_client.h"
#include "tests/e2e/driver/checksum.h"
#include "tests/e2e/driver/gbk.h"
#include "tests/e2e/driver/prompt_address.h"
#include "tests/e2e/driver/sandbox.h"
#include "tests/e2e/session/running_program.h"

using namespace e2e;

namespace {

constexpr std::string_view kPage = "/media.html";

struct Medium {
  std::string path;       // on the lab
  std::string extension;  // the saved copy's, with the dot
  bool audio = false;
  std::string bytes;  // as served
};

struct PromptTexts {
  std::string caption, before, after, successCaption;
};
// The texts the program shows for video and for audio (GBK, as the driver reads them).
const PromptTexts kVideo{"警示信息 - 视频侦测", "侦测到视频文件：",
                         " ，如果需要保存，请在视频播放(载入)完成后点击 确定 进行提取！",
                         "警示信息 - 视频保存成功"};
const PromptTexts kAudio{"警示信息 - 音频侦测", "侦测到音频文件：",
                         " ，如果需要保存，请在音频播放(载入)完成后点击 确定 进行提取！",
                         "警示信息 - 音频保存成功"};
constexpr std::string_view kIncompleteCaption = "警示信息 - 元素尚未缓存完整";

struct Answered {
  bool audio = false;
  std::string named;  // what the prompt named between its two texts
};

std::string AsciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool EndsWith(const std::string& text, std::string_view tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class FirefoxLive : public RunningProgram {
 protected:
  void SetUp() override {
    std::optional<BrowserLab> found = BrowserLab::FromEnvironment();
    ASSERT_TRUE(found) << "EE_BROWSER_LAB_PORT is not set: run through browsers/run_with_browser_lab.sh";
    lab_.emplace(*found);
    RunningProgram::SetUp();
  }

  std::vector<Medium> ServedMedia() {
    std::vector<Medium> media = {{"/media/video.mp4", ".mp4", false, {}},
                                 {"/media/clip.webm", ".webm", false, {}},
                                 {"/media/sound.mp3", ".mp3", true, {}}};
    for (Medium& medium : media) {
      const std::optional<ServedFile> file = lab_->File(medium.path);
      const std::optional<HttpReply> reply = lab_->Fetch(medium.path);
      EXPECT_TRUE(file && reply) << lab_->Error();
      if (!file || !reply) continue;
      EXPECT_EQ(Sha256Hex(reply->body).value_or(""), file->sha256) << medium.path;
      medium.bytes = reply->body;
    }
    return media;
  }

  // Answers OK to the next prompt of either class and to its success
  // report; what it named.  Nothing when no prompt came in time.
  std::optional<Answered> AnswerNextPrompt(Milliseconds timeout) {
    std::optional<Answered> answered;
    MessageBoxWindow prompt;
    const bool came = WaitUntil(
        [&] {
          for (const MessageBoxWindow& box : MessageBoxes(program.Id())) {
            const std::string caption = box.Caption();
            if (caption == kVideo.caption || caption == kAudio.caption) {
              prompt = box;
              return true;
            }
          }
          return false;
        },
        timeout);
    if (!came) return answered;
    const bool audio = prompt.Caption() == kAudio.caption;
    const PromptTexts& texts = audio ? kAudio : kVideo;
    const std::string message = prompt.Message();
    EXPECT_EQ(message.rfind(texts.before, 0), 0u) << message;
    EXPECT_TRUE(EndsWith(message, texts.after)) << message;
    if (message.size() < texts.before.size() + texts.after.size()) return answered;
    answered = Answered{audio, PromptAddressOf(message.substr(
                                   texts.before.size(), message.size() - texts.before.size() - texts.after.size()))};
    EXPECT_TRUE(prompt.Answer(IDOK));
    // The browser has let go of every entry: nothing is incomplete.
    MessageBoxWindow report;
    WaitUntil(
        [&] {
          for (const MessageBoxWindow& box : MessageBoxes(program.Id())) {
            const std::string caption = box.Caption();
            if (caption == texts.successCaption || caption == kIncompleteCaption) {
              report = box;
              return true;
            }
          }
          return false;
        },
        Milliseconds(15000));
    EXPECT_TRUE(report) << "no report after OK for " << answered->named;
    if (!report) return answered;
    EXPECT_EQ(report.Caption(), texts.successCaption) << report.Message();
    EXPECT_TRUE(report.Answer(report.Caption() == kIncompleteCaption ? IDCANCEL : IDOK));
    return answered;
  }

  std::optional<BrowserLab> lab_;
};

}  // namespace

TEST_F(FirefoxLive, EachMediumOfThePageIsPromptedOnceAndSavedAsServed) {
  const std::vector<Medium> media = ServedMedia();
  ASSERT_GT(media[0].bytes.size(), 1024u * 1024u);  // more than one Firefox write of the body

  // Firefox's cache where a Windows Firefox keeps it, below the watched home.
  // The profile exists before the watch starts, as it does for a person who
  // uses Firefox (a folder made during the session may be watched only
  // after its first files came, under Wine).
  const std::wstring profile =
      program.HomeFolder() + L"\\AppData\\Local\\Mozilla\\Firefox\\Profiles\\lab.default-release";
  ASSERT_TRUE(program.Files().MakeFolder(
      L"home\\AppData\\Local\\Mozilla\\Firefox\\Profiles\\lab.default-release\\cache2\\entries"));

  MainWindowParts parts(main);
  ASSERT_TRUE(parts.Video().SetChecked(true));
  ASSERT_TRUE(parts.Audio().SetChecked(true));
  ASSERT_TRUE(parts.Start().Click());
  ASSERT_TRUE(parts.Stop().WaitEnabled(true));

  BrowserLaunch launch;
  launch.browser = BrowserKind::kFirefox;
  launch.userDataDir = profile;
  launch.page = std::string(kPage);
  const ULONGLONG launched = GetTickCount64();
  std::optional<RunningBrowser> browser = lab_->Launch(launch);
  ASSERT_TRUE(browser) << lab_->Error();
  const std::optional<unsigned long long> idle = lab_->WaitIdle(kPage, Milliseconds(60000));
  ASSERT_TRUE(idle) << lab_->Error();
  // Found while the browser still runs: the first prompt comes before the
  // browser is ended (the others queue behind it).
  const bool promptWhileRunning = WaitUntil(
      [&] {
        for (const MessageBoxWindow& box : MessageBoxes(program.Id())) {
          if (box.Caption() == kVideo.caption || box.Caption() == kAudio.caption) return true;
        }
        return false;
      },
      Milliseconds(15000));
  EXPECT_TRUE(promptWhileRunning);
  const unsigned long long firstPromptMs = GetTickCount64() - launched;
  const std::optional<BrowserStopped> stopped = browser->Stop();
  ASSERT_TRUE(stopped) << lab_->Error();
  EXPECT_EQ(stopped->remaining, 0);
  std::printf(
      "[ firefox  ] page served %llu ms after launch, first prompt seen %llu ms after launch, browser gone "
      "after %llu ms\n",
      static_cast<unsigned long long>(*idle), firstPromptMs, stopped->runMs);

  std::vector<Answered> answered;
  for (std::size_t i = 0; i < media.size(); ++i) {
    std::optional<Answered> next = AnswerNextPrompt(Milliseconds(30000));
    ASSERT_TRUE(next) << "only " << i << " prompts came";
    answered.push_back(*next);
  }
  std::printf("[ firefox  ] %zu prompts answered %llu ms after launch\n", answered.size(),
              static_cast<unsigned long long>(GetTickCount64() - launched));
  // Nothing more: the page, its image, script and stylesheet, the favicon
  // and the browser's own entries are no elements.
  EXPECT_TRUE(StaysTrue([&] { return MessageBoxes(program.Id()).empty(); }, Milliseconds(3000)));

  // Each prompt named a medium's web address, or (the metadata not yet
  // written when it was shown) its entry file in cache2\entries.
  const std::string entries = GbkFromWide(profile) + "\\cache2\\entries\\";
  int byFile = 0;
  std::map<std::string, int> byAddress;
  for (const Answered& prompt : answered) {
    // The folder as the watcher reports it (lower case below the watched
    // folder), then the entry's name as the browser spells it.
    if (AsciiLower(prompt.named).rfind(AsciiLower(entries), 0) == 0) {
      EXPECT_EQ(prompt.named.size(), entries.size() + 40) << prompt.named;
      ++byFile;
      continue;
    }
    bool known = false;
    for (const Medium& medium : media) {
      if (prompt.named != lab_->Url(medium.path)) continue;
      known = true;
      EXPECT_EQ(prompt.audio, medium.audio) << prompt.named;
      ++byAddress[medium.path];
    }
    EXPECT_TRUE(known) << "prompt for " << prompt.named;
  }
  for (const auto& [path, count] : byAddress) EXPECT_EQ(count, 1) << path;
  std::printf("[ firefox  ] prompts naming the address: %zu, naming the entry file: %d\n", byAddress.size(),
              byFile);

  // One copy of each, byte for byte, with its container's extension.
  for (const Medium& medium : media) {
    std::vector<std::wstring> copies;
    for (const std::wstring& name : FolderList(program.ProgramFolder())) {
      if (EndsWith(GbkFromWide(name), medium.extension)) copies.push_back(name);
    }
    ASSERT_EQ(copies.size(), 1u) << medium.path;
    const std::optional<std::string> saved = FileRead(program.ProgramFolder() + L"\\" + copies[0]);
    ASSERT_TRUE(saved) << medium.path;
    EXPECT_EQ(saved->size(), medium.bytes.size()) << medium.path;
    EXPECT_TRUE(*saved == medium.bytes) << medium.path << " differs from the served file";
  }

  ASSERT_TRUE(parts.Stop().Click());
  EXPECT_TRUE(parts.Start().WaitEnabled(true));
}
