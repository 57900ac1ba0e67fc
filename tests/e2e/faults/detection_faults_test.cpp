// Faults at the moment a confirmed element is copied: the save folder refuses
// writes or its disk is full, the source is held open by another program for
// longer than the retry or is gone, and names that are hard to spell.  In
// every case the program must not crash or hang, must tell the user when the
// copy failed, and must neither lose the source nor leave a broken copy that
// looks like a saved element.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>

#include "app/detection/detection.h"
#include "app/extensions/extension_catalogue.h"
#include "app/program_state/shared_values.h"
#include "tests/e2e/driver/gbk.h"
#include "tests/e2e/driver/sandbox.h"
#include "tests/support/dialog_answerer.h"

namespace {

constexpr char kVideoPrompt[] = "警示信息 - 视频侦测";
constexpr char kVideoSaved[] = "警示信息 - 视频保存成功";
constexpr char kVideoFailed[] = "警示信息 - 视频保存失败";

std::string LowerAscii(std::string text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x80) {
      ++i;  // a trail byte is never a letter of its own
    } else if (byte >= 'A' && byte <= 'Z') {
      text[i] = static_cast<char>(byte - 'A' + 'a');
    }
  }
  return text;
}

class AllClasses : public ClassSwitches {
 public:
  bool VideoChecked() override { return true; }
  bool AudioChecked() override { return true; }
  bool UserDefinedChecked() override { return true; }
};

// What the user saw after pressing OK on the prompt.
struct Outcome {
  bool prompted = false;
  std::string promptText;
  std::string resultCaption;  // empty: no message after the prompt
  std::string resultText;
  double secondsToResult = 0;
  double secondsInStep = 0;
};

class DetectionFaults : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sandbox.Valid());
    BuiltInExtensionsFill();
    ASSERT_TRUE(sandbox.MakeFolder(L"cache"));
    ASSERT_TRUE(sandbox.MakeFolder(L"save"));
    SaveFolderSet(sandbox.Path(L"save"));
  }
  void TearDown() override {
    DialogAnswerer::DismissAll();
    SaveFolder.Replace(Text());
  }

  void SaveFolderSet(const std::wstring& folder) { SaveFolder.Replace(MakeText(e2e::GbkFromWide(folder))); }

  // A new file below cache\ with these bytes; returns its exact path.
  std::wstring NewFile(std::wstring_view name, std::string_view bytes) {
    const std::wstring path = sandbox.Path(L"cache\\" + std::wstring(name));
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << "cannot create the test file, error " << GetLastError();
    if (file == INVALID_HANDLE_VALUE) return path;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return path;
  }

  // Runs the detection step for the file as the watcher hands it over,
  // presses OK on the prompt after beforeOk has run, and records the
  // message that follows (if any, within resultWait).
  Outcome ConfirmAfter(const std::wstring& exactPath, const std::function<void()>& beforeOk,
                       DWORD resultWaitMs = 8000) {
    Outcome outcome;
    DialogAnswer answer([&](DialogAnswerer& person) {
      HWND prompt = person.Wait(kVideoPrompt);
      if (prompt == nullptr) return;
      outcome.prompted = true;
      outcome.promptText = DialogAnswerer::View(prompt).MessageText();
      beforeOk();
      const ULONGLONG pressed = GetTickCount64();
      DialogAnswerer::PressButton(prompt, IDOK);
      person.WaitClosed(prompt);
      DialogAnswerer resultWatch(DialogAnswerer::Scope::ThisProcess, resultWaitMs);
      HWND result = resultWatch.Wait("");
      if (result == nullptr) return;
      const DialogView view = DialogAnswerer::View(result);
      outcome.resultCaption = view.caption;
      outcome.resultText = view.MessageText();
      outcome.secondsToResult = static_cast<double>(GetTickCount64() - pressed) / 1000.0;
      DialogAnswerer::PressButton(result, IDOK);
    });
    const ULONGLONG started = GetTickCount64();
    const std::string fullPath = LowerAscii(e2e::GbkFromWide(exactPath));
    HandleNewFile(fullPath, exactPath, switches);
    outcome.secondsInStep = static_cast<double>(GetTickCount64() - started) / 1000.0;
    answer.Join();
    return outcome;
  }

  std::vector<std::wstring> Saved() const { return e2e::FolderList(sandbox.Path(L"save")); }

  e2e::Sandbox sandbox;
  AllClasses switches;
};

