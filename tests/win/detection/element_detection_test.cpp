// The detection step for elements found in a browser cache, on caches
// written to a real folder and with real message boxes: what the prompt
// says, what is saved, and the choice an element not all there gives.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/browser_caches/chromium_block_files.h"
#include "app/detection/detection_texts.h"
#include "app/detection/element_detection.h"
#include "app/program_state/shared_values.h"
#include "detection_scratch.h"
#include "tests/support/chromium_cache_builders.h"
#include "tests/support/dialog_answerer.h"
#include "tests/win/cache_disk_writer.h"

namespace {

const std::string kUrl = "http://127.0.0.1:8765/clip.mp4";
const std::string kKey = "1/0/_dk_http://127.0.0.1 http://127.0.0.1 " + kUrl;
const std::string kEntry = "0123456789abcdef";

std::string Str(std::string_view view) { return std::string(view); }

class ElementDetectionTest : public testing::Test {
 protected:
  void SetUp() override {
    BuiltInExtensionsFill();
    CustomExtensions.Replace(CustomExtensionsParse("webm;ppt"));
    cacheFolder = WideOf(scratch.Cache());
    DiskBytesWrite(cacheFolder + L"\\index", SimpleIndex());
  }
  void TearDown() override { DialogAnswerer::DismissAll(); }

  void WriteEntry(const ByteVector& body, bool closed, std::string_view type = "video/mp4",
                  std::optional<std::uint64_t> length = std::nullopt) {
    std::string lengthLine = "Content-Length: " + std::to_string(length.value_or(body.size()));
    const ByteVector pickle =
        ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: " + Str(type), lengthLine}));
    DiskBytesWrite(EntryPath("_0"), SimpleMainFile(kKey, body, closed ? &pickle : nullptr));
  }
  std::wstring EntryPath(const char* suffix) const {
    return cacheFolder + L"\\" + WideOf(kEntry) + WideOf(suffix);
  }
  MediaElementRef Ref(MediaNature nature = MediaNature::Video, std::string extension = "mp4") const {
    MediaElementRef ref;
    ref.session = 1;
    ref.folderExact.assign(cacheFolder.begin(), cacheFolder.end());
    ref.folderAnsi = scratch.Cache();
    ref.store = CacheStore::ChromiumSimple;
    ref.fileName = kEntry + "_0";
    ref.key = kKey;
    ref.webAddress = kUrl;
    ref.nature = nature;
    ref.extension = std::move(extension);
    return ref;
  }
  std::vector<std::uint8_t> Saved(const std::string& name) const {
    return DiskBytesRead(WideOf(scratch.Save() + "\\" + name));
  }

  DetectionScratch scratch;
  std::wstring cacheFolder;
  FixedSwitches allClasses{true, true, true};
};

// Presses OK at the prompt and at the report; records the texts seen.
struct OkAnswers {
  std::string prompt, reportCaption, report;
};

void AnswerOkAndReport(DialogAnswerer& a, const DetectionTexts& texts, OkAnswers& seen,
                       bool expectSuccess = true) {
  HWND box = a.Wait(texts.promptCaption);
  if (box == nullptr) return;
  seen.prompt = DialogAnswerer::View(box).MessageText();
  a.PressButton(box, IDOK);
  a.WaitClosed(box);
  HWND report = a.Wait(expectSuccess ? texts.successCaption : texts.failureCaption);
  if (report == nullptr) return;
  seen.reportCaption = DialogAnswerer::View(report).caption;
  seen.report = DialogAnswerer::View(report).MessageText();
  a.PressButton(report, IDOK);
}

}  // namespace

TEST_F(ElementDetectionTest, ACompleteElementIsSavedWholeWithTheTablesExtensionUnderAFreeName) {
  const ByteVector body = Mp4Head(2500000, 1);  // more than one copy block
  WriteEntry(body, true);
  for (int round = 0; round < 2; ++round) {
    OkAnswers seen;
    DialogAnswer answer([&](DialogAnswerer& a) { AnswerOkAndReport(a, kVideoTexts, seen); });
    HandleMediaElement(Ref(), allClasses);
    answer.Join();
    EXPECT_EQ(seen.prompt, Str(kVideoTexts.promptBefore) + kUrl + Str(kVideoTexts.promptAfter));
    ASSERT_EQ(seen.reportCaption, Str(kVideoTexts.successCaption));
  }
  const std::vector<std::string> names = scratch.SavedNames();
  ASSERT_EQ(names.size(), 2u);
  // The second copy of the same second gets "(2)"; both end in the table's extension.
  for (const std::string& name : names) {
    EXPECT_EQ(name.substr(name.size() - 4), ".mp4") << name;
    EXPECT_EQ(Saved(name), body) << name;
  }
}

