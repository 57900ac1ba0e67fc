// The detection step for streams the watch found, on simple caches written
// to a real folder and with real message boxes: the prompt names the
// playlist, OK joins the segments into one file, a stream not all there
// offers the choice in segments, and an encrypted one is never saved.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/detection/detection_texts.h"
#include "app/detection/element_detection.h"
#include "app/detection/stream_detection.h"
#include "app/detection/stream_texts.h"
#include "app/program_state/shared_values.h"
#include "detection_scratch.h"
#include "tests/support/chromium_cache_builders.h"
#include "tests/support/stream_media_builders.h"
#include "tests/support/detection_time_names.h"
#include "tests/support/dialog_answerer.h"
#include "tests/win/cache_disk_writer.h"

namespace {

const std::string kPlaylist = "http://127.0.0.1:8765/streams/ts/index.m3u8";
constexpr char kPlaylistText[] =
    "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\nseg0.ts\n#EXTINF:2,\nseg1.ts\n#EXTINF:2,\nseg2.ts\n"
    "#EXT-X-ENDLIST\n";

std::string Str(std::string_view view) { return std::string(view); }

class StreamDetectionTest : public testing::Test {
 protected:
  void SetUp() override {
    BuiltInExtensionsFill();
    CustomExtensions.Replace(CustomExtensionsParse("ts;ppt"));
    cacheFolder = WideOf(scratch.Cache());
    DiskBytesWrite(cacheFolder + L"\\index", SimpleIndex());
  }
  void TearDown() override { DialogAnswerer::DismissAll(); }

  static std::string Key(const std::string& url) {
    return "1/0/_dk_http://127.0.0.1 http://127.0.0.1 " + url;
  }

  // Writes the entry of `url` (a new entry file the first time) and returns its part.
  StreamPartRef Put(const std::string& url, const ByteVector& body, std::string_view type) {
    std::string& name = names_[url];
    if (name.empty()) {
      char text[32];
      std::snprintf(text, sizeof text, "%016zx_0", names_.size());
      name = text;
    }
    const ByteVector pickle = ResponsePickle(HeaderBlock(
        {"HTTP/1.1 200 OK", "Content-Type: " + Str(type), "Content-Length: " + std::to_string(body.size())}));
    DiskBytesWrite(EntryPath(url), SimpleMainFile(Key(url), body, &pickle));
    return {CacheStore::ChromiumSimple, name, Key(url)};
  }
  std::wstring EntryPath(const std::string& url) { return cacheFolder + L"\\" + WideOf(names_[url]); }
  StreamPartRef Segment(int number) {
    return Put("http://127.0.0.1:8765/streams/ts/seg" + std::to_string(number) + ".ts", TsSegment(number, 400),
               "video/mp2t");
  }

  MediaElementRef Ref(std::vector<StreamPartRef> parts) const {
    MediaElementRef ref;
    ref.session = 1;
    ref.folderExact.assign(cacheFolder.begin(), cacheFolder.end());
    ref.folderAnsi = scratch.Cache();
    ref.store = CacheStore::ChromiumSimple;
    ref.key = "P " + kPlaylist + "\n";
    ref.webAddress = kPlaylist;
    ref.nature = MediaNature::Video;
    ref.extension = "ts";
    ref.streamParts = std::move(parts);
    return ref;
  }
  std::vector<std::uint8_t> Saved(const std::string& name) const {
    return DiskBytesRead(WideOf(scratch.Save() + "\\" + name));
  }

