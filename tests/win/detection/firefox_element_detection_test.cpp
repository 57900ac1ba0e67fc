// The detection step for Firefox cache2 entries on a real folder with real
// message boxes: the prompt names the web address once the metadata is
// there and the cache file otherwise, the stored type decides the class,
// an entry still growing or cut short gets the choice, a doomed one no
// prompt.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/detection/detection_texts.h"
#include "app/detection/element_detection.h"
#include "app/shared_values.h"
#include "detection_scratch.h"
#include "tests/portable/firefox_entry_builder.h"
#include "tests/support/dialog_answerer.h"
#include "tests/win/cache_disk_writer.h"

namespace {

using firefox_entry::Bytes;

const std::string kUrl = "http://127.0.0.1:8765/media/video.mp4";
const std::string kKey = "O^partitionKey=%28http%2C127.0.0.1%29,a,:" + kUrl;
const std::string kEntry = "6D5E2B0C9A1F4E3D2C1B0A99887766554433221A";

Bytes Body(std::size_t length, std::string_view head, std::uint8_t seed) {
  Bytes bytes(length);
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 5 + (i >> 12));
  std::copy(head.begin(), head.end(), bytes.begin());
  return bytes;
}
Bytes Mp4(std::size_t length) {
  return Body(length,
              std::string_view("\0\0\0\x20"
                               "ftypisom",
                               12),
              1);
}
Bytes Slice(const Bytes& bytes, std::size_t from, std::size_t to) {
  return Bytes(bytes.begin() + from, bytes.begin() + to);
}

std::string Str(std::string_view view) { return std::string(view); }

// Counts the dialogs this thread starts to create and refuses them, so a
// prompt that should not come fails at once instead of waiting for a person.
class DialogRefusal {
 public:
  DialogRefusal() {
    active_ = this;
    hook_ = SetWindowsHookExW(WH_CBT, Hook, nullptr, GetCurrentThreadId());
  }
  ~DialogRefusal() {
    if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
    active_ = nullptr;
  }
  bool Installed() const { return hook_ != nullptr; }
  int refused = 0;

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && active_ != nullptr) {
      const auto* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam);
      // Message boxes are of the dialog class, named by its atom or "#32770".
      const LPCWSTR name = create->lpcs->lpszClass;
      const bool dialog =
          IS_INTRESOURCE(name) ? name == MAKEINTRESOURCEW(32770) : lstrcmpW(name, L"#32770") == 0;
      if (dialog) {
        ++active_->refused;
        return 1;
      }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static inline DialogRefusal* active_ = nullptr;
  HHOOK hook_ = nullptr;
};

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
  DialogRefusal refusal;
  ASSERT_TRUE(refusal.Installed());
  // The file moved away to "doomed": nothing to ask about.
  HandleMediaElement(Ref(), allClasses);
  EXPECT_EQ(refusal.refused, 0);
  // The same element present: its prompt starts (and is refused here).
  Write(Mp4(kFirefoxChunkSize));
  HandleMediaElement(Ref(), allClasses);
  EXPECT_EQ(refusal.refused, 1);
  EXPECT_TRUE(scratch.SavedNames().empty());
}
