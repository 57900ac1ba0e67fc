// The detection step for Firefox cache2 entries on a real folder with real
// message boxes: the prompt names the web address once the metadata is
// there and the cache file otherwise, the stored type decides the class,
// an entry still growing or cut short gets the choice, a doomed one no
// prompt.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/detection/detection_texts.h"
#include "app/detection/element_detection.h"
#include "app/program_state/shared_values.h"
#include "detection_scratch.h"
#include "tests/support/firefox_entry_builder.h"
#include "tests/support/dialog_answerer.h"
#include "tests/win/cache_disk_writer.h"

namespace {

using firefox_entry::Body;
using firefox_entry::Bytes;
using firefox_entry::Mp4;
using firefox_entry::Slice;

const std::string kUrl = "http://127.0.0.1:8765/media/video.mp4";
const std::string kKey = "O^partitionKey=%28http%2C127.0.0.1%29,a,:" + kUrl;
const std::string kEntry = "6D5E2B0C9A1F4E3D2C1B0A99887766554433221A";

std::string Str(std::string_view view) { return std::string(view); }

// Runs the detection step on a thread of its own until it returns or shows
// a dialog; true when a dialog came (it is then dismissed).
bool ShowsADialog(const std::function<void()>& step) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    step();
    done = true;
  });
  const DWORD start = GetTickCount();
  while (!done && OpenDialogCount() == 0 && GetTickCount() - start < 15000) Sleep(10);
  const bool shown = OpenDialogCount() > 0;
  while (!done) {
    DialogAnswerer::DismissAll();
    Sleep(10);
  }
  worker.join();
  return shown;
}

class FirefoxElementDetectionTest : public testing::Test {
 protected:
  void SetUp() override {
    BuiltInExtensionsFill();
    CustomExtensions.Replace(CustomExtensionsParse("ppt"));
    std::wstring path = WideOf(scratch.Cache());
    for (const wchar_t* part : {L"\\cache2", L"\\cache2\\entries"})
      CreateDirectoryW((path + part).c_str(), nullptr);
    entries = path + L"\\cache2\\entries";
  }
  void TearDown() override { DialogAnswerer::DismissAll(); }

  std::wstring EntryPath() const { return entries + L"\\" + WideOf(kEntry); }
  void Write(const Bytes& bytes, bool append = false) {
    ASSERT_TRUE(DiskBytesWrite(EntryPath(), bytes, append));
  }
  // As the recognizer hands it on when the first bytes came before the metadata.
  MediaElementRef Ref(MediaNature nature = MediaNature::Video, std::string extension = "mp4") const {
    MediaElementRef ref;
    ref.session = 1;
    ref.folderExact.assign(entries.begin(), entries.end());
    ref.folderAnsi = AnsiOf(entries);
    ref.store = CacheStore::FirefoxCache2;
    ref.fileName = kEntry;
    ref.nature = nature;
    ref.extension = std::move(extension);
    return ref;
  }
  std::string FilePath() const { return AnsiOf(entries) + "\\" + kEntry; }
  std::vector<std::uint8_t> Saved(const std::string& name) const {
    return DiskBytesRead(WideOf(scratch.Save() + "\\" + name));
  }

  DetectionScratch scratch;
  std::wstring entries;
  FixedSwitches allClasses{true, true, true};
};

struct Seen {
  std::string prompt, warning, report;
};

// OK at the prompt; `choice` at the warning when one comes (0: none
// expected); OK at the success report.
void Answer(DialogAnswerer& a, const DetectionTexts& texts, int choice, Seen& seen) {
  HWND box = a.Wait(texts.promptCaption);
  if (box == nullptr) return;
  seen.prompt = DialogAnswerer::View(box).MessageText();
  a.PressButton(box, IDOK);
  a.WaitClosed(box);
  if (choice != 0) {
    HWND warning = a.Wait(kIncompleteCaption);
    if (warning == nullptr) return;
    seen.warning = DialogAnswerer::View(warning).MessageText();
    a.PressButton(warning, choice);
    a.WaitClosed(warning);
    if (choice == IDCANCEL) return;
  }
  HWND report = a.Wait(texts.successCaption);
  if (report == nullptr) return;
  seen.report = DialogAnswerer::View(report).MessageText();
  a.PressButton(report, IDOK);
}

}  // namespace