  DetectionScratch scratch;
  std::wstring cacheFolder;
  std::map<std::string, std::string> names_;
  FixedSwitches allClasses{true, true, true};
};

struct Seen {
  std::string prompt, incomplete, report, reportCaption;
};

// OK at the prompt; then `incompleteButtons` answer the incomplete warnings
// in turn (`beforeLast` runs before the last is pressed); the report is read
// and closed.
void Answer(DialogAnswerer& a, const DetectionTexts& texts, Seen& seen,
            std::vector<int> incompleteButtons = {}, const std::function<void()>& beforeLast = {}) {
  HWND box = a.Wait(texts.promptCaption);
  if (box == nullptr) return;
  seen.prompt = DialogAnswerer::View(box).MessageText();
  a.PressButton(box, IDOK);
  a.WaitClosed(box);
  for (std::size_t i = 0; i < incompleteButtons.size(); ++i) {
    HWND warning = a.Wait(kIncompleteCaption);
    if (warning == nullptr) return;
    seen.incomplete = DialogAnswerer::View(warning).MessageText();
    if (i + 1 == incompleteButtons.size() && beforeLast) beforeLast();
    a.PressButton(warning, incompleteButtons[i]);
    a.WaitClosed(warning);
    if (incompleteButtons[i] == IDCANCEL) return;
  }
  HWND report = a.Wait({});  // success or failure
  if (report == nullptr) return;
  seen.reportCaption = DialogAnswerer::View(report).caption;
  seen.report = DialogAnswerer::View(report).MessageText();
  a.PressButton(report, IDOK);
}

}  // namespace

TEST_F(StreamDetectionTest, ACompleteStreamIsPromptedWithItsPlaylistAndSavedJoinedUnderTheDetectionTime) {
  const StreamPartRef playlist = Put(kPlaylist, TextBytes(kPlaylistText), "application/vnd.apple.mpegurl");
  const std::vector<StreamPartRef> parts = {playlist, Segment(0), Segment(1), Segment(2)};
  Seen seen;
  DialogAnswer answer([&](DialogAnswerer& a) { Answer(a, kVideoTexts, seen); });
  const DateTime calledAt = NowDateTime();
  HandleMediaElement(Ref(parts), allClasses);
  const DateTime returnedAt = NowDateTime();
  answer.Join();
  ByteVector joined = TsSegment(0, 400);
  Append(joined, TsSegment(1, 400));
  Append(joined, TsSegment(2, 400));
  // The prompt names the size the copy will have.
  EXPECT_EQ(seen.prompt, Str(kVideoTexts.promptBefore) + kPlaylist + "（将写入 " + std::to_string(joined.size()) +
                             " 字节）" + Str(kVideoTexts.promptAfter));
  ASSERT_EQ(seen.reportCaption, Str(kVideoTexts.successCaption));
  const std::vector<std::string> names = scratch.SavedNames();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_TRUE(NamedForATimeBetween(names[0], calledAt, returnedAt, ".ts")) << names[0];
  EXPECT_EQ(seen.report, Str(kVideoTexts.successText) + scratch.Save() + "\\" + names[0]);
  EXPECT_EQ(Saved(names[0]), joined);

  // Video unchecked: "ts" among the user's entries gives the user's class;
  // without it, nothing at all.
  FixedSwitches userOnly{false, true, true};
  Seen user;
  {
    DialogAnswer second([&](DialogAnswerer& a) { Answer(a, kUserDefinedTexts, user); });
    HandleMediaElement(Ref(parts), userOnly);
    second.Join();
  }
  ASSERT_EQ(user.reportCaption, Str(kUserDefinedTexts.successCaption));
  EXPECT_EQ(scratch.SavedNames().size(), 2u);
  CustomExtensions.Replace(CustomExtensionsParse("ppt"));
  HandleMediaElement(Ref(parts), userOnly);
  EXPECT_EQ(OpenDialogCount(), 0);
  EXPECT_EQ(scratch.SavedNames().size(), 2u);
}

