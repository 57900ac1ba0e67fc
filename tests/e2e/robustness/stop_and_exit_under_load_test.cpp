// Stop and exit pressed while the program is busy: a hundred prompts
// waiting, a large copy running.  Nothing may crash or hang, nothing
// confirmed may be lost, and no cut-off copy may pass for a saved element.
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/driver/linux_side.h"
#include "tests/e2e/robustness/robustness_support.h"

using namespace e2e;

namespace {

constexpr char kPromptCaption[] = "警示信息 - 视频侦测";
constexpr char kSavedCaption[] = "警示信息 - 视频保存成功";

class BusyProgram : public RunningProgram {
 protected:
  void StartWatchingHome() {
    ASSERT_TRUE(Parts().Video().SetChecked(true));
    ASSERT_TRUE(Parts().Start().Click());
    ASSERT_TRUE(Parts().Stop().WaitEnabled(true));
    ASSERT_TRUE(Watching());
  }
  std::string Home() const { return GbkFromWide(program.HomeFolder()); }
  void EndDuringALargeCopy(const std::function<bool()>& end);
};

// The path a prompt names (between its two fixed fragments).
std::string PromptedPath(const std::string& message) {
  const std::string before = "侦测到视频文件：";
  const std::string::size_type end = message.find(" ，如果需要保存");
  if (message.rfind(before, 0) != 0 || end == std::string::npos) return {};
  return message.substr(before.size(), end - before.size());
}

std::optional<ULONGLONG> FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// A large file quickly made: a marked head and tail around a hole, so a
// copy cut short anywhere shows in its size or its tail.
constexpr ULONGLONG kLargeSize = 400ull << 20;
constexpr DWORD kMarkSize = 64 * 1024;

std::string Mark(char seed) {
  std::string mark(kMarkSize, '\0');
  for (DWORD i = 0; i < kMarkSize; ++i) mark[i] = static_cast<char>(seed + i * 7 + (i >> 9));
  return mark;
}

bool WriteAt(HANDLE file, ULONGLONG offset, const std::string& bytes) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  DWORD written = 0;
  return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) &&
         WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

std::string ReadAt(HANDLE file, ULONGLONG offset, DWORD count) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  std::string bytes(count, '\0');
  DWORD read = 0;
  if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN) ||
      !ReadFile(file, bytes.data(), count, &read, nullptr))
    return {};
  bytes.resize(read);
  return bytes;
}

bool WriteLargeFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool ok = WriteAt(file, 0, Mark('h')) && WriteAt(file, kLargeSize - kMarkSize, Mark('t'));
  CloseHandle(file);
  return ok;
}

// Whole: the full size, the head and tail marks in place.
bool LargeFileWhole(const std::wstring& path) {
  if (FileSize(path) != kLargeSize) return false;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool whole =
      ReadAt(file, 0, kMarkSize) == Mark('h') && ReadAt(file, kLargeSize - kMarkSize, kMarkSize) == Mark('t');
  CloseHandle(file);
  return whole;
}

}  // namespace

// The prompts are task-modal on a worker thread, so the main window stays
// usable and stop can be pressed while they wait.  The files found before
// the stop are still offered one by one; each confirmed one is saved whole.
TEST_F(BusyProgram, StopWhileAHundredPromptsWait) {
  StartWatchingHome();
  constexpr int kFiles = 100;
  std::map<std::string, std::string> contentOf;  // prompted path -> bytes
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "clip" + std::to_string(i) + ".flv";
    const std::string bytes =
        "video " + std::to_string(i) + std::string(static_cast<std::size_t>(i) * 97, 'v');
    ASSERT_TRUE(program.Files().WriteFile(L"home\\" + std::wstring(name.begin(), name.end()), bytes));
    contentOf[Home() + "\\" + name] = bytes;
  }
  MessageBoxWindow prompt = program.WaitMessageBox(kPromptCaption);
  ASSERT_TRUE(prompt);
  // Every record read and handed on: no thread of the program runs any more,
  // the first prompt waits for its answer and the rest are queued behind it.
  const std::vector<unsigned long> unixProcess = UnixProcessesOf(program.ExecutablePath());
  ASSERT_EQ(unixProcess.size(), 1u) << "the program's Unix process was not found";
  ASSERT_TRUE(WaitAllAsleep(unixProcess, Milliseconds(500))) << "the program never went quiet";

  ASSERT_TRUE(main.IsEnabled()) << "a prompt disables the main window: stop cannot be reached";
  ASSERT_TRUE(Parts().Stop().IsEnabled());
  ASSERT_TRUE(Parts().Stop().Click());
  ASSERT_TRUE(WaitUntil([&] { return Idle(); }, Milliseconds(5000))) << "stop did not return to idle";
  EXPECT_TRUE(prompt.Frame().Exists()) << "the open prompt stays until answered";

  // Every tenth confirmed, the rest cancelled.
  std::set<std::string> prompted;
  std::set<std::string> confirmedBytes;
  while (prompt) {
    const std::string path = PromptedPath(prompt.Message());
    ASSERT_EQ(contentOf.count(path), 1u) << "prompt for an unknown file: " << prompt.Message();
    ASSERT_TRUE(prompted.insert(path).second) << "prompted twice: " << path;
    const bool confirm = prompted.size() % 10 == 1;
    ASSERT_TRUE(prompt.Answer(confirm ? IDOK : IDCANCEL));
    if (confirm) {
      confirmedBytes.insert(contentOf[path]);
      MessageBoxWindow saved = program.WaitMessageBox(kSavedCaption);
      ASSERT_TRUE(saved) << "no success message for " << path;
      ASSERT_TRUE(saved.Answer(IDOK));
    }
    prompt = program.WaitMessageBox(kPromptCaption, Milliseconds(5000));
  }
  EXPECT_EQ(prompted.size(), static_cast<std::size_t>(kFiles)) << "files found before the stop were lost";
  EXPECT_TRUE(MessageBoxes(program.Id()).empty());
  EXPECT_TRUE(Idle());

  std::set<std::string> savedBytes;
  for (const std::wstring& name : SavedFiles(program))
    savedBytes.insert(program.Files().ReadFile(L"program\\" + name).value_or("(unreadable)"));
  EXPECT_EQ(SavedFiles(program).size(), confirmedBytes.size());
  EXPECT_EQ(savedBytes, confirmedBytes);
  for (const auto& [path, bytes] : contentOf) {
    const std::string name = path.substr(path.rfind('\\') + 1);
    EXPECT_EQ(program.Files().ReadFile(L"home\\" + std::wstring(name.begin(), name.end())), bytes)
        << "source changed: " << name;
  }
  ExitAndExpectCodeZero();
}

