#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/detection/detection.h"
#include "app/detection/detection_save.h"
#include "app/detection/detection_sink.h"
#include "app/detection/detection_texts.h"
#include "app/program_state/shared_values.h"
#include "detection_scratch.h"
#include "runtime/commands/value_commands.h"
#include "tests/support/dialog_answerer.h"

namespace {

std::string Str(std::string_view view) { return std::string(view); }

std::string TimeTextNow() { return Str(ToText(NowDateTime())); }

// Threads waiting to enter the detection lock, from the section's own count
// (Wine counts waiters up from 0 once it is owned, Windows down in steps of 4
// from -2).
int DetectionLockWaiters() {
  static const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
  const auto& section = *reinterpret_cast<const CRITICAL_SECTION*>(DetectionLockHandle());
  const LONG count = *static_cast<const volatile LONG*>(&section.LockCount);
  return wine ? static_cast<int>(count) : static_cast<int>((-2 - count) / 4);
}

// Polls until `ready` holds; false when it has not within the bound, which is
// only a safety net.
template <class Ready>
bool Awaited(Ready ready, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!ready()) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(1);
  }
  return true;
}

// What a person saw of one message box.
struct SeenBox {
  bool shown = false;
  std::string text;
  BoxIcon icon = BoxIcon::None;
  bool cancel = false;
  DWORD at = 0;  // tick count when it was found
};

SeenBox Look(HWND box) {
  SeenBox seen;
  seen.at = GetTickCount();
  if (box == nullptr) return seen;
  seen.shown = true;
  seen.text = DialogAnswerer::View(box).MessageText();
  seen.icon = BoxIconOf(box);
  seen.cancel = HasCancelButton(box);
  return seen;
}

// The detection time lies between the moment the step was called and the
// moment its prompt was seen: one of those two seconds.
bool NamedAtOneOf(const std::string& path, const std::string& folder, const std::vector<std::string>& times,
                  const std::string& suffix) {
  return std::any_of(times.begin(), times.end(),
                     [&](const std::string& time) { return path == folder + "\\" + time + suffix; });
}

class HandleNewFileTest : public testing::Test {
 protected:
  void SetUp() override {
    BuiltInExtensionsFill();
    CustomExtensions.Replace(CustomExtensionsParse("ppt"));
  }
  void TearDown() override {
    DialogAnswerer::DismissAll();
    DetectionClassSwitchesSet(nullptr);
  }

  DetectionScratch scratch;
  FixedSwitches allClasses{true, true, true};
};

}  // namespace

TEST_F(HandleNewFileTest, EachClassPromptsThenCopiesAndReportsWithItsOwnTexts) {
  struct Case {
    const wchar_t* name;
    const DetectionTexts* texts;
    const char* suffix;
  };
  const Case cases[] = {{L"cache\\Clip.FLV", &kVideoTexts, ".flv"},
                        {L"cache\\song.mp3", &kAudioTexts, ".mp3"},
                        {L"cache\\slides.ppt", &kUserDefinedTexts, ".ppt"}};
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(AnsiOf(c.name));
    const std::string contents = "element " + std::to_string(++number);
    const std::string path = scratch.NewFile(c.name, contents);
    SeenBox prompt, success;
    std::string promptTime;
    DialogAnswer answer([&](DialogAnswerer& a) {
      HWND box = a.Wait(c.texts->promptCaption);
      promptTime = TimeTextNow();
      prompt = Look(box);
      if (box == nullptr) return;
      a.PressButton(box, IDOK);
      HWND report = a.Wait(c.texts->successCaption);
      success = Look(report);
      if (report != nullptr) a.PressButton(report, IDOK);
    });
    const std::string startTime = TimeTextNow();
    HandleNewFile(path, {}, allClasses);
    answer.Join();

    ASSERT_TRUE(prompt.shown);
    EXPECT_EQ(prompt.text, Str(c.texts->promptBefore) + path + Str(c.texts->promptAfter));
    EXPECT_EQ(prompt.icon, BoxIcon::Information);
    EXPECT_TRUE(prompt.cancel);
    ASSERT_TRUE(success.shown);
    EXPECT_EQ(success.icon, BoxIcon::Information);
    EXPECT_FALSE(success.cancel);
    const std::string lead = Str(c.texts->successText);
    ASSERT_EQ(success.text.substr(0, lead.size()), lead);
    const std::string saved = success.text.substr(lead.size());
    EXPECT_TRUE(NamedAtOneOf(saved, scratch.Save(), {startTime, promptTime}, c.suffix)) << saved;
    EXPECT_EQ(FileContents(saved), contents);
  }
  EXPECT_EQ(scratch.SavedNames().size(), 3u);
}