TEST_F(StreamDetectionTest, AMissingSegmentOffersTheChoiceInSegmentsAndTryAgainFindsSegmentsCachedSince) {
  const StreamPartRef playlist = Put(kPlaylist, TextBytes(kPlaylistText), "application/vnd.apple.mpegurl");
  // Handed on with the first segment; the third comes, the second not yet.
  const std::vector<StreamPartRef> parts = {playlist, Segment(0)};
  Segment(2);
  const std::string expected = Str(IncompleteStreamText(kPlaylist, 2, 3, 1));
  EXPECT_NE(expected.find("已缓存 2 段，共 3 段"), std::string::npos) << expected;

  // Cancel: nothing.  Continue: the run from the first segment.
  for (const int button : {IDCANCEL, IDCONTINUE}) {
    Seen seen;
    DialogAnswer answer([&](DialogAnswerer& a) { Answer(a, kVideoTexts, seen, {button}); });
    HandleMediaElement(Ref(parts), allClasses);
    answer.Join();
    EXPECT_EQ(seen.incomplete, expected);
    if (button == IDCANCEL) {
      EXPECT_TRUE(scratch.SavedNames().empty());
    }
  }
  std::vector<std::string> names = scratch.SavedNames();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(Saved(names[0]), TsSegment(0, 400));

  // Try again after the second segment arrived: the whole stream.
  Seen seen;
  DialogAnswer answer([&](DialogAnswerer& a) {
    Answer(a, kVideoTexts, seen, {IDTRYAGAIN, IDTRYAGAIN}, [&] { Segment(1); });
  });
  HandleMediaElement(Ref(parts), allClasses);
  answer.Join();
  ASSERT_EQ(seen.reportCaption, Str(kVideoTexts.successCaption));
  names = scratch.SavedNames();
  ASSERT_EQ(names.size(), 2u);
  ByteVector joined = TsSegment(0, 400);
  Append(joined, TsSegment(1, 400));
  Append(joined, TsSegment(2, 400));
  EXPECT_TRUE(Saved(names[0]) == joined || Saved(names[1]) == joined);
}

TEST_F(StreamDetectionTest, AnEncryptedStreamGetsOneMessageAndNothingIsSaved) {
  const StreamPartRef playlist = Put(
      kPlaylist,
      TextBytes("#EXTM3U\n#EXT-X-KEY:METHOD=AES-128,URI=\"k.key\"\n#EXTINF:2,\nseg0.ts\n#EXT-X-ENDLIST\n"),
      "application/vnd.apple.mpegurl");
  const StreamPartRef segment =
      Put("http://127.0.0.1:8765/streams/ts/seg0.ts", Pattern(188 * 100, 7), "video/mp2t");
  std::string text;
  int prompts = 0;
  DialogAnswer answer([&](DialogAnswerer& a) {
    HWND box = a.Wait({});  // the message, or a prompt that should not be
    if (box == nullptr) return;
    if (DialogAnswerer::View(box).caption != Str(kStreamProtectedCaption)) ++prompts;
    text = DialogAnswerer::View(box).MessageText();
    EXPECT_EQ(BoxIconOf(box), BoxIcon::Exclamation);
    a.PressButton(box, IDOK);
  });
  HandleMediaElement(Ref({playlist, segment}), allClasses);
  answer.Join();
  EXPECT_EQ(prompts, 0);
  EXPECT_EQ(text, Str(ProtectedStreamText(kPlaylist)));
  EXPECT_NE(text.find("这个流已加密，不能保存。"), std::string::npos) << text;
  EXPECT_EQ(OpenDialogCount(), 0);
  EXPECT_TRUE(scratch.SavedNames().empty());
}

TEST_F(StreamDetectionTest, AStreamTheBrowserDroppedGivesTheClassesFailureMessage) {
  const StreamPartRef playlist = Put(kPlaylist, TextBytes(kPlaylistText), "application/vnd.apple.mpegurl");
  const std::vector<StreamPartRef> parts = {playlist, Segment(0), Segment(1), Segment(2)};
  Seen seen;
  DialogAnswer answer([&](DialogAnswerer& a) {
    HWND box = a.Wait(kVideoTexts.promptCaption);
    if (box == nullptr) return;
    // The browser clears its cache while the prompt is open.
    for (const auto& [url, name] : names_) DeleteFileW(EntryPath(url).c_str());
    a.PressButton(box, IDOK);
    a.WaitClosed(box);
    HWND report = a.Wait(kVideoTexts.failureCaption);
    if (report == nullptr) return;
    seen.report = DialogAnswerer::View(report).MessageText();
    a.PressButton(report, IDOK);
  });
  HandleMediaElement(Ref(parts), allClasses);
  answer.Join();
  EXPECT_EQ(seen.report, Str(kVideoTexts.failureText));
  EXPECT_TRUE(scratch.SavedNames().empty());
}

TEST(StreamPromptSubject, SaysTheSizeAndWhetherItWasCutShortOrJoined) {
  EXPECT_EQ(Str(StreamPromptSubject("http://a.test/i.m3u8", 1234, false)), "http://a.test/i.m3u8（将写入 1234 字节）");
  EXPECT_EQ(Str(StreamPromptSubject("http://a.test/i.m3u8", 0, true)),
            "http://a.test/i.m3u8（将写入 0 字节）（已截断）");
  EXPECT_EQ(Str(StreamPromptSubject("http://a.test/m.mpd", 99, false, true)),
            "http://a.test/m.mpd（视频和声音合成一个文件）（将写入 99 字节）");
}

