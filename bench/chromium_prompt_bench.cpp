// How soon the real program prompts for media the real Chromium caches: the
// time from an element's first body bytes on disk to its prompt, while
// Chromium loads a page of 20 media and 300 other resources, into a cache
// that is nearly empty and into one already holding 10,000 entries; and the
// program's CPU time per cache file written meanwhile.  Runs by hand with
// the browser lab beside it (32-bit build):
//
//   source scripts/env.sh; source scripts/display.sh; display_start
//   export EE_PRODUCT_EXE=$PWD/build/win32/ElementExtractor.exe
//   bash tests/e2e/browsers/run_with_browser_lab.sh build/win32/bench/chromium_prompt_bench.exe
//     [blockfile|simple|both] [entries already in the cache, default 10000]
//
// "On disk" is when the cache file holding the element's body at offset 0
// first grew past that piece's place in it, seen through a change watch on
// the cache folder (the pieces are placed by reading the cache afterwards).
// Prompts are cancelled as soon as they are seen, so the next can come.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/browser_caches/cache_element.h"
#include "app/browser_caches/cache_folder_disk.h"
#include "app/browser_caches/chromium_cache.h"
#include "tests/e2e/driver/browser_lab_client.h"
#include "tests/e2e/driver/gbk.h"
#include "tests/e2e/driver/message_box.h"
#include "tests/e2e/driver/program.h"
#include "tests/e2e/driver/sandbox.h"
#include "tests/e2e/session/main_window_parts.h"

using namespace e2e;

namespace {

constexpr int kMedia = 20;
constexpr int kOthers = 300;

// Wall-clock milliseconds since 1970, the clock the lab stamps with too.
double NowMs() {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  const unsigned long long ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return static_cast<double>(ticks) / 10000.0 - 11644473600000.0;
}

double CpuMs(HANDLE process) {
  FILETIME created, ended, kernel, user;
  if (!GetProcessTimes(process, &created, &ended, &kernel, &user)) return 0;
  auto value = [](const FILETIME& time) {
    return static_cast<double>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
  };
  return (value(kernel) + value(user)) / 10000.0;
}

// The sizes each file of one folder went through, with their times.  The
// folder is followed through a recursive watch of a folder above it: under
// Wine a folder that has a watch of its own before the program's recursive
// watch reached it is never joined to the program's watch, so a watch of
// the cache folder itself would hide the cache from the program.
class SizeRecorder {
 public:
  SizeRecorder(const std::wstring& top, const std::wstring& below) : top_(top), below_(below) {
    handle_ = CreateFileW(top.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (handle_ != INVALID_HANDLE_VALUE) thread_ = std::thread([this] { Run(); });
  }
  ~SizeRecorder() {
    SetEvent(stop_);
    if (thread_.joinable()) thread_.join();
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    CloseHandle(stop_);
  }
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }

  // When the file first held more than `bytes` bytes; 0 when never seen.
  double FirstPast(const std::string& name, std::uint64_t bytes) {
    std::lock_guard<std::mutex> hold(lock_);
    const auto found = history_.find(name);
    if (found == history_.end()) return 0;
    for (const auto& [time, size] : found->second)
      if (size > bytes) return time;
    return 0;
  }
  size_t FilesSeen() {
    std::lock_guard<std::mutex> hold(lock_);
    return history_.size();
  }

 private:
  void Run() {
    std::vector<DWORD> buffer(16384);
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    for (;;) {
      OVERLAPPED overlapped{};
      overlapped.hEvent = ready;
      ResetEvent(ready);
      if (!ReadDirectoryChangesW(handle_, buffer.data(), static_cast<DWORD>(buffer.size() * sizeof(DWORD)), TRUE,
                                 FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE,
                                 nullptr, &overlapped, nullptr)) {
        break;
      }
      HANDLE waits[] = {ready, stop_};
      if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        CancelIo(handle_);
        DWORD ignored;
        GetOverlappedResult(handle_, &overlapped, &ignored, TRUE);
        break;
      }
      DWORD bytes = 0;
      if (!GetOverlappedResult(handle_, &overlapped, &bytes, FALSE)) break;
      const double now = NowMs();
      const char* at = reinterpret_cast<const char*>(buffer.data());
      std::set<std::wstring> names;
      for (DWORD offset = 0; bytes != 0;) {
        const auto* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(at + offset);
        const std::wstring name(record->FileName, record->FileNameLength / sizeof(wchar_t));
        if (name.size() > below_.size() && CompareStringOrdinal(name.c_str(), static_cast<int>(below_.size()),
                                                                below_.c_str(), static_cast<int>(below_.size()),
                                                                TRUE) == CSTR_EQUAL)
          names.insert(name.substr(below_.size()));
        if (record->NextEntryOffset == 0) break;
        offset += record->NextEntryOffset;
      }
      for (const std::wstring& name : names) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW((top_ + L"\\" + below_ + name).c_str(), GetFileExInfoStandard, &data)) continue;
        const std::uint64_t size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        std::lock_guard<std::mutex> hold(lock_);
        auto& sizes = history_[GbkFromWide(name)];
        if (sizes.empty() || sizes.back().second != size) sizes.emplace_back(now, size);
      }
    }
    CloseHandle(ready);
  }

  std::wstring top_;
  std::wstring below_;  // the followed folder below top_, ending in "\\"
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  HANDLE stop_ = nullptr;
  std::thread thread_;
  std::mutex lock_;
  std::map<std::string, std::vector<std::pair<double, std::uint64_t>>> history_;
};