TEST_F(HandleNewFileTest, CancelCopiesNothingAndTheNextWaitingPromptComesAtOnce) {
  const std::string first = scratch.NewFile(L"cache\\first.flv", "1");
  const std::string second = scratch.NewFile(L"cache\\second.flv", "2");
  std::atomic<bool> firstShown{false};
  std::atomic<bool> answererDone{false};
  bool secondWaited = false;
  int dialogsAtCancel = 0;
  DWORD cancelledAt = 0;
  SeenBox next, nextAgain;
  DialogAnswer answer([&](DialogAnswerer& a) {
    struct Done {
      std::atomic<bool>& done;
      ~Done() { done = true; }
    } done{answererDone};
    HWND box = a.Wait(kVideoTexts.promptCaption);
    if (box == nullptr) return;
    firstShown = true;
    // The second step has been called and waits for the lock behind this prompt.
    secondWaited = Awaited([] { return DetectionLockWaiters() >= 1; }, 10000);
    dialogsAtCancel = OpenDialogCount();
    cancelledAt = GetTickCount();
    a.PressButton(box, IDCANCEL);
    a.WaitClosed(box);
    HWND following = a.Wait(kVideoTexts.promptCaption);
    next = Look(following);
    if (following == nullptr) return;
    a.PressButton(following, IDCANCEL);
    a.WaitClosed(following);
    // Nothing more comes after the second Cancel.
    nextAgain = Look(DialogAnswerer(DialogAnswerer::Scope::ThisProcess, 1500).Wait({}));
  });
  std::thread firstStep([&] { HandleNewFile(first, {}, allClasses); });
  // The answerer gives up on its own when no prompt comes.
  Awaited([&] { return firstShown || answererDone; }, 30000);
  std::thread secondStep;
  if (firstShown) secondStep = std::thread([&] { HandleNewFile(second, {}, allClasses); });
  answer.Join();
  DialogAnswerer::DismissAll();
  firstStep.join();
  if (secondStep.joinable()) secondStep.join();

  ASSERT_TRUE(firstShown);
  EXPECT_TRUE(secondWaited);
  EXPECT_EQ(dialogsAtCancel, 1);  // the second prompt waited behind the first
  ASSERT_TRUE(next.shown);
  EXPECT_EQ(next.text, Str(kVideoTexts.promptBefore) + second + Str(kVideoTexts.promptAfter));
  // It follows the Cancel without the retry's second of waiting (a generous
  // bound: the figure itself belongs to a benchmark, not to a loaded machine).
  EXPECT_LT(next.at - cancelledAt, 5000u);
  EXPECT_FALSE(nextAgain.shown) << nextAgain.text;
  EXPECT_TRUE(scratch.SavedNames().empty());
}

namespace {

// The browser lets go of the source while the step waits for its retry: a
// message posted to a window of the step's thread is dispatched only by that
// wait (the prompt is closed by then, and the first copy has failed).
constexpr UINT kLetGo = WM_APP + 30;
HANDLE heldSource = nullptr;

LRESULT CALLBACK LetGoProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kLetGo) return DefWindowProcA(window, message, wParam, lParam);
  if (heldSource != nullptr) CloseHandle(heldSource);
  heldSource = nullptr;
  return 0;
}

HWND LetGoWindowCreate() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = LetGoProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "DetectionTestLetGo";
  RegisterClassA(&windowClass);
  return CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         windowClass.hInstance, nullptr);
}

}  // namespace