// Where the body's headers are already cached, the prompt gives the facts
// they hold after the address; the rest of the prompt stays as it was.
TEST_F(ElementDetectionTest, ThePromptGivesTheLengthTheCachedHeadersHold) {
  ByteVector body = Mp4Head(4000, 3);
  const auto be32 = [&](std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) body[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
  };
  // moov (116 bytes) at 0x20 holding an mvhd: timescale 1000, 83.4 s.
  const std::size_t moov = 0x20;
  be32(moov, 8 + 108);
  std::copy_n("moov", 4, body.begin() + moov + 4);
  be32(moov + 8, 108);
  std::copy_n("mvhd", 4, body.begin() + moov + 12);
  std::fill_n(body.begin() + moov + 16, 100, 0);
  be32(moov + 28, 1000);
  be32(moov + 32, 83400);
  WriteEntry(body, true);
  OkAnswers seen;
  DialogAnswer answer([&](DialogAnswerer& a) { AnswerOkAndReport(a, kVideoTexts, seen); });
  HandleMediaElement(Ref(), allClasses);
  answer.Join();
  EXPECT_EQ(seen.prompt, Str(kVideoTexts.promptBefore) + kUrl + "（时长 1:23）" + Str(kVideoTexts.promptAfter));
  ASSERT_EQ(seen.reportCaption, Str(kVideoTexts.successCaption));
  const std::vector<std::string> names = scratch.SavedNames();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(Saved(names[0]), body);
}

TEST_F(ElementDetectionTest, ClassesFollowTheElementsNatureAndTheUsersEntries) {
  // Audio: its own texts and extension.
  ByteVector mp3 = Pattern(6000, 2);
  mp3[0] = 'I', mp3[1] = 'D', mp3[2] = '3';
  WriteEntry(mp3, true, "audio/mpeg");
  OkAnswers audio;
  {
    DialogAnswer answer([&](DialogAnswerer& a) { AnswerOkAndReport(a, kAudioTexts, audio); });
    HandleMediaElement(Ref(MediaNature::Audio, "mp3"), allClasses);
    answer.Join();
  }
  ASSERT_EQ(audio.reportCaption, Str(kAudioTexts.successCaption));
  EXPECT_EQ(audio.report.substr(audio.report.size() - 4), ".mp3");

  // Video unchecked: a WebM still comes as the user's own "webm" entry.
  FixedSwitches userOnly{false, true, true};
  OkAnswers user;
  {
    DialogAnswer answer([&](DialogAnswerer& a) { AnswerOkAndReport(a, kUserDefinedTexts, user); });
    HandleMediaElement(Ref(MediaNature::Video, "webm"), userOnly);
    answer.Join();
  }
  EXPECT_EQ(user.prompt, Str(kUserDefinedTexts.promptBefore) + kUrl + Str(kUserDefinedTexts.promptAfter));
  ASSERT_EQ(user.reportCaption, Str(kUserDefinedTexts.successCaption));
  EXPECT_EQ(user.report.substr(user.report.size() - 5), ".webm");

  // Unchecked classes, and an extension not among the user's: no prompt at all.
  const std::size_t savedBefore = scratch.SavedNames().size();
  FixedSwitches none{false, false, true};
  HandleMediaElement(Ref(MediaNature::Video, "mp4"), none);
  FixedSwitches noAudio{true, false, false};
  HandleMediaElement(Ref(MediaNature::Audio, "mp3"), noAudio);
  EXPECT_EQ(OpenDialogCount(), 0);
  EXPECT_EQ(scratch.SavedNames().size(), savedBefore);
}

namespace {

struct IncompleteSeen {
  std::string text;
  bool shown = false;
};

// Waits for the incomplete warning, records it, and presses `button`.
HWND AnswerIncomplete(DialogAnswerer& a, int button, IncompleteSeen& seen) {
  HWND box = a.Wait(kIncompleteCaption);
  if (box == nullptr) return nullptr;
  seen.shown = true;
  seen.text = DialogAnswerer::View(box).MessageText();
  a.PressButton(box, button);
  a.WaitClosed(box);
  return box;
}

}  // namespace

TEST_F(ElementDetectionTest, AnElementStillBeingWrittenOffersTheChoiceAndTryAgainSavesItWholeOnceThere) {
  const ByteVector body = Mp4Head(300000, 3);
  const ByteVector half(body.begin(), body.begin() + 120000);
  WriteEntry(half, false);  // the browser is still writing: no headers yet
  IncompleteSeen first;
  OkAnswers seen;
  DialogAnswer answer([&](DialogAnswerer& a) {
    HWND box = a.Wait(kVideoTexts.promptCaption);
    if (box == nullptr) return;
    a.PressButton(box, IDOK);
    a.WaitClosed(box);
    if (AnswerIncomplete(a, IDTRYAGAIN, first) == nullptr) return;
    // The warning closed: the rest arrives before the second try is answered.
    HWND again = a.Wait(kIncompleteCaption);
    if (again == nullptr) return;
    WriteEntry(body, true);
    a.PressButton(again, IDTRYAGAIN);
    a.WaitClosed(again);
    HWND report = a.Wait(kVideoTexts.successCaption);
    if (report == nullptr) return;
    seen.report = DialogAnswerer::View(report).MessageText();
    a.PressButton(report, IDOK);
  });
  HandleMediaElement(Ref(), allClasses);
  answer.Join();

  ASSERT_TRUE(first.shown);
  EXPECT_EQ(first.text, Str(IncompleteElementText(kUrl, 120000, std::nullopt, 120000)));
  EXPECT_NE(first.text.find("已缓存 120000 字节"), std::string::npos) << first.text;
  const std::vector<std::string> names = scratch.SavedNames();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(Saved(names[0]), body);
}