double Percentile(std::vector<double> values, double share) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t index = static_cast<size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

std::vector<CacheElement> ReadCache(const std::wstring& folder) {
  const std::u16string exact(folder.begin(), folder.end());
  std::unique_ptr<CacheFolder> opened = DiskCacheFolderOpen(exact, GbkFromWide(folder));
  if (!opened) return {};
  return ChromiumCacheRead(*opened);
}

bool Run(BrowserLab& lab, ChromiumStore store, int prefill) {
  const char* storeName = store == ChromiumStore::kBlockFile ? "block files" : "simple cache";
  ProgramUnderTest program;
  ProgramSetup setup;
  setup.executable = ProductExecutable();
  if (!program.Start(setup)) {
    std::printf("program: %s\n", program.Error().c_str());
    return false;
  }
  Window main = program.WaitWindow(kMainCaption);
  MainWindowParts parts(main);
  if (!main || !parts.Video().SetChecked(true) || !parts.Audio().SetChecked(true)) {
    std::printf("the main window did not appear\n");
    return false;
  }
  BrowserLaunch launch;
  launch.store = store;
  const std::wstring cacheBelowHome = L"AppData\\Local\\Chromium\\User Data\\Default\\Cache\\Cache_Data\\";
  launch.userDataDir = program.HomeFolder() + L"\\AppData\\Local\\Chromium\\User Data";
  const std::wstring cache = program.HomeFolder() + L"\\" + cacheBelowHome.substr(0, cacheBelowHome.size() - 1);

  // The cache made before the watch, filled when asked.
  launch.page = prefill > 0 ? lab.BenchPage(0, prefill, "fill").value_or("") : "/";
  {
    const double began = NowMs();
    std::optional<RunningBrowser> browser = lab.Launch(launch);
    if (!browser) {
      std::printf("chromium: %s\n", lab.Error().c_str());
      return false;
    }
    if (prefill > 0) {
      if (!lab.WaitIdle(launch.page, Milliseconds(900000), Milliseconds(2000))) {
        std::printf("the fill page did not load: %s\n", lab.Error().c_str());
        return false;
      }
    } else {
      WaitUntil([&] { return FileExists(cache + L"\\index"); }, Milliseconds(30000));
    }
    browser->Stop();
    std::printf("[%s] cache made before the watch: %zu entries (%.1f s)\n", storeName, ReadCache(cache).size(),
                (NowMs() - began) / 1000.0);
  }

  if (!parts.Start().Click() || !parts.Stop().WaitEnabled(true)) {
    std::printf("the watch did not start\n");
    return false;
  }
  const std::string tag = std::string(store == ChromiumStore::kBlockFile ? "b" : "s") + std::to_string(prefill);
  const std::optional<std::string> page = lab.BenchPage(kMedia, kOthers, tag);
  const std::optional<std::vector<std::string>> media = page ? lab.PageMedia(*page) : std::nullopt;
  if (!media) {
    std::printf("bench page: %s\n", lab.Error().c_str());
    return false;
  }
  SizeRecorder recorder(program.HomeFolder(), cacheBelowHome);
  if (!recorder.Valid()) {
    std::printf("the home folder cannot be watched\n");
    return false;
  }
  const double cpuBefore = CpuMs(program.Launched().Handle());
  launch.page = *page;
  std::optional<RunningBrowser> browser = lab.Launch(launch);
  if (!browser) {
    std::printf("chromium: %s\n", lab.Error().c_str());
    return false;
  }

  // Every prompt, seen as soon as it shows, answered at once.
  const std::string before = "侦测到";
  std::map<std::string, double> prompted;
  std::set<HWND> answered;
  std::vector<double> answerTimes;  // when each box was answered, in order
  const ULONGLONG deadline = GetTickCount64() + 300000;
  ULONGLONG lastPrompt = GetTickCount64();
  while (prompted.size() < media->size() && GetTickCount64() < deadline) {
    const std::vector<MessageBoxWindow> boxes = MessageBoxes(program.Id());
    const double now = NowMs();
    for (const MessageBoxWindow& box : boxes) {
      if (answered.count(box.Frame().Handle())) continue;
      // A box being made shows for a moment before its texts are set.
      const std::string message = box.Message();
      if (message.empty() || box.Caption().empty()) continue;
      answered.insert(box.Frame().Handle());
      const size_t from = message.find("：");
      const size_t to = message.rfind(" ，");
      if (message.rfind(before, 0) == 0 && from != std::string::npos && to != std::string::npos && to > from) {
        const std::string address = message.substr(from + std::string("：").size(), to - from - std::string("：").size());
        if (!prompted.emplace(address, now).second) std::printf("second prompt for %s\n", address.c_str());
      } else {
        std::printf("other box: %s\n", message.c_str());
      }
      box.Press(IDCANCEL);
      answerTimes.push_back(NowMs());
    }
    // No prompt for a long while: the rest will not come.
    if (!boxes.empty()) lastPrompt = GetTickCount64();
    if (GetTickCount64() - lastPrompt > 60000) break;
    Sleep(2);
  }
  lab.WaitIdle(*page, Milliseconds(120000));
  const double cpuMs = CpuMs(program.Launched().Handle()) - cpuBefore;
  const std::optional<std::map<std::string, ServedStats, std::less<>>> stats = lab.Stats();
  browser->Stop();

  const std::vector<CacheElement> elements = ReadCache(cache);
  std::vector<double> fromDisk, fromSent, ownPart;
  for (const std::string& path : *media) {
    const std::string address = lab.Url(path);
    const auto prompt = prompted.find(address);
    if (prompt == prompted.end()) {
      std::printf("  no prompt for %s\n", address.c_str());
      continue;
    }
    const auto element = std::find_if(elements.begin(), elements.end(),
                                      [&](const CacheElement& found) { return found.webAddress == address; });
    if (element != elements.end() && !element->pieces.empty() && element->pieces.front().elementOffset == 0) {
      const BodyPiece& first = element->pieces.front();
      const double onDisk = recorder.FirstPast(first.fileName, first.fileOffset);
      if (onDisk > 0) {
        fromDisk.push_back(prompt->second - onDisk);
        // Prompts show one at a time: the program's own part starts when the
        // bytes were on disk or the box before was answered, whichever came last.
        const auto before = std::lower_bound(answerTimes.begin(), answerTimes.end(), prompt->second);
        const double ready = before == answerTimes.begin() ? onDisk : std::max(onDisk, *(before - 1));
        ownPart.push_back(prompt->second - ready);
      }
    }
    if (stats && stats->count(path) && stats->at(path).firstSentUnixMs != 0) {
      fromSent.push_back(prompt->second - static_cast<double>(stats->at(path).firstSentUnixMs));
    }
  }
  const size_t files = recorder.FilesSeen();
  std::printf("[%s] %d entries before: %zu of %zu media prompted (%zu placed on disk)\n", storeName, prefill,
              prompted.size(), media->size(), fromDisk.size());
  std::printf(
      "[%s] %d entries before: first bytes on disk -> prompt: min %.0f ms, median %.0f ms, p99 %.0f ms, max %.0f ms\n",
      storeName, prefill, Percentile(fromDisk, 0.0), Percentile(fromDisk, 0.5), Percentile(fromDisk, 0.99),
      Percentile(fromDisk, 1.0));
  std::printf(
      "[%s] %d entries before: on disk or box before answered, whichever later -> prompt: median %.0f ms, p99 %.0f "
      "ms, max %.0f ms\n",
      storeName, prefill, Percentile(ownPart, 0.5), Percentile(ownPart, 0.99), Percentile(ownPart, 1.0));
  std::printf("[%s] %d entries before: first bytes sent -> prompt: median %.0f ms, p99 %.0f ms\n", storeName,
              prefill, Percentile(fromSent, 0.5), Percentile(fromSent, 0.99));
  std::printf("[%s] %d entries before: program CPU %.0f ms for %zu cache files written (%.2f ms per file)\n",
              storeName, prefill, cpuMs, files, files ? cpuMs / static_cast<double>(files) : 0.0);
  std::fflush(stdout);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<BrowserLab> lab = BrowserLab::FromEnvironment();
  if (!lab) {
    std::printf("run through tests/e2e/browsers/run_with_browser_lab.sh\n");
    return 2;
  }
  const std::string which = argc > 1 ? argv[1] : "both";
  const int prefill = argc > 2 ? std::atoi(argv[2]) : 10000;
  std::vector<ChromiumStore> stores;
  if (which != "simple") stores.push_back(ChromiumStore::kBlockFile);
  if (which != "blockfile") stores.push_back(ChromiumStore::kSimple);
  bool ok = true;
  for (ChromiumStore store : stores) {
    ok = Run(*lab, store, 0) && ok;
    if (prefill > 0) ok = Run(*lab, store, prefill) && ok;
  }
  return ok ? 0 : 1;
}