TEST_F(HandleNewFileTest, SourceLockedUntilWithinTheSecondIsCopiedByTheRetryWithoutAnyMessage) {
  const std::string path = scratch.NewFile(L"cache\\busy.mp4", "still playing");
  heldSource = CreateFileW(scratch.WidePath(L"cache\\busy.mp4").c_str(), GENERIC_READ, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(heldSource, INVALID_HANDLE_VALUE);
  HWND letGo = LetGoWindowCreate();
  ASSERT_NE(letGo, nullptr);
  DWORD okAt = 0;
  SeenBox after;
  DialogAnswer answer([&](DialogAnswerer& a) {
    HWND box = a.Wait(kVideoTexts.promptCaption);
    if (box == nullptr) return;
    okAt = GetTickCount();
    a.PressButton(box, IDOK);
    a.WaitClosed(box);
    PostMessageA(letGo, kLetGo, 0, 0);
    after = Look(DialogAnswerer(DialogAnswerer::Scope::ThisProcess, 2000).Wait({}));
    if (after.shown) DialogAnswerer::DismissAll();
  });
  HandleNewFile(path, {}, allClasses);
  const DWORD doneAt = GetTickCount();
  const bool letGoDuringTheStep = heldSource == nullptr;
  answer.Join();
  DestroyWindow(letGo);
  if (heldSource != nullptr) CloseHandle(heldSource);
  heldSource = nullptr;

  EXPECT_TRUE(letGoDuringTheStep);
  EXPECT_FALSE(after.shown) << after.text;
  EXPECT_GE(doneAt - okAt, 900u);  // the copy came from the retry
  const auto names = scratch.SavedNames();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(FileContents(scratch.Save() + "\\" + names[0]), "still playing");
}

TEST_F(HandleNewFileTest, MissingSaveFolderShowsTheFailureAboutOneSecondAfterOk) {
  const std::string path = scratch.NewFile(L"cache\\a.wav", "audio");
  SaveFolder.Replace(MakeText(scratch.Save() + "\\gone"));
  DWORD okAt = 0;
  SeenBox failure;
  DialogAnswer answer([&](DialogAnswerer& a) {
    HWND box = a.Wait(kAudioTexts.promptCaption);
    if (box == nullptr) return;
    okAt = GetTickCount();
    a.PressButton(box, IDOK);
    HWND report = a.Wait(kAudioTexts.failureCaption);
    failure = Look(report);
    if (report != nullptr) a.PressButton(report, IDOK);
  });
  HandleNewFile(path, {}, allClasses);
  answer.Join();

  ASSERT_TRUE(failure.shown);
  EXPECT_EQ(failure.text, Str(kAudioTexts.failureText));
  EXPECT_EQ(failure.icon, BoxIcon::Exclamation);
  EXPECT_FALSE(failure.cancel);
  EXPECT_GE(failure.at - okAt, 900u);    // after the retry's second
  EXPECT_LT(failure.at - okAt, 15000u);  // a safety net only
  EXPECT_TRUE(scratch.SavedNames().empty());
}

TEST_F(HandleNewFileTest, ThreeFilesFromThreeThreadsPromptStrictlyOneAtATimeAndAllAreKept) {
  std::vector<std::string> paths;
  for (int i = 1; i <= 3; ++i) {
    paths.push_back(
        scratch.NewFile(L"cache\\f" + std::to_wstring(i) + L".flv", "contents " + std::to_string(i)));
  }
  std::vector<int> dialogsOpen;
  std::vector<bool> lockWaits;
  std::vector<std::string> prompted;
  DialogAnswer answer([&](DialogAnswerer& a) {
    for (int i = 0; i < 3; ++i) {
      HWND box = a.Wait(kVideoTexts.promptCaption);
      if (box == nullptr) return;
      prompted.push_back(DialogAnswerer::View(box).MessageText());
      // The other steps wait for the lock behind this box (a lock that let
      // one through would have shown its prompt instead).
      const int behind = 2 - i;
      lockWaits.push_back(Awaited([&] { return DetectionLockWaiters() >= behind; }, 10000));
      dialogsOpen.push_back(OpenDialogCount());
      a.PressButton(box, IDOK);
      HWND report = a.Wait(kVideoTexts.successCaption);
      if (report == nullptr) return;
      lockWaits.push_back(Awaited([&] { return DetectionLockWaiters() >= behind; }, 10000));
      dialogsOpen.push_back(OpenDialogCount());
      a.PressButton(report, IDOK);
      a.WaitClosed(report);
    }
  });
  std::vector<std::thread> workers;
  for (const std::string& path : paths) {
    workers.emplace_back([&, path] { HandleNewFile(path, {}, allClasses); });
  }
  for (auto& worker : workers) worker.join();
  answer.Join();

  EXPECT_EQ(lockWaits, std::vector<bool>(6, true));
  EXPECT_EQ(dialogsOpen, std::vector<int>(6, 1));
  ASSERT_EQ(prompted.size(), 3u);
  std::sort(prompted.begin(), prompted.end());
  EXPECT_EQ(std::unique(prompted.begin(), prompted.end()), prompted.end());
  // Copies made within one second share a name stem; none replaces another.
  std::vector<std::string> contents;
  for (const std::string& name : scratch.SavedNames())
    contents.push_back(FileContents(scratch.Save() + "\\" + name));
  std::sort(contents.begin(), contents.end());
  EXPECT_EQ(contents, (std::vector<std::string>{"contents 1", "contents 2", "contents 3"}));
}

TEST_F(HandleNewFileTest, NameClashGetsTheNextFreeNumberAndTheEarlierCopiesStay) {
  const std::string path = scratch.NewFile(L"cache\\new.rmvb", "new");
  const std::string startTime = TimeTextNow();
  SeenBox success;
  std::vector<std::string> times;
  DialogAnswer answer([&](DialogAnswerer& a) {
    HWND box = a.Wait(kVideoTexts.promptCaption);
    if (box == nullptr) return;
    times = {startTime, TimeTextNow()};
    for (const std::string& time : times) {
      FileWrite(WideOf(scratch.Save() + "\\" + time + ".rmvb"), "older");
      FileWrite(WideOf(scratch.Save() + "\\" + time + "(2).rmvb"), "older 2");
    }
    a.PressButton(box, IDOK);
    HWND report = a.Wait(kVideoTexts.successCaption);
    success = Look(report);
    if (report != nullptr) a.PressButton(report, IDOK);
  });
  HandleNewFile(path, {}, allClasses);
  answer.Join();

  ASSERT_TRUE(success.shown);
  const std::string saved = success.text.substr(kVideoTexts.successText.size());
  EXPECT_TRUE(NamedAtOneOf(saved, scratch.Save(), times, "(3).rmvb")) << saved;
  EXPECT_EQ(FileContents(saved), "new");
  for (const std::string& time : times) {
    EXPECT_EQ(FileContents(scratch.Save() + "\\" + time + ".rmvb"), "older");
    EXPECT_EQ(FileContents(scratch.Save() + "\\" + time + "(2).rmvb"), "older 2");
  }
}

TEST_F(HandleNewFileTest, FilesOfNoSelectedClassOrInTheSaveFolderAreNotPrompted) {
  const std::string inCache = scratch.NewFile(L"cache\\x.flv", "x");
  const std::string ownCopy = scratch.NewFile(L"save\\copy.flv", "copy");
  const std::string inSubfolder = (CreateDirectoryW(scratch.WidePath(L"save\\sub").c_str(), nullptr),
                                   scratch.NewFile(L"save\\sub\\deeper.flv", "deeper"));
  SeenBox unexpected;
  {
    DialogAnswer answer([&](DialogAnswerer&) {
      HWND box = DialogAnswerer(DialogAnswerer::Scope::ThisProcess, 1500).Wait({});
      unexpected = Look(box);
      if (box != nullptr) DialogAnswerer::DismissAll();
    });
    HandleNewFile(inCache);  // no check boxes known yet: no class selected
    FixedSwitches audioOnly{false, true, false};
    HandleNewFile(inCache, {}, audioOnly);
    HandleNewFile(ownCopy, {}, allClasses);
    // The save folder text may differ in case and end in a separator.
    std::string shouted = scratch.Save() + "\\";
    std::transform(shouted.begin(), shouted.end(), shouted.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; });
    SaveFolder.Replace(MakeText(shouted));
    HandleNewFile(ownCopy, {}, allClasses);
    answer.Join();
  }
  EXPECT_FALSE(unexpected.shown) << unexpected.text;

  // A subfolder of the save folder is not the save folder; the default
  // overload asks the switches it was given.
  DetectionClassSwitchesSet(&allClasses);
  SeenBox prompt;
  DialogAnswer answer([&](DialogAnswerer& a) {
    HWND box = a.Wait(kVideoTexts.promptCaption);
    prompt = Look(box);
    if (box != nullptr) a.PressButton(box, IDCANCEL);
  });
  HandleNewFile(inSubfolder);
  answer.Join();
  EXPECT_TRUE(prompt.shown);
  EXPECT_EQ(scratch.SavedNames(), std::vector<std::string>{"copy.flv"});
}