// A DASH manifest's video and sound: one prompt, as the video; the sound's
// own hand-over asks nothing.  These hand-made fragments are no media the
// muxer can read, so the user is told why and both are saved on their own.
// The watch may hand the sound stream on before any segment of the picture
// is cached: the sound waits for it instead of being offered alone, and the
// presentation is then offered once, as its video.
TEST_F(StreamDetectionTest, ASoundStreamHandedOnBeforeItsPictureWaitsForIt) {
  const std::string manifest = "http://127.0.0.1:8765/streams/late/manifest.mpd";
  const std::string base = "http://127.0.0.1:8765/streams/late/";
  const StreamPartRef mpd = Put(
      manifest,
      TextBytes("<MPD mediaPresentationDuration=\"PT2S\"><Period>"
                "<AdaptationSet mimeType=\"video/mp4\"><Representation id=\"0\" bandwidth=\"1\"/></AdaptationSet>"
                "<AdaptationSet mimeType=\"audio/mp4\"><Representation id=\"1\" bandwidth=\"1\"/></AdaptationSet>"
                "<SegmentTemplate timescale=\"10\" duration=\"10\" initialization=\"init-$RepresentationID$.m4s\" "
                "media=\"chunk-$RepresentationID$-$Number%05d$.m4s\"/></Period></MPD>"),
      "application/dash+xml");
  const std::vector<StreamPartRef> audioParts = {mpd, Put(base + "init-1.m4s", Init({"soun"}), "audio/mp4"),
                                                 Put(base + "chunk-1-00001.m4s", Fragment(11), "audio/mp4"),
                                                 Put(base + "chunk-1-00002.m4s", Fragment(12), "audio/mp4")};
  MediaElementRef audio = Ref(audioParts);
  audio.webAddress = manifest;
  audio.representation = "1";
  audio.nature = MediaNature::Audio;
  audio.extension = "m4a";

  // The picture reaches the cache a second and a half after the sound was handed on.
  std::vector<StreamPartRef> videoParts;
  std::thread picture([&] {
    Sleep(1500);
    videoParts = {mpd, Put(base + "init-0.m4s", Init({"vide"}), "video/mp4"),
                  Put(base + "chunk-0-00001.m4s", Fragment(1), "video/mp4"),
                  Put(base + "chunk-0-00002.m4s", Fragment(2), "video/mp4")};
  });
  const DWORD began = GetTickCount();
  HandleMediaElement(audio, allClasses);
  const DWORD waited = GetTickCount() - began;
  picture.join();
  EXPECT_EQ(OpenDialogCount(), 0) << "the sound was offered alone";
  EXPECT_TRUE(scratch.SavedNames().empty());
  EXPECT_GE(waited, 1000u);

  std::string prompt;
  DialogAnswer answer([&](DialogAnswerer& a) {
    HWND box = a.Wait(kVideoTexts.promptCaption);
    if (box == nullptr) return;
    prompt = DialogAnswerer::View(box).MessageText();
    a.PressButton(box, IDCANCEL);
    a.WaitClosed(box);
  });
  MediaElementRef video = Ref(videoParts);
  video.webAddress = manifest;
  video.representation = "0";
  video.extension = "mp4";
  HandleMediaElement(video, allClasses);
  answer.Join();
  EXPECT_NE(prompt.find(manifest + "（视频和声音合成一个文件）"), std::string::npos) << prompt;
}

