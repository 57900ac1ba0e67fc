#include "watch_test_support.h"

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "app/watch/watch_threads.h"
#include "runtime/core/text_encoding_wide.h"

namespace {

std::mutex recordLock;
std::string recordPrefix;
std::vector<HandOff> recorded;
std::vector<WatchSessionId> ended;

class RecordingSink final : public WatchSink {
 public:
  void SessionStarted(const WatchSessionInfo&) override {}
  void NewFile(const NewFileEvent& file) override {
    std::lock_guard<std::mutex> guard(recordLock);
    if (file.fullPath.substr(0, recordPrefix.size()) != recordPrefix) return;
    recorded.push_back(HandOff{std::string(file.fullPath), std::wstring(file.exactPath),
                               std::string(file.folderText), file.session});
  }
  void SessionEnded(WatchSessionId session) override {
    std::lock_guard<std::mutex> guard(recordLock);
    ended.push_back(session);
  }
};

}  // namespace

TempTree::TempTree() {
  static std::atomic<int> serial{0};
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  path_ = std::string(temp) + "eewatch_" + std::to_string(GetCurrentProcessId()) + "_" +
          std::to_string(GetTickCount()) + "_" + std::to_string(++serial);
  CreateDirectoryA(path_.c_str(), nullptr);
}

TempTree::~TempTree() { RemoveTree(path_); }

void TempTree::Folder(const std::string& relative) const {
  for (std::size_t cut = relative.find('\\'); cut != std::string::npos; cut = relative.find('\\', cut + 1)) {
    CreateDirectoryA(Join(relative.substr(0, cut)).c_str(), nullptr);
  }
  CreateDirectoryA(Join(relative).c_str(), nullptr);
}

void TempTree::File(const std::string& relative, int writes) const {
  HANDLE file = CreateFileA(Join(relative).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  for (int i = 0; i < writes; ++i) {
    DWORD written = 0;
    WriteFile(file, "data", 4, &written, nullptr);
    FlushFileBuffers(file);
  }
  CloseHandle(file);
}

namespace {

// Wide, so that names outside the code page are removed too.
void RemoveTreeWide(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTreeWide(child);
      } else {
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

}  // namespace

void RemoveTree(const std::string& path) { RemoveTreeWide(WideFromAnsi(path)); }

void HandOffRecordStart(const std::string& prefix) {
  {
    std::lock_guard<std::mutex> guard(recordLock);
    recordPrefix = prefix;
    recorded.clear();
  }
}

WatchSink& HandOffRecorder() {
  static RecordingSink sink;
  return sink;
}

std::vector<HandOff> HandOffsRecorded() {
  std::lock_guard<std::mutex> guard(recordLock);
  return recorded;
}

bool HandOffsAwait(std::size_t count, DWORD timeoutMs) {
  return StateAwait([&] { return HandOffsRecorded().size() >= count; }, timeoutMs);
}

bool SessionEndAwait(WatchSessionId session, DWORD timeoutMs) {
  return StateAwait(
      [&] {
        std::lock_guard<std::mutex> guard(recordLock);
        return std::find(ended.begin(), ended.end(), session) != ended.end();
      },
      timeoutMs);
}

bool WalkAwait(std::uint64_t walksBefore, DWORD timeoutMs) {
  if (!RunningUnderWine()) return true;
  return StateAwait([&] { return WatchStatisticsRead().walksDone > walksBefore; }, timeoutMs);
}

std::vector<DWORD> ProcessThreadIds() {
  std::vector<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ids.push_back(entry.th32ThreadID);
  }
  CloseHandle(snapshot);
  return ids;
}

bool ThreadCountAwait(std::size_t count, DWORD timeoutMs) {
  return StateAwait([&] { return ProcessThreadIds().size() <= count; }, timeoutMs);
}