TEST_F(HandleNewFileTest, NameOutsideTheCodePageIsCopiedFromItsExactPath) {
  const std::wstring relative = L"cache\\\xD55C\xAD6D.flv";  // Hangul: not in code page 936
  const std::string path = scratch.NewFile(relative, "hangul");
  ASSERT_NE(path.find('?'), std::string::npos) << "the ANSI path should have lost the name";
  SeenBox prompt, success;
  DialogAnswer answer([&](DialogAnswerer& a) {
    HWND box = a.Wait(kVideoTexts.promptCaption);
    prompt = Look(box);
    if (box == nullptr) return;
    a.PressButton(box, IDOK);
    HWND report = a.Wait(kVideoTexts.successCaption);
    success = Look(report);
    if (report != nullptr) a.PressButton(report, IDOK);
  });
  HandleNewFile(path, scratch.WidePath(relative), allClasses);
  answer.Join();

  EXPECT_EQ(prompt.text, Str(kVideoTexts.promptBefore) + path + Str(kVideoTexts.promptAfter));
  ASSERT_TRUE(success.shown);
  ASSERT_EQ(success.text.substr(0, kVideoTexts.successText.size()), Str(kVideoTexts.successText))
      << success.text;
  EXPECT_EQ(FileContents(success.text.substr(kVideoTexts.successText.size())), "hangul");
}