TEST_F(StreamDetectionTest, ADashPresentationIsOfferedOnceAndARefusedMuxSavesBothTracks) {
  const std::string manifest = "http://127.0.0.1:8765/streams/dash/manifest.mpd";
  const std::string base = "http://127.0.0.1:8765/streams/dash/";
  const StreamPartRef mpd = Put(
      manifest,
      TextBytes("<MPD mediaPresentationDuration=\"PT2S\"><Period>"
                "<AdaptationSet mimeType=\"video/mp4\"><Representation id=\"0\" bandwidth=\"1\"/></AdaptationSet>"
                "<AdaptationSet mimeType=\"audio/mp4\"><Representation id=\"1\" bandwidth=\"1\"/></AdaptationSet>"
                "<SegmentTemplate timescale=\"10\" duration=\"10\" initialization=\"init-$RepresentationID$.m4s\" "
                "media=\"chunk-$RepresentationID$-$Number%05d$.m4s\"/></Period></MPD>"),
      "application/dash+xml");
  const std::vector<StreamPartRef> videoParts = {mpd, Put(base + "init-0.m4s", Init({"vide"}), "video/mp4"),
                                                 Put(base + "chunk-0-00001.m4s", Fragment(1), "video/mp4"),
                                                 Put(base + "chunk-0-00002.m4s", Fragment(2), "video/mp4")};
  const std::vector<StreamPartRef> audioParts = {mpd, Put(base + "init-1.m4s", Init({"soun"}), "audio/mp4"),
                                                 Put(base + "chunk-1-00001.m4s", Fragment(11), "audio/mp4"),
                                                 Put(base + "chunk-1-00002.m4s", Fragment(12), "audio/mp4")};
  MediaElementRef video = Ref(videoParts);
  video.webAddress = manifest;
  video.representation = "0";
  video.extension = "mp4";
  MediaElementRef audio = Ref(audioParts);
  audio.webAddress = manifest;
  audio.representation = "1";
  audio.nature = MediaNature::Audio;
  audio.extension = "m4a";

  // The sound first: it waits for its picture.
  HandleMediaElement(audio, allClasses);
  EXPECT_EQ(OpenDialogCount(), 0);
  EXPECT_TRUE(scratch.SavedNames().empty());

  std::string prompt, refusal, refusalCaption;
  std::vector<std::string> reports;
  DialogAnswer answer([&](DialogAnswerer& a) {
    HWND box = a.Wait(kVideoTexts.promptCaption);
    if (box == nullptr) return;
    prompt = DialogAnswerer::View(box).MessageText();
    a.PressButton(box, IDOK);
    a.WaitClosed(box);
    HWND why = a.Wait(kNotJoinedCaption);
    if (why == nullptr) return;
    refusal = DialogAnswerer::View(why).MessageText();
    a.PressButton(why, IDOK);
    a.WaitClosed(why);
    for (int i = 0; i < 2; ++i) {
      HWND report = a.Wait({});
      if (report == nullptr) return;
      reports.push_back(DialogAnswerer::View(report).caption);
      a.PressButton(report, IDOK);
      a.WaitClosed(report);
    }
  });
  HandleMediaElement(video, allClasses);
  answer.Join();
  EXPECT_NE(prompt.find(manifest + "（视频和声音合成一个文件）（将写入 "), std::string::npos) << prompt;
  EXPECT_EQ(prompt.substr(0, Str(kVideoTexts.promptBefore).size()), Str(kVideoTexts.promptBefore));
  EXPECT_EQ(refusal.substr(0, Str("视频和声音没有合成一个文件：").size()), "视频和声音没有合成一个文件：") << refusal;
  EXPECT_NE(refusal.find("视频和声音将分别保存为两个文件。"), std::string::npos) << refusal;
  EXPECT_EQ(reports, (std::vector<std::string>{Str(kVideoTexts.successCaption), Str(kAudioTexts.successCaption)}));
  const std::vector<std::string> names = scratch.SavedNames();
  ASSERT_EQ(names.size(), 2u);
  // Each track's init and segments, joined as before; nothing else left in the folder.
  ByteVector videoBytes = Cat({Init({"vide"}), Fragment(1), Fragment(2)});
  ByteVector audioBytes = Cat({Init({"soun"}), Fragment(11), Fragment(12)});
  const bool mp4First = names[0].ends_with(".mp4");
  EXPECT_TRUE(names[mp4First ? 1 : 0].ends_with(".m4a")) << names[0] << " " << names[1];
  EXPECT_EQ(Saved(names[mp4First ? 0 : 1]), videoBytes);
  EXPECT_EQ(Saved(names[mp4First ? 1 : 0]), audioBytes);
  EXPECT_EQ(OpenDialogCount(), 0);
}