TEST_F(FirefoxElementDetectionTest, ARawBodyIsPromptedByItsCacheFileAndContinueSavesWhatIsThere) {
  const Bytes body = Mp4(600000);
  // Two chunks written, the entry still open (its 0xFF marker behind them).
  const Bytes present = Slice(body, 0, 2 * kFirefoxChunkSize);
  Bytes open = present;
  const Bytes marker = firefox_entry::OpenMarker();
  open.insert(open.end(), marker.begin(), marker.end());
  Write(open);
  Seen seen;
  DialogAnswer answer([&](DialogAnswerer& a) { Answer(a, kVideoTexts, IDCONTINUE, seen); });
  HandleMediaElement(Ref(), allClasses);
  answer.Join();

  EXPECT_EQ(seen.prompt, Str(kVideoTexts.promptBefore) + FilePath() + Str(kVideoTexts.promptAfter));
  EXPECT_EQ(seen.warning,
            Str(IncompleteElementText(FilePath(), present.size(), std::nullopt, present.size())));
  const std::vector<std::string> names = scratch.SavedNames();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].substr(names[0].size() - 4), ".mp4");
  EXPECT_EQ(Saved(names[0]), present);  // the body, never the marker
}

TEST_F(FirefoxElementDetectionTest, MetadataWrittenBeforeThePromptGivesTheAddressTheTypesClassAndAWholeCopy) {
  // Found by its first bytes as video; by the prompt the metadata says audio/mp4.
  const Bytes body = Body(300000,
                          std::string_view("\0\0\0\x20"
                                           "ftypisom",
                                           12),
                          2);
  Write(firefox_entry::Whole(body, kKey, firefox_entry::RangeHead("audio/mp4", body.size(), body.size())));
  Seen seen;
  DialogAnswer answer([&](DialogAnswerer& a) { Answer(a, kAudioTexts, 0, seen); });
  HandleMediaElement(Ref(), allClasses);
  answer.Join();

  EXPECT_EQ(seen.prompt, Str(kAudioTexts.promptBefore) + kUrl + Str(kAudioTexts.promptAfter));
  const std::vector<std::string> names = scratch.SavedNames();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].substr(names[0].size() - 4), ".m4a");
  EXPECT_EQ(Saved(names[0]), body);
}

TEST_F(FirefoxElementDetectionTest, AnEntryCutShortOfItsFullLengthGetsTheChoiceAndCancelSavesNothing) {
  // The browser stopped reading (a seek, a closed tab): metadata over part of the body.
  const Bytes body = Mp4(400000);
  const Bytes part = Slice(body, 0, 150000);
  Write(firefox_entry::Whole(part, kKey, firefox_entry::RangeHead("video/mp4", body.size(), body.size())));
  Seen seen;
  DialogAnswer answer([&](DialogAnswerer& a) { Answer(a, kVideoTexts, IDCANCEL, seen); });
  HandleMediaElement(Ref(), allClasses);
  answer.Join();

  EXPECT_EQ(seen.prompt, Str(kVideoTexts.promptBefore) + kUrl + Str(kVideoTexts.promptAfter));
  EXPECT_EQ(seen.warning, Str(IncompleteElementText(kUrl, part.size(), body.size(), part.size())));
  EXPECT_TRUE(scratch.SavedNames().empty());
}

TEST_F(FirefoxElementDetectionTest, AnEntryTheBrowserDoomedBeforeThePromptIsNoElement) {
  // The file moved away to "doomed": nothing to ask about.
  EXPECT_FALSE(ShowsADialog([&] { HandleMediaElement(Ref(), allClasses); }));
  // The same element present: its prompt comes (and is dismissed here).
  Write(Mp4(kFirefoxChunkSize));
  EXPECT_TRUE(ShowsADialog([&] { HandleMediaElement(Ref(), allClasses); }));
  EXPECT_TRUE(scratch.SavedNames().empty());
}
