// Streams played by the real Chromium while the real program watches: each
// HLS stream is prompted for once, with its media playlist's address, and
// saved at OK as one file that equals the init segment and the segments
// (or the TS segments) the lab served, which ffprobe reads whole; a stream
// with segments skipped offers the choice in segments; an AES-128 stream
// gets the one not-saveable message and nothing is saved; segments whose
// playlist was not cached are one group; DASH video and sound are offered
// once and saved as one muxed file, and so are a video-only and a
// sound-only file fetched by byte ranges; each joined file's tracks are the
// served ones, packet for packet.  Every stream prompt says the bytes it
// will write.  Both stores.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/browser_media/chromium_watch.h"
#include "tests/e2e/driver/gbk.h"
#include "tests/e2e/driver/sandbox.h"

namespace e2e {
namespace {

template <class Store>
class ChromiumStreams : public ChromiumWatch<Store> {};

TYPED_TEST_SUITE(ChromiumStreams, ChromiumStores, ChromiumStoreNames);

constexpr char kVideoPromptBefore[] = "侦测到视频文件：";
constexpr char kVideoPromptAfter[] = " ，如果需要保存，请在视频播放(载入)完成后点击 确定 进行提取！";
constexpr char kProtectedCaption[] = "警示信息 - 流已加密";

std::string PagePath(const std::string& name) { return "/streams/" + name + ".html"; }

// What the lab served of the page's one track: the init segment, then the
// segments up to the first one the page skipped.
std::string JoinedRun(BrowserLab& lab, const StreamTrack& track) {
  std::string joined;
  auto body = [&](const std::string& path) {
    const std::optional<HttpReply> reply = lab.Fetch(path);
    EXPECT_TRUE(reply && reply->status == 200) << path;
    return reply ? reply->body : std::string();
  };
  if (!track.init.empty()) joined = body(track.init);
  for (const std::string& segment : track.segments) {
    if (std::find(track.skipped.begin(), track.skipped.end(), segment) != track.skipped.end()) break;
    joined += body(segment);
  }
  return joined;
}

std::vector<std::wstring> Added(const std::set<std::wstring>& before, const std::set<std::wstring>& after) {
  std::vector<std::wstring> added;
  for (const std::wstring& name : after)
    if (!before.count(name)) added.push_back(name);
  return added;
}

// Plays the page while watched; returns its description once it has played.
std::optional<StreamPage> Play(ChromiumWatchSession& session, const std::string& name) {
  EXPECT_TRUE(session.EnsureCacheFolder());
  EXPECT_TRUE(session.Watch(true, true));
  EXPECT_TRUE(session.LaunchBrowser(PagePath(name)));
  EXPECT_TRUE(session.Lab().WaitIdle(PagePath(name), Milliseconds(90000))) << session.Lab().Error();
  std::optional<StreamPage> page = session.Lab().Stream(PagePath(name));
  EXPECT_TRUE(page && page->tracks.size() == 1) << session.Lab().Error();
  if (page && page->tracks.size() != 1) return std::nullopt;
  return page;
}

// "<before>（将写入 N 字节）<after>": N is what is cached when the prompt comes.
bool IsSizedPrompt(const std::string& message, const std::string& before, const std::string& after) {
  const std::string start = before + "（将写入 ";
  const std::string end = std::string(" 字节）") + after;
  return message.size() > start.size() + end.size() && message.starts_with(start) && message.ends_with(end) &&
         std::all_of(message.begin() + start.size(), message.end() - end.size(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

// The video prompt naming `path` (the page's playlist unless given), read
// and checked; OK pressed.
::testing::AssertionResult ConfirmStreamPrompt(ChromiumWatchSession& session, const StreamPage& page,
                                               const std::string& path = {}) {
  const std::string named = path.empty() ? page.playlist : path;
  MessageBoxWindow box = session.NextBox();
  if (!box) return ::testing::AssertionFailure() << "no prompt for " << named;
  const std::string before = kVideoPromptBefore + session.Lab().Url(named);
  const bool sized = IsSizedPrompt(box.Message(), before, kVideoPromptAfter);
  const std::string expected = before + "（将写入 N 字节）" + kVideoPromptAfter;
  if (box.Caption() != kVideoPromptCaption || !sized) {
    const std::string seen = "[" + box.Caption() + "] " + box.Message();
    box.Answer(IDCANCEL);
    return ::testing::AssertionFailure() << "expected " << expected << ", got " << seen;
  }
  if (!box.Answer(IDOK)) return ::testing::AssertionFailure() << "the prompt did not close at OK";
  return ::testing::AssertionSuccess();
}

void ExpectProbedSeconds(ChromiumWatchSession& session, const std::wstring& saved, double seconds) {
  const std::optional<KeyValues> probe = session.Lab().Control("probe", {{"path", Utf8From(saved)}});
  ASSERT_TRUE(probe) << session.Lab().Error();
  if (probe->at("probed") != "1" && probe->at("error") == "no ffprobe") GTEST_SKIP() << "no ffprobe";
  ASSERT_EQ(probe->at("probed"), "1") << probe->at("error");
  EXPECT_NEAR(std::atof(probe->at("duration").c_str()), seconds, 0.5);
  EXPECT_NE(probe->at("streams").find("video"), std::string::npos) << probe->at("streams");
}

// The served addresses of a track, comma-separated as /control/muxcheck takes them.
std::string TrackAddresses(const StreamTrack& track) {
  std::string list = track.init;
  for (const std::string& segment : track.segments) {
    if (std::find(track.skipped.begin(), track.skipped.end(), segment) != track.skipped.end()) break;
    list += (list.empty() ? "" : ",") + segment;
  }
  return list;
}

// A joined file against the page's two tracks (video first): one video and
// one audio stream, each as long as its source within 0.1 s and with its
// source's packets byte for byte, decoding without a word from ffmpeg.
void ExpectJoinedAsServed(ChromiumWatchSession& session, const std::wstring& saved, const StreamPage& page) {
  ASSERT_EQ(page.tracks.size(), 2u);
  const std::optional<KeyValues> check = session.Lab().Control(
      "muxcheck",
      {{"path", Utf8From(saved)}, {"track0", TrackAddresses(page.tracks[0])}, {"track1", TrackAddresses(page.tracks[1])}});
  ASSERT_TRUE(check) << session.Lab().Error();
  if (check->at("checked") != "1") GTEST_SKIP() << check->at("error");
  ASSERT_EQ(check->at("ok"), "1") << check->at("fault");
  std::cout << "joined: video " << check->at("videoSeconds") << " s (source " << check->at("videoSourceSeconds")
            << " s, " << check->at("videoPackets") << " packets), sound " << check->at("audioSeconds")
            << " s (source " << check->at("audioSourceSeconds") << " s, " << check->at("audioPackets")
            << " packets)\n";
}

TYPED_TEST(ChromiumStreams, HlsStreamIsPromptedOnceWithItsPlaylistAndSavedJoined) {
  ChromiumWatchSession& session = this->Session();
  for (const std::string name : {"hls-fmp4", "hls-ts"}) {
    SCOPED_TRACE(name);
    const std::set<std::wstring> before = session.SaveFolderFiles();
    const std::optional<StreamPage> page = Play(session, name);
    ASSERT_TRUE(page);
    const StreamTrack& track = page->tracks.front();
    ASSERT_TRUE(track.skipped.empty());
    ASSERT_TRUE(ConfirmStreamPrompt(session, *page));
    const std::optional<std::wstring> saved = session.WaitSaved(MediaClass::kVideo);
    ASSERT_TRUE(saved);
    EXPECT_EQ(ExtensionOf(*saved), page->container == "ts" ? ".ts" : ".mp4");
    const std::optional<std::string> bytes = FileRead(*saved);
    ASSERT_TRUE(bytes);
    const std::string joined = JoinedRun(session.Lab(), track);
    EXPECT_EQ(bytes->size(), joined.size());
    EXPECT_TRUE(*bytes == joined) << "the saved file is not the init and segments served";
    ExpectProbedSeconds(session, *saved, static_cast<double>(track.segments.size()));
    // Closing the browser touches every entry once more: no second prompt.
    ASSERT_TRUE(session.StopBrowser());
    EXPECT_TRUE(session.NoBoxAppears(Milliseconds(3000)));
    EXPECT_EQ(Added(before, session.SaveFolderFiles()).size(), 1u);
    session.Settle();
  }
}

// Over HTTPS, as sites serve them: three streams whose playlists come gzip-,
// br- and zstd-encoded, played at once (one frame each).  Each is offered
// once with its playlist's address and saved joined as served.
TYPED_TEST(ChromiumStreams, EncodedPlaylistsOverHttpsAreOfferedWithTheirAddressAndSavedJoined) {
  ChromiumWatchSession& session = this->Session();
  ASSERT_FALSE(session.Lab().TlsUrl("/").empty()) << "the lab serves no HTTPS";
  const std::string all = "/streams/encoded.html";
  const std::set<std::wstring> before = session.SaveFolderFiles();
  ASSERT_TRUE(session.EnsureCacheFolder());
  ASSERT_TRUE(session.Watch(true, true));
  ASSERT_TRUE(session.LaunchBrowser(all, true));
  ASSERT_TRUE(session.Lab().WaitIdle(all, Milliseconds(90000))) << session.Lab().Error();
  std::map<std::string, std::string> joinedOf;  // playlist address -> the served run
  for (const std::string name : {"hls-gzip", "hls-br", "hls-zstd"}) {
    const std::optional<StreamPage> page = session.Lab().Stream(PagePath(name));
    ASSERT_TRUE(page && page->tracks.size() == 1) << session.Lab().Error();
    // The playlist really came compressed.
    ASSERT_FALSE(page->encoding.empty());
    EXPECT_EQ(page->codingSent, page->encoding) << name;
    joinedOf[session.Lab().TlsUrl(page->playlist)] = JoinedRun(session.Lab(), page->tracks.front());
  }
  // The prompts in the order the streams settle; each answered OK and its
  // file checked before the next.
  std::set<std::string> offered;
  for (std::size_t prompt = 0; prompt < joinedOf.size(); ++prompt) {
    MessageBoxWindow box = session.NextBox();
    ASSERT_TRUE(box) << "prompts seen: " << offered.size();
    const std::string message = box.Message();
    std::string address;
    for (const auto& [playlist, run] : joinedOf)
      if (IsSizedPrompt(message, kVideoPromptBefore + playlist, kVideoPromptAfter)) address = playlist;
    if (address.empty()) box.Answer(IDCANCEL);
    ASSERT_FALSE(address.empty()) << "not an encoded stream's prompt: " << message;
    EXPECT_TRUE(offered.insert(address).second) << "offered twice: " << address;
    ASSERT_TRUE(box.Answer(IDOK));
    const std::optional<std::wstring> saved = session.WaitSaved(MediaClass::kVideo);
    ASSERT_TRUE(saved);
    EXPECT_EQ(ExtensionOf(*saved), ".ts");
    const std::optional<std::string> bytes = FileRead(*saved);
    ASSERT_TRUE(bytes);
    EXPECT_TRUE(*bytes == joinedOf[address]) << "the saved file is not the segments served for " << address;
  }
  ASSERT_TRUE(session.StopBrowser());
  EXPECT_TRUE(session.NoBoxAppears(Milliseconds(3000)));
  EXPECT_EQ(Added(before, session.SaveFolderFiles()).size(), 3u);
  session.Settle();
}

TYPED_TEST(ChromiumStreams, SkippedSegmentsOfferTheChoiceAndContinueSavesTheRunFromTheFirst) {
  ChromiumWatchSession& session = this->Session();
  const std::set<std::wstring> before = session.SaveFolderFiles();
  const std::optional<StreamPage> page = Play(session, "hls-ts-gaps");
  ASSERT_TRUE(page);
  const StreamTrack& track = page->tracks.front();
  ASSERT_FALSE(track.skipped.empty());
  ASSERT_TRUE(ConfirmStreamPrompt(session, *page));
  MessageBoxWindow choice = session.NextBox(Milliseconds(30000));
  ASSERT_TRUE(choice);
  EXPECT_EQ(choice.Caption(), kIncompleteCaption);
  const std::string counts = "已缓存 " + std::to_string(track.fetched.size()) + " 段，共 " +
                             std::to_string(track.segments.size()) + " 段。";
  EXPECT_NE(choice.Message().find(session.Lab().Url(page->playlist) + " 尚未缓存完整：" + counts),
            std::string::npos)
      << choice.Message();
  ASSERT_TRUE(choice.Answer(IDCONTINUE));
  const std::optional<std::wstring> saved = session.WaitSaved(MediaClass::kVideo);
  ASSERT_TRUE(saved);
  EXPECT_EQ(ExtensionOf(*saved), ".ts");
  const std::optional<std::string> bytes = FileRead(*saved);
  ASSERT_TRUE(bytes);
  const std::string run = JoinedRun(session.Lab(), track);
  EXPECT_EQ(bytes->size(), run.size());
  EXPECT_TRUE(*bytes == run) << "the saved file is not the run from the first segment";
  ASSERT_TRUE(session.StopBrowser());
  EXPECT_TRUE(session.NoBoxAppears(Milliseconds(3000)));
  EXPECT_EQ(Added(before, session.SaveFolderFiles()).size(), 1u);
}

TYPED_TEST(ChromiumStreams, EncryptedStreamGetsTheNotSaveableMessageAndNothingIsSaved) {
  ChromiumWatchSession& session = this->Session();
  const std::set<std::wstring> before = session.SaveFolderFiles();
  const std::optional<StreamPage> page = Play(session, "hls-aes");
  ASSERT_TRUE(page);
  ASSERT_FALSE(page->key.empty());
  MessageBoxWindow box = session.NextBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box.Caption(), kProtectedCaption);
  EXPECT_EQ(box.Message(),
            "侦测到加密的流：" + session.Lab().Url(page->playlist) + "\n这个流已加密，不能保存。");
  EXPECT_EQ(box.ButtonIds(), std::vector<int>{IDOK});
  ASSERT_TRUE(box.Answer(IDOK));
  ASSERT_TRUE(session.StopBrowser());
  EXPECT_TRUE(session.NoBoxAppears(Milliseconds(3000)));
  EXPECT_TRUE(Added(before, session.SaveFolderFiles()).empty());
}

// The site does not let the playlist be cached: the segments (and the init
// segment) alone are one group, prompted for with its first segment's
// address once they stopped arriving, and saved whole.
TYPED_TEST(ChromiumStreams, SegmentsWhosePlaylistWasNotCachedArePromptedAsOneGroup) {
  ChromiumWatchSession& session = this->Session();
  const std::set<std::wstring> before = session.SaveFolderFiles();
  const std::optional<StreamPage> page = Play(session, "hls-nostore");
  ASSERT_TRUE(page);
  ASSERT_FALSE(page->playlistCached);
  const StreamTrack& track = page->tracks.front();
  ASSERT_TRUE(ConfirmStreamPrompt(session, *page, track.segments.front()));
  const std::optional<std::wstring> saved = session.WaitSaved(MediaClass::kVideo);
  ASSERT_TRUE(saved);
  EXPECT_EQ(ExtensionOf(*saved), ".mp4");
  const std::optional<std::string> bytes = FileRead(*saved);
  ASSERT_TRUE(bytes);
  const std::string joined = JoinedRun(session.Lab(), track);
  EXPECT_EQ(bytes->size(), joined.size());
  EXPECT_TRUE(*bytes == joined) << "the saved file is not the init and segments served";
  ASSERT_TRUE(session.StopBrowser());
  EXPECT_TRUE(session.NoBoxAppears(Milliseconds(4000)));
  EXPECT_EQ(Added(before, session.SaveFolderFiles()).size(), 1u);
}

// DASH keeps video and sound in Representations of their own: one
// presentation, offered once as a video with the manifest's address, and
// saved at OK as one file with both tracks.
TYPED_TEST(ChromiumStreams, DashVideoAndSoundAreOfferedOnceAndSavedAsOneFile) {
  ChromiumWatchSession& session = this->Session();
  const std::set<std::wstring> before = session.SaveFolderFiles();
  ASSERT_TRUE(session.EnsureCacheFolder());
  ASSERT_TRUE(session.Watch(true, true));
  ASSERT_TRUE(session.LaunchBrowser(PagePath("dash")));
  ASSERT_TRUE(session.Lab().WaitIdle(PagePath("dash"), Milliseconds(90000))) << session.Lab().Error();
  const std::optional<StreamPage> page = session.Lab().Stream(PagePath("dash"));
  ASSERT_TRUE(page && page->tracks.size() == 2) << session.Lab().Error();
  const std::string address = session.Lab().Url(page->playlist);
  MessageBoxWindow box = session.NextBox();
  ASSERT_TRUE(box) << "no prompt";
  EXPECT_EQ(box.Caption(), kVideoPromptCaption);
  EXPECT_NE(box.Message().find(address + "（视频和声音合成一个文件）（将写入 "), std::string::npos) << box.Message();
  ASSERT_TRUE(box.Answer(IDOK));
  const std::optional<std::wstring> saved = session.WaitSaved(MediaClass::kVideo);
  ASSERT_TRUE(saved);
  EXPECT_EQ(ExtensionOf(*saved), ".mp4");
  ExpectJoinedAsServed(session, *saved, *page);
  ASSERT_TRUE(session.StopBrowser());
  EXPECT_TRUE(session.NoBoxAppears(Milliseconds(3000)));
  EXPECT_EQ(Added(before, session.SaveFolderFiles()).size(), 1u);
}

// As Bilibili serves a video: one video-only and one sound-only MP4, each a
// whole file with its index, fetched by byte ranges, no manifest cached; and
// the same with VP9 and Opus in WebM files, as YouTube serves them.  The two
// pair by their own headers: one prompt naming both addresses, one file
// with both tracks as served, in the tracks' own container.
TYPED_TEST(ChromiumStreams, RangedVideoAndSoundFilesAreOfferedOnceAndSavedAsOneFile) {
  ChromiumWatchSession& session = this->Session();
  for (const auto& [name, extension] : {std::pair{"ranged", ".mp4"}, std::pair{"ranged-webm", ".webm"}}) {
    SCOPED_TRACE(name);
    const std::set<std::wstring> before = session.SaveFolderFiles();
    ASSERT_TRUE(session.EnsureCacheFolder());
    ASSERT_TRUE(session.Watch(true, true));
    ASSERT_TRUE(session.LaunchBrowser(PagePath(name)));
    ASSERT_TRUE(session.Lab().WaitIdle(PagePath(name), Milliseconds(90000))) << session.Lab().Error();
    const std::optional<StreamPage> page = session.Lab().Stream(PagePath(name));
    ASSERT_TRUE(page && page->tracks.size() == 2) << session.Lab().Error();
    const std::string video = session.Lab().Url(page->tracks[0].segments.front());
    const std::string audio = session.Lab().Url(page->tracks[1].segments.front());
    MessageBoxWindow box = session.NextBox();
    ASSERT_TRUE(box) << "no prompt";
    EXPECT_EQ(box.Caption(), kVideoPromptCaption);
    EXPECT_EQ(box.Message(),
              std::string(kVideoPromptBefore) + video + "、" + audio + "（视频和声音合成一个文件）" + kVideoPromptAfter);
    ASSERT_TRUE(box.Answer(IDOK));
    const std::optional<std::wstring> saved = session.WaitSaved(MediaClass::kVideo);
    ASSERT_TRUE(saved);
    EXPECT_EQ(ExtensionOf(*saved), extension);
    ExpectJoinedAsServed(session, *saved, *page);
    ASSERT_TRUE(session.StopBrowser());
    EXPECT_TRUE(session.NoBoxAppears(Milliseconds(3000)));
    EXPECT_EQ(Added(before, session.SaveFolderFiles()).size(), 1u);
    session.Settle();
  }
}

}  // namespace
}  // namespace e2e