std::string Bytes(std::size_t count) {
  std::string bytes(count, '\0');
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(i * 131 + 7);
  return bytes;
}

}  // namespace

TEST_F(DetectionFaults, SourceHeldOpenLongerThanTheRetryFailsClearlyAndKeepsTheSource) {
  const std::string contents = Bytes(4096);
  const std::wstring source = NewFile(L"held.flv", contents);
  HANDLE holder = INVALID_HANDLE_VALUE;
  const Outcome outcome = ConfirmAfter(source, [&] {
    // Another program holds the file without sharing it, for 3 s.
    holder = CreateFileW(source.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  });
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  CloseHandle(holder);

  ASSERT_TRUE(outcome.prompted);
  EXPECT_EQ(outcome.resultCaption, kVideoFailed);
  EXPECT_GE(outcome.secondsToResult, 0.9) << "the failure comes only after the one retry";
  EXPECT_TRUE(Saved().empty()) << "no partial copy may be left in the save folder";
  EXPECT_EQ(e2e::FileRead(source).value_or(""), contents) << "the source is untouched";
}

TEST_F(DetectionFaults, SourceDeletedBeforeOkFailsClearlyAndWritesNothing) {
  const std::wstring source = NewFile(L"gone.flv", Bytes(1000));
  const Outcome outcome = ConfirmAfter(source, [&] { ASSERT_TRUE(DeleteFileW(source.c_str())); });
  ASSERT_TRUE(outcome.prompted);
  EXPECT_EQ(outcome.resultCaption, kVideoFailed);
  EXPECT_TRUE(Saved().empty());
}

TEST_F(DetectionFaults, SaveFolderDeletedDuringThePromptFailsClearlyAndKeepsTheSource) {
  const std::string contents = Bytes(2000);
  const std::wstring source = NewFile(L"late.flv", contents);
  const Outcome outcome =
      ConfirmAfter(source, [&] { ASSERT_TRUE(e2e::FolderRemoveTree(sandbox.Path(L"save"))); });
  ASSERT_TRUE(outcome.prompted);
  EXPECT_EQ(outcome.resultCaption, kVideoFailed);
  EXPECT_FALSE(e2e::FolderExists(sandbox.Path(L"save"))) << "the tool does not make the folder up";
  EXPECT_EQ(e2e::FileRead(source).value_or(""), contents);
}

TEST_F(DetectionFaults, SaveFolderThatRefusesWritesFailsClearly) {
  const std::wstring folder = e2e::PathFromEnvironment(L"EE_FAULT_IMMUTABLE_FOLDER");
  if (folder.empty()) GTEST_SKIP() << "no immutable folder could be made here (needs root and chattr)";
  SaveFolderSet(folder);
  const std::string contents = Bytes(3000);
  const std::wstring source = NewFile(L"refused.flv", contents);
  const Outcome outcome = ConfirmAfter(source, [] {});
  ASSERT_TRUE(outcome.prompted);
  EXPECT_EQ(outcome.resultCaption, kVideoFailed);
  EXPECT_TRUE(e2e::FolderList(folder).empty());
  EXPECT_EQ(e2e::FileRead(source).value_or(""), contents);
}

TEST_F(DetectionFaults, FullDiskFailsClearlyAndLeavesNoTruncatedCopy) {
  const std::wstring drive = e2e::PathFromEnvironment(L"EE_FAULT_FULL_DRIVE");
  if (drive.empty()) GTEST_SKIP() << "no small tmpfs drive could be mapped here (needs root and mount)";
  const std::wstring folder = drive + L"saves";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  SaveFolderSet(folder);
  const std::string contents = Bytes(64 * 1024);  // 16 KiB are free
  const std::wstring source = NewFile(L"big.flv", contents);
  const Outcome outcome = ConfirmAfter(source, [] {});
  ASSERT_TRUE(outcome.prompted);
  EXPECT_EQ(outcome.resultCaption, kVideoFailed);
  // A cut-off file under a detection-time name would pass for a saved
  // element; the retry must not add a "(2)" beside it either.
  const auto left = e2e::FolderList(folder);
  EXPECT_TRUE(left.empty())
      << left.size() << " file(s) left, the first: " << e2e::GbkFromWide(left.empty() ? L"" : left[0])
      << " of " << e2e::FileRead(folder + L"\\" + (left.empty() ? L"" : left[0])).value_or("").size()
      << " bytes";
  EXPECT_EQ(e2e::FileRead(source).value_or(""), contents);
}

TEST_F(DetectionFaults, HardNamesAreSavedWhole) {
  struct Case {
    const wchar_t* label;
    std::wstring name;
  };
  const Case cases[] = {
      // Outside code page 936: only the exact wide path reaches it.
      {L"outside 936", L"clip\u00e9\u0101\u263a.flv"},
      // Double-byte characters whose trail byte is 0x5C ("\").
      {L"trail 0x5C", L"\u4e57\u4fd3\u50dc Movie.FLV"},
  };
  for (const Case& item : cases) {
    SCOPED_TRACE(e2e::GbkFromWide(item.label));
    const std::string contents = Bytes(1500);
    const std::wstring source = NewFile(item.name, contents);
    ASSERT_TRUE(e2e::FileExists(source));
    const auto before = Saved().size();
    const Outcome outcome = ConfirmAfter(source, [] {});
    ASSERT_TRUE(outcome.prompted);
    EXPECT_EQ(outcome.resultCaption, kVideoSaved) << outcome.resultText;
    const auto saved = Saved();
    ASSERT_EQ(saved.size(), before + 1);
    std::wstring newest;
    for (const auto& name : saved) {
      if (e2e::FileRead(sandbox.Path(L"save\\" + name)).value_or("") == contents) newest = name;
    }
    EXPECT_FALSE(newest.empty()) << "the saved copy has the source's bytes";
    e2e::FolderRemoveTree(sandbox.Path(L"save"));
    sandbox.MakeFolder(L"save");
  }
}

TEST_F(DetectionFaults, PathsAtAndBeyond260BytesEitherSaveOrFailClearly) {
  // Deep folders so that the full path reaches 259, 260 and 300+ bytes.
  for (const std::size_t target : {259u, 260u, 320u}) {
    SCOPED_TRACE(target);
    const std::wstring cache = sandbox.Path(L"cache");
    std::wstring below;  // folders below cache\, each "\ddd..."
    while (e2e::GbkFromWide(cache + below).size() + 1 + 40 < target) below += L"\\" + std::wstring(40, L'd');
    const std::size_t room = target - e2e::GbkFromWide(cache + below).size() - 1;
    const std::wstring name = std::wstring(room > 4 ? room - 4 : 1, L'n') + L".flv";
    e2e::FolderCreateAll(cache + below);
    const std::string contents = Bytes(700);
    const std::wstring source = NewFile((below.empty() ? L"" : below.substr(1) + L"\\") + name, contents);
    ASSERT_EQ(e2e::GbkFromWide(source).size(), target);
    if (!e2e::FileExists(source)) {
      // The system itself refuses such a path: nothing can be detected there.
      std::printf("path of %zu bytes: the file could not be created here\n", target);
      continue;
    }
    const auto before = Saved().size();
    const Outcome outcome = ConfirmAfter(source, [] {});
    ASSERT_TRUE(outcome.prompted);
    std::printf("path of %zu bytes: %s\n", target, outcome.resultCaption.c_str());
    if (outcome.resultCaption == kVideoSaved) {
      EXPECT_EQ(Saved().size(), before + 1);
    } else {
      EXPECT_EQ(outcome.resultCaption, kVideoFailed) << "a copy that fails must say so";
      EXPECT_EQ(Saved().size(), before);
    }
    EXPECT_EQ(e2e::FileRead(source).value_or(""), contents);
  }
}