// Exit while a prompt is open and more wait behind it, the detection lock
// held by the worker that shows it: the program still ends at once.
TEST_F(BusyProgram, ExitWhilePromptsWait) {
  StartWatchingHome();
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(program.Files().WriteFile(L"home\\wait" + std::to_wstring(i) + L".flv", "waiting video"));
  }
  ASSERT_TRUE(program.WaitMessageBox(kPromptCaption));
  ASSERT_TRUE(Parts().Button("退出").Click());
  const std::optional<int> code = program.WaitForExit(Milliseconds(10000));
  ASSERT_TRUE(code) << "the program hangs when exit is pressed with prompts waiting";
  EXPECT_EQ(*code, 0);
  EXPECT_TRUE(SavedFiles(program).empty());
  EXPECT_EQ(program.Files().ReadFile(L"home\\wait19.flv").value_or(""), "waiting video");
}

// The copy runs on a worker thread, so the main window answers while it
// runs and the program can be ended by its exit button or its close box.
// It must end at once with code 0, the source untouched, and the save
// folder holding the whole copy or none.
void BusyProgram::EndDuringALargeCopy(const std::function<bool()>& end) {
  StartWatchingHome();
  const std::wstring source = program.HomeFolder() + L"\\large.flv";
  ASSERT_TRUE(WriteLargeFile(source));
  MessageBoxWindow prompt = program.WaitMessageBox(kPromptCaption);
  ASSERT_TRUE(prompt);
  ASSERT_TRUE(prompt.Answer(IDOK));

  // End as soon as the copy shows in the save folder.
  std::wstring copy;
  ASSERT_TRUE(WaitUntil(
      [&] {
        const auto saved = SavedFiles(program);
        if (!saved.empty()) copy = program.ProgramFolder() + L"\\" + saved[0];
        return !saved.empty();
      },
      Milliseconds(15000), Milliseconds(1)));
  const std::optional<ULONGLONG> sizeAtEnd = FileSize(copy);
  const ULONGLONG pressedAt = GetTickCount64();
  ASSERT_TRUE(end());
  const std::optional<int> code = program.WaitForExit(Milliseconds(30000));
  ASSERT_TRUE(code) << "the program hangs when ended during a copy";
  EXPECT_EQ(*code, 0);
  std::printf("ended after %llu ms; the copy had %llu of %llu bytes then; save folder: %s\n",
              GetTickCount64() - pressedAt, sizeAtEnd.value_or(0), kLargeSize,
              SavedFiles(program).empty() ? "empty" : "one file");

  EXPECT_TRUE(LargeFileWhole(source)) << "the source was changed";
  const auto saved = SavedFiles(program);
  ASSERT_LE(saved.size(), 1u);
  if (!saved.empty()) {
    EXPECT_TRUE(LargeFileWhole(program.ProgramFolder() + L"\\" + saved[0]))
        << "a cut-off copy was left in the save folder: " << FileSize(copy).value_or(0) << " of "
        << kLargeSize << " bytes";
  }
}

TEST_F(BusyProgram, ExitButtonWhileALargeCopyRuns) {
  EndDuringALargeCopy([&] { return Parts().Button("退出").Click(); });
}

TEST_F(BusyProgram, CloseBoxWhileALargeCopyRuns) {
  EndDuringALargeCopy([&] { return main.CloseBox(); });
}