// The watcher hands files to the detection step through its sink: the step
// runs with the switches set for the main window and copies from the exact path.
TEST_F(HandleNewFileTest, TheDetectionSinkRunsTheStepForEachNewFileFromItsExactPath) {
  const std::wstring relative = L"cache\\\xD55C.flv";  // Hangul: only the exact path names it
  const std::string path = scratch.NewFile(relative, "via the sink");
  const std::wstring exact = scratch.WidePath(relative);
  const std::string folder = scratch.Cache() + "\\";
  DetectionClassSwitchesSet(&allClasses);
  SeenBox prompt, success;
  DialogAnswer answer([&](DialogAnswerer& a) {
    HWND box = a.Wait(kVideoTexts.promptCaption);
    prompt = Look(box);
    if (box == nullptr) return;
    a.PressButton(box, IDOK);
    HWND report = a.Wait(kVideoTexts.successCaption);
    success = Look(report);
    if (report != nullptr) a.PressButton(report, IDOK);
  });
  DetectionSink sink;
  sink.SessionStarted(WatchSessionInfo{3, folder});
  sink.NewFile(NewFileEvent{3, folder, path, exact});
  sink.SessionEnded(3);
  answer.Join();

  EXPECT_EQ(prompt.text, Str(kVideoTexts.promptBefore) + path + Str(kVideoTexts.promptAfter));
  ASSERT_TRUE(success.shown);
  EXPECT_EQ(FileContents(success.text.substr(kVideoTexts.successText.size())), "via the sink");
  EXPECT_EQ(scratch.SavedNames().size(), 1u);
}