TEST_F(ElementDetectionTest, ContinueSavesExactlyTheContiguousPrefixAndCancelSavesNothing) {
  // A range answer with a hole: bytes [0, 100000) and [200000, 250000) of 400000.
  const ByteVector body = Mp4Head(400000, 4);
  const ByteVector pickle = ResponsePickle(HeaderBlock(
      {"HTTP/1.1 206 Partial Content", "Content-Type: video/mp4", "Content-Range: bytes 0-99999/400000"}));
  DiskBytesWrite(EntryPath("_0"), SimpleMainFile(kKey, {}, &pickle));
  DiskBytesWrite(EntryPath("_s"),
                 SimpleSparseFile(kKey, {{200000, ByteVector(body.begin() + 200000, body.begin() + 250000)},
                                         {0, ByteVector(body.begin(), body.begin() + 100000)}}));
  const std::string expected = Str(IncompleteElementText(kUrl, 150000, 400000, 100000));
  EXPECT_NE(expected.find("已缓存 150000 字节，共 400000 字节"), std::string::npos) << expected;

  for (int button : {IDCANCEL, IDCONTINUE}) {
    IncompleteSeen warning;
    OkAnswers seen;
    DialogAnswer answer([&](DialogAnswerer& a) {
      HWND box = a.Wait(kVideoTexts.promptCaption);
      if (box == nullptr) return;
      a.PressButton(box, IDOK);
      a.WaitClosed(box);
      if (AnswerIncomplete(a, button, warning) == nullptr || button == IDCANCEL) return;
      HWND report = a.Wait(kVideoTexts.successCaption);
      if (report == nullptr) return;
      seen.report = DialogAnswerer::View(report).MessageText();
      a.PressButton(report, IDOK);
    });
    HandleMediaElement(Ref(), allClasses);
    answer.Join();
    ASSERT_TRUE(warning.shown);
    EXPECT_EQ(warning.text, expected);
    if (button == IDCANCEL) {
      EXPECT_TRUE(scratch.SavedNames().empty());
    }
  }
  const std::vector<std::string> names = scratch.SavedNames();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(Saved(names[0]), ByteVector(body.begin(), body.begin() + 100000));
}

TEST_F(ElementDetectionTest, AnElementTheBrowserDroppedGivesTheClassesFailureMessage) {
  WriteEntry(Mp4Head(50000, 5), true);
  OkAnswers seen;
  DialogAnswer answer([&](DialogAnswerer& a) {
    HWND box = a.Wait(kVideoTexts.promptCaption);
    if (box == nullptr) return;
    // The browser evicts the entry while the prompt is open.
    DeleteFileW(EntryPath("_0").c_str());
    a.PressButton(box, IDOK);
    a.WaitClosed(box);
    HWND report = a.Wait(kVideoTexts.failureCaption);
    if (report == nullptr) return;
    seen.report = DialogAnswerer::View(report).MessageText();
    a.PressButton(report, IDOK);
  });
  HandleMediaElement(Ref(), allClasses);
  answer.Join();
  EXPECT_EQ(seen.report, Str(kVideoTexts.failureText));
  EXPECT_TRUE(scratch.SavedNames().empty());
}

TEST_F(ElementDetectionTest, ABlockFileElementIsReadByItsKeyAtOk) {
  // The Windows store: an answer in its own external file.
  const ByteVector body = Mp4Head(70000, 6);
  const ByteVector headers =
      ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: video/mp4", "Content-Length: 70000"}));
  BlockCacheBuilder builder;
  BlockCacheBuilder::Entry entry{kKey, 0, {&headers, &body}};
  builder.Add(entry, BlockFileKeyHash(kKey));
  MemoryCacheFolder memory;
  builder.Build(memory);
  ASSERT_TRUE(DiskCacheWrite(cacheFolder, memory));
  MediaElementRef ref = Ref();
  ref.store = CacheStore::ChromiumBlockFiles;
  ref.fileName.clear();
  OkAnswers seen;
  DialogAnswer answer([&](DialogAnswerer& a) { AnswerOkAndReport(a, kVideoTexts, seen); });
  HandleMediaElement(ref, allClasses);
  answer.Join();
  ASSERT_EQ(seen.reportCaption, Str(kVideoTexts.successCaption));
  const std::vector<std::string> names = scratch.SavedNames();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(Saved(names[0]), body);
}
