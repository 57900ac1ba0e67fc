// Streams played by a real Firefox into its cache2 while the real program
// watches: the playlist and segments, first seen as raw bodies without an
// address, are followed until Firefox writes their metadata; then each HLS
// stream is prompted for once with its media playlist's address and saved
// at OK as the init and segments (or TS segments) the lab served; over
// HTTPS too, with playlists sent compressed; DASH video and sound are
// offered once and saved as one muxed file.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/driver/browser_lab_client.h"
#include "tests/e2e/driver/gbk.h"
#include "tests/e2e/driver/sandbox.h"
#include "tests/e2e/session/running_program.h"

using namespace e2e;

namespace {

constexpr char kPromptCaption[] = "警示信息 - 视频侦测";
constexpr char kPromptBefore[] = "侦测到视频文件：";
constexpr char kPromptAfter[] = " ，如果需要保存，请在视频播放(载入)完成后点击 确定 进行提取！";
constexpr char kSavedCaption[] = "警示信息 - 视频保存成功";
constexpr char kSavedBefore[] = "视频文件已被保存到：";

// "<before>（将写入 N 字节）" and the prompt's end: N is what is cached when the prompt comes.
bool IsSizedPrompt(const std::string& message, const std::string& before) {
  const std::string start = before + "（将写入 ";
  const std::string end = std::string(" 字节）") + kPromptAfter;
  return message.size() > start.size() + end.size() && message.starts_with(start) && message.ends_with(end) &&
         std::all_of(message.begin() + start.size(), message.end() - end.size(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

class FirefoxStreams : public RunningProgram {
 protected:
  void SetUp() override {
    std::optional<BrowserLab> found = BrowserLab::FromEnvironment();
    ASSERT_TRUE(found) << "EE_BROWSER_LAB_PORT is not set: run through browsers/run_with_browser_lab.sh";
    lab_.emplace(*found);
    RunningProgram::SetUp();
  }

  std::string Joined(const StreamTrack& track) {
    std::string joined;
    std::vector<std::string> paths;
    if (!track.init.empty()) paths.push_back(track.init);
    paths.insert(paths.end(), track.segments.begin(), track.segments.end());
    for (const std::string& path : paths) {
      const std::optional<HttpReply> reply = lab_->Fetch(path);
      EXPECT_TRUE(reply && reply->status == 200) << path;
      if (reply) joined += reply->body;
    }
    return joined;
  }

  // The saved box that follows OK: the saved file's path, the box answered.
  void SavedReported(std::wstring& saved) {
    MessageBoxWindow report = WaitFilledMessageBox(program.Id(), Milliseconds(30000));
    ASSERT_TRUE(report) << "no report after OK";
    ASSERT_EQ(report.Caption(), kSavedCaption) << report.Message();
    const std::string message = report.Message();
    ASSERT_EQ(message.rfind(kSavedBefore, 0), 0u) << message;
    saved = WideFromGbk(message.substr(std::string_view(kSavedBefore).size()));
    ASSERT_TRUE(report.Answer(IDOK));
  }

  std::optional<BrowserLab> lab_;
};

}  // namespace

TEST_F(FirefoxStreams, EachHlsStreamIsPromptedOnceWithItsPlaylistAndSavedJoined) {
  // The profile exists before the watch starts, as for a person who uses Firefox.
  const std::wstring profile =
      program.HomeFolder() + L"\\AppData\\Local\\Mozilla\\Firefox\\Profiles\\streams.default-release";
  ASSERT_TRUE(program.Files().MakeFolder(
      L"home\\AppData\\Local\\Mozilla\\Firefox\\Profiles\\streams.default-release\\cache2\\entries"));
  MainWindowParts parts(main);
  ASSERT_TRUE(parts.Video().SetChecked(true));
  ASSERT_TRUE(parts.Audio().SetChecked(true));
  ASSERT_TRUE(parts.Start().Click());
  ASSERT_TRUE(parts.Stop().WaitEnabled(true));

  for (const std::string name : {"hls-ts", "hls-fmp4"}) {
    SCOPED_TRACE(name);
    const std::string pagePath = "/streams/" + name + ".html";
    const std::vector<std::wstring> before = FolderList(program.ProgramFolder());
    BrowserLaunch launch;
    launch.browser = BrowserKind::kFirefox;
    launch.userDataDir = profile;
    launch.page = pagePath;
    std::optional<RunningBrowser> browser = lab_->Launch(launch);
    ASSERT_TRUE(browser) << lab_->Error();
    ASSERT_TRUE(lab_->WaitIdle(pagePath, Milliseconds(90000))) << lab_->Error();
    const std::optional<StreamPage> page = lab_->Stream(pagePath);
    ASSERT_TRUE(page && page->tracks.size() == 1) << lab_->Error();

    // Firefox writes an entry's address a few seconds after its body.
    MessageBoxWindow prompt = WaitFilledMessageBox(program.Id(), Milliseconds(45000));
    ASSERT_TRUE(prompt) << "no prompt";
    EXPECT_EQ(prompt.Caption(), kPromptCaption);
    // The bytes it will write ("（将写入 N 字节）") stand between the address and the rest.
    EXPECT_TRUE(IsSizedPrompt(prompt.Message(), kPromptBefore + lab_->Url(page->playlist))) << prompt.Message();
    ASSERT_TRUE(prompt.Answer(IDOK));
    std::wstring saved;
    ASSERT_NO_FATAL_FAILURE(SavedReported(saved));
    const std::optional<std::string> bytes = FileRead(saved);
    ASSERT_TRUE(bytes) << GbkFromWide(saved);
    const std::string joined = Joined(page->tracks.front());
    EXPECT_EQ(bytes->size(), joined.size());
    EXPECT_TRUE(*bytes == joined) << "the saved file is not the init and segments served";
    EXPECT_EQ(GbkFromWide(saved.substr(saved.rfind(L'.'))), page->container == "ts" ? ".ts" : ".mp4");

    const std::optional<BrowserStopped> stopped = browser->Stop();
    ASSERT_TRUE(stopped) << lab_->Error();
    EXPECT_TRUE(StaysTrue([&] { return MessageBoxes(program.Id()).empty(); }, Milliseconds(4000)))
        << "a second box for the stream";
    EXPECT_EQ(FolderList(program.ProgramFolder()).size(), before.size() + 1);
  }
  ASSERT_TRUE(parts.Stop().Click());
  EXPECT_TRUE(parts.Start().WaitEnabled(true));
}

// DASH video and sound played through MSE: Firefox keeps the manifest, both
// init segments and every segment, so the presentation is offered once with
// the manifest's address and saved as one file whose tracks are the served
// ones, packet for packet.  (The pages that fetch whole tracks by byte
// ranges leave nothing of them in cache2: Firefox does not store those
// partial answers, so there is nothing to offer.)
TEST_F(FirefoxStreams, DashVideoAndSoundAreOfferedOnceAndSavedAsOneFile) {
  const std::wstring profile =
      program.HomeFolder() + L"\\AppData\\Local\\Mozilla\\Firefox\\Profiles\\dash.default-release";
  ASSERT_TRUE(program.Files().MakeFolder(
      L"home\\AppData\\Local\\Mozilla\\Firefox\\Profiles\\dash.default-release\\cache2\\entries"));
  MainWindowParts parts(main);
  ASSERT_TRUE(parts.Video().SetChecked(true));
  ASSERT_TRUE(parts.Audio().SetChecked(true));
  ASSERT_TRUE(parts.Start().Click());
  ASSERT_TRUE(parts.Stop().WaitEnabled(true));

  const std::string pagePath = "/streams/dash.html";
  const std::vector<std::wstring> before = FolderList(program.ProgramFolder());
  BrowserLaunch launch;
  launch.browser = BrowserKind::kFirefox;
  launch.userDataDir = profile;
  launch.page = pagePath;
  std::optional<RunningBrowser> browser = lab_->Launch(launch);
  ASSERT_TRUE(browser) << lab_->Error();
  ASSERT_TRUE(lab_->WaitIdle(pagePath, Milliseconds(90000))) << lab_->Error();
  const std::optional<StreamPage> page = lab_->Stream(pagePath);
  ASSERT_TRUE(page && page->tracks.size() == 2) << lab_->Error();

  MessageBoxWindow prompt = WaitFilledMessageBox(program.Id(), Milliseconds(45000));
  ASSERT_TRUE(prompt) << "no prompt";
  EXPECT_EQ(prompt.Caption(), kPromptCaption);
  EXPECT_TRUE(IsSizedPrompt(prompt.Message(), kPromptBefore + lab_->Url(page->playlist) + "（视频和声音合成一个文件）"))
      << prompt.Message();
  ASSERT_TRUE(prompt.Answer(IDOK));
  std::wstring saved;
  ASSERT_NO_FATAL_FAILURE(SavedReported(saved));
  EXPECT_EQ(GbkFromWide(saved.substr(saved.rfind(L'.'))), ".mp4");
  auto addresses = [](const StreamTrack& track) {
    std::string list = track.init;
    for (const std::string& segment : track.segments) list += "," + segment;
    return list;
  };
  const std::optional<KeyValues> check = lab_->Control(
      "muxcheck", {{"path", Utf8From(saved)}, {"track0", addresses(page->tracks[0])},
                   {"track1", addresses(page->tracks[1])}});
  ASSERT_TRUE(check) << lab_->Error();
  if (check->at("checked") != "1") GTEST_SKIP() << check->at("error");
  EXPECT_EQ(check->at("ok"), "1") << check->at("fault");

  const std::optional<BrowserStopped> stopped = browser->Stop();
  ASSERT_TRUE(stopped) << lab_->Error();
  EXPECT_TRUE(StaysTrue([&] { return MessageBoxes(program.Id()).empty(); }, Milliseconds(4000)))
      << "a second box for the presentation";
  EXPECT_EQ(FolderList(program.ProgramFolder()).size(), before.size() + 1);
  ASSERT_TRUE(parts.Stop().Click());
  EXPECT_TRUE(parts.Start().WaitEnabled(true));
}

// Over HTTPS, as sites serve them: three streams whose playlists come gzip-,
// br- and zstd-encoded, played at once.  Firefox keeps them encoded; each
// is prompted for once with its playlist's address and saved joined.
TEST_F(FirefoxStreams, EncodedPlaylistsOverHttpsArePromptedWithTheirAddressAndSavedJoined) {
  ASSERT_FALSE(lab_->TlsUrl("/").empty()) << "the lab serves no HTTPS";
  const std::wstring profile =
      program.HomeFolder() + L"\\AppData\\Local\\Mozilla\\Firefox\\Profiles\\encoded.default-release";
  ASSERT_TRUE(program.Files().MakeFolder(
      L"home\\AppData\\Local\\Mozilla\\Firefox\\Profiles\\encoded.default-release\\cache2\\entries"));
  MainWindowParts parts(main);
  ASSERT_TRUE(parts.Video().SetChecked(true));
  ASSERT_TRUE(parts.Start().Click());
  ASSERT_TRUE(parts.Stop().WaitEnabled(true));

  const std::string all = "/streams/encoded.html";
  BrowserLaunch launch;
  launch.browser = BrowserKind::kFirefox;
  launch.userDataDir = profile;
  launch.page = all;
  launch.tls = true;
  std::optional<RunningBrowser> browser = lab_->Launch(launch);
  ASSERT_TRUE(browser) << lab_->Error();
  ASSERT_TRUE(lab_->WaitIdle(all, Milliseconds(90000))) << lab_->Error();
  std::map<std::string, std::string> joinedOf;  // playlist address -> the served run
  for (const std::string name : {"hls-gzip", "hls-br", "hls-zstd"}) {
    const std::optional<StreamPage> page = lab_->Stream("/streams/" + name + ".html");
    ASSERT_TRUE(page && page->tracks.size() == 1) << lab_->Error();
    ASSERT_FALSE(page->encoding.empty());
    EXPECT_EQ(page->codingSent, page->encoding) << name;
    joinedOf[lab_->TlsUrl(page->playlist)] = Joined(page->tracks.front());
  }

  std::set<std::string> offered;
  for (std::size_t count = 0; count < joinedOf.size(); ++count) {
    MessageBoxWindow prompt = WaitFilledMessageBox(program.Id(), Milliseconds(45000));
    ASSERT_TRUE(prompt) << "prompts seen: " << offered.size();
    ASSERT_EQ(prompt.Caption(), kPromptCaption) << prompt.Message();
    // Read once: after the answer the box and its text are gone.
    const std::string message = prompt.Message();
    std::string address;
    for (const auto& [playlist, run] : joinedOf)
      if (IsSizedPrompt(message, kPromptBefore + playlist)) address = playlist;
    if (address.empty()) prompt.Answer(IDCANCEL);
    ASSERT_FALSE(address.empty()) << "not an encoded stream's prompt: " << message;
    EXPECT_TRUE(offered.insert(address).second) << "offered twice: " << address;
    ASSERT_TRUE(prompt.Answer(IDOK));
    std::wstring saved;
    ASSERT_NO_FATAL_FAILURE(SavedReported(saved));
    const std::optional<std::string> bytes = FileRead(saved);
    ASSERT_TRUE(bytes) << GbkFromWide(saved);
    EXPECT_TRUE(*bytes == joinedOf[address]) << "the saved file is not the segments served for " << address;
  }
  const std::optional<BrowserStopped> stopped = browser->Stop();
  ASSERT_TRUE(stopped) << lab_->Error();
  EXPECT_TRUE(StaysTrue([&] { return MessageBoxes(program.Id()).empty(); }, Milliseconds(4000)))
      << "a second box for a stream";
  ASSERT_TRUE(parts.Stop().Click());
  EXPECT_TRUE(parts.Start().WaitEnabled(true));
}
