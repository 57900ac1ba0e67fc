// Prints how the watcher keeps up with bursts of new files, what waiting
// behind a held detection costs, and how long the Wine subfolder walk takes.
// Run by hand (under Wine or Windows); not part of the tests.
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/watch/watch.h"
#include "bench/bench_support.h"
#include "runtime/core/program.h"

namespace {

// Gives each new file's paths to a plain function; sessions' starts and ends are of no interest here.
class FunctionSink final : public WatchSink {
 public:
  using Function = void (*)(std::string_view fullPath, std::wstring_view exactPath);
  explicit FunctionSink(Function function) : function_(function) {}
  void SessionStarted(const WatchSessionInfo&) override {}
  void NewFile(const NewFileEvent& file) override { function_(file.fullPath, file.exactPath); }
  void SessionEnded(WatchSessionId) override {}

 private:
  Function function_;
};

constexpr int kSubfolders = 100;
constexpr int kSubfoldersBefore = 50;  // the rest are made during the burst

std::string FreshRoot(const char* tag) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string root = std::string(temp) + "eebench_" + tag + "_" + std::to_string(GetTickCount());
  CreateDirectoryA(root.c_str(), nullptr);
  return root;
}

bool FileCreate(const std::wstring& path) {
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

std::size_t ThreadCount() {
  std::size_t count = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

// Committed private memory, summed over the address space (Wine does not
// fill in the process counters' private usage).
double PrivateMiB() {
  double bytes = 0;
  MEMORY_BASIC_INFORMATION region;
  for (const char* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;
       at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
      bytes += static_cast<double>(region.RegionSize);
    if (static_cast<const char*>(region.BaseAddress) + region.RegionSize < at) break;
  }
  return bytes / (1024.0 * 1024.0);
}

// Creation and hand-off times of one burst, indexed by file number.
struct Burst {
  explicit Burst(int count) : files(count), created(new double[count]), seen(new std::atomic<double>[count]) {
    for (int i = 0; i < count; ++i) seen[i] = -1;
  }
  int files;
  std::unique_ptr<double[]> created;
  std::unique_ptr<std::atomic<double>[]> seen;
  std::atomic<int> seenCount{0};

  // Files are named f<number>.bin.
  void Seen(std::wstring_view path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    const std::wstring_view name = path.substr(slash == std::wstring_view::npos ? 0 : slash + 1);
    if (name.size() < 5 || name[0] != L'f') return;
    int number = 0;
    for (std::size_t i = 1; i < name.size() && name[i] != L'.'; ++i) {
      if (name[i] < L'0' || name[i] > L'9') return;
      number = number * 10 + (name[i] - L'0');
    }
    if (number >= files) return;
    double expected = -1;
    if (seen[number].compare_exchange_strong(expected, NowMs())) ++seenCount;
  }
};

Burst* currentBurst = nullptr;

void BurstSink(std::string_view, std::wstring_view exactPath) { currentBurst->Seen(exactPath); }

void BurstCreate(const std::string& root, Burst& burst) {
  const std::wstring wideRoot = Wide(root);
  for (int i = 0; i < burst.files; ++i) {
    const int folder = i % kSubfolders;
    const std::wstring folderPath = wideRoot + L"\\s" + std::to_wstring(folder);
    if (i < kSubfolders && folder >= kSubfoldersBefore) CreateDirectoryW(folderPath.c_str(), nullptr);
    burst.created[i] = NowMs();
    FileCreate(folderPath + L"\\f" + std::to_wstring(i) + L".bin");
  }
}

void SubfoldersMake(const std::string& root) {
  for (int i = 0; i < kSubfoldersBefore; ++i)
    CreateDirectoryA((root + "\\s" + std::to_string(i)).c_str(), nullptr);
}

// Waits until every file was seen or nothing new came for quietMs.
void BurstAwait(Burst& burst, DWORD quietMs) {
  int last = -1;
  DWORD lastChange = GetTickCount();
  while (burst.seenCount < burst.files) {
    Sleep(20);
    if (burst.seenCount != last) {
      last = burst.seenCount;
      lastChange = GetTickCount();
    } else if (GetTickCount() - lastChange > quietMs) {
      return;
    }
  }
}

// All files, and those in the subfolders made during the burst (the ones a
// plain loop under Wine can see).
void BurstReport(const char* who, const Burst& burst, double elapsedMs) {
  std::vector<double> all, inNewFolders;
  int newFolderFiles = 0;
  for (int i = 0; i < burst.files; ++i) {
    const bool newFolder = i % kSubfolders >= kSubfoldersBefore;
    newFolderFiles += newFolder;
    if (burst.seen[i] < 0) continue;
    all.push_back(burst.seen[i] - burst.created[i]);
    if (newFolder) inNewFolders.push_back(all.back());
  }
  std::printf("%-9s files %6d  detected %6.2f%%  median %7.2f ms  p99 %8.2f ms  burst %6.0f ms\n", who,
              burst.files, 100.0 * all.size() / burst.files, Percentile(all, 0.5), Percentile(all, 0.99),
              elapsedMs);
  std::printf("%-9s  in new subfolders: %6.2f%%  median %7.2f ms  p99 %8.2f ms\n", "",
              100.0 * inNewFolders.size() / newFolderFiles, Percentile(inNewFolders, 0.5),
              Percentile(inNewFolders, 0.99));
}

void ProductBurst(int files) {
  const std::string root = FreshRoot("product");
  SubfoldersMake(root);
  Burst burst(files);
  currentBurst = &burst;
  static FunctionSink sink(BurstSink);
  const std::uint64_t overflows = WatchStatisticsRead().overflows;
  const std::uint64_t recovered = WatchStatisticsRead().filesRecovered;
  std::uintptr_t handle = OpenWatchFolder(root, sink);
  Sleep(100);
  const double start = NowMs();
  BurstCreate(root, burst);
  const double elapsed = NowMs() - start;
  BurstAwait(burst, 5000);
  CloseWatchHandleAsync(handle);
  BurstReport("watcher", burst, elapsed);
  std::printf("          overflows %llu, handed on by recovery or walk %llu\n",
              static_cast<unsigned long long>(WatchStatisticsRead().overflows - overflows),
              static_cast<unsigned long long>(WatchStatisticsRead().filesRecovered - recovered));
  Sleep(200);
  RemoveTree(Wide(root));
}

// The plain loop: one thread re-arming ReadDirectoryChangesW at once.
struct PlainLoop {
  HANDLE folder;
  Burst* burst;
  std::atomic<bool> stop{false};
  std::atomic<int> overflows{0};
};

DWORD WINAPI PlainLoopThread(LPVOID parameter) {
  auto* loop = static_cast<PlainLoop*>(parameter);
  std::vector<unsigned char> buffer(64 * 1024);
  for (;;) {
    DWORD bytes = 0;
    const BOOL ok = ReadDirectoryChangesW(loop->folder, buffer.data(), static_cast<DWORD>(buffer.size()),
                                          TRUE, 0x17F, &bytes, nullptr, nullptr);
    if (loop->stop) return 0;
    if (!ok || bytes == 0) {
      if (ok || GetLastError() == ERROR_NOTIFY_ENUM_DIR) {
        ++loop->overflows;
        continue;
      }
      return 0;
    }
    for (DWORD offset = 0;;) {
      const auto* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer.data() + offset);
      if (record->Action == FILE_ACTION_ADDED) {
        loop->burst->Seen(std::wstring_view(record->FileName, record->FileNameLength / 2));
      }
      if (record->NextEntryOffset == 0) break;
      offset += record->NextEntryOffset;
    }
  }
}

void PlainBurst(int files) {
  const std::string root = FreshRoot("plain");
  SubfoldersMake(root);
  Burst burst(files);
  PlainLoop loop{
      CreateFileA(root.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr),
      &burst};
  HANDLE thread = CreateThread(nullptr, 0, PlainLoopThread, &loop, 0, nullptr);
  Sleep(100);
  const double start = NowMs();
  BurstCreate(root, burst);
  const double elapsed = NowMs() - start;
  BurstAwait(burst, 5000);
  loop.stop = true;
  while (WaitForSingleObject(thread, 10) == WAIT_TIMEOUT) CancelSynchronousIo(thread);
  CloseHandle(thread);
  CloseHandle(loop.folder);
  BurstReport("plain", burst, elapsed);
  std::printf("          overflows %d\n", loop.overflows.load());
  RemoveTree(Wide(root));
}

// The first hand-off is held (as a prompt waiting for the user would hold
// it) while files arrive one read at a time.
HANDLE heldRelease = nullptr;
std::atomic<int> heldCalls{0};

void HeldSink(std::string_view, std::wstring_view) {
  if (heldCalls++ == 0) WaitForSingleObject(heldRelease, INFINITE);
}

void HeldDetection(int files) {
  const std::string root = FreshRoot("held");
  heldRelease = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  heldCalls = 0;
  static FunctionSink sink(HeldSink);
  std::uintptr_t handle = OpenWatchFolder(root, sink);
  FileCreate(Wide(root + "\\first.bin"));
  while (heldCalls == 0) Sleep(5);
  Sleep(200);
  const std::size_t threadsBefore = ThreadCount();
  const double memoryBefore = PrivateMiB();
  const std::uint64_t batchesBefore = WatchStatisticsRead().batchesHandedOver;
  const std::wstring wideRoot = Wide(root);
  for (int i = 0; i < files; ++i) {
    FileCreate(wideRoot + L"\\w" + std::to_wstring(i) + L".bin");
    // One read per file: wait until the batch has come through.
    const DWORD start = GetTickCount();
    while (WatchStatisticsRead().filesWaiting < static_cast<std::size_t>(i + 1) &&
           GetTickCount() - start < 50) {
      Sleep(0);
    }
  }
  Sleep(500);
  const WatchStatistics figures = WatchStatisticsRead();
  const std::size_t threadsAfter = ThreadCount();
  const double memoryAfter = PrivateMiB();
  std::printf(
      "held      batches %llu, names waiting %zu: threads %zu -> %zu, private memory %.1f -> %.1f MiB "
      "(%.0f bytes per waiting name)\n",
      static_cast<unsigned long long>(figures.batchesHandedOver - batchesBefore), figures.filesWaiting,
      threadsBefore, threadsAfter, memoryBefore, memoryAfter,
      figures.filesWaiting ? (memoryAfter - memoryBefore) * 1024 * 1024 / figures.filesWaiting : 0.0);
  const double released = NowMs();
  SetEvent(heldRelease);
  while (heldCalls < files + 1 && NowMs() - released < 30000) Sleep(5);
  std::printf("          released: %d hand-offs done in %.0f ms\n", heldCalls - 1, NowMs() - released);
  CloseWatchHandleAsync(handle);
  CloseHandle(heldRelease);
  Sleep(200);
  RemoveTree(wideRoot);
}

// The Wine walk over a tree of 100 x 100 folders, and a detection made
// while it runs.
std::atomic<double> probeSeen{-1};
void ProbeSink(std::string_view fullPath, std::wstring_view) {
  if (fullPath.find("probe") != std::string_view::npos) probeSeen = NowMs();
}

void WalkTiming() {
  const std::string root = FreshRoot("walk");
  const double makeStart = NowMs();
  for (int i = 0; i < 100; ++i) {
    const std::string top = root + "\\d" + std::to_string(i);
    CreateDirectoryA(top.c_str(), nullptr);
    for (int j = 0; j < 99; ++j) CreateDirectoryA((top + "\\e" + std::to_string(j)).c_str(), nullptr);
  }
  std::printf("walk      tree of 10,000 folders made in %.0f ms\n", NowMs() - makeStart);
  static FunctionSink sink(ProbeSink);
  const std::uint64_t walks = WatchStatisticsRead().walksDone;
  probeSeen = -1;
  std::uintptr_t handle = OpenWatchFolder(root, sink);
  Sleep(150);  // the walk is under way now
  const double probeCreated = NowMs();
  FileCreate(Wide(root + "\\probe.bin"));
  const double start = NowMs();
  while (WatchStatisticsRead().walksDone == walks && NowMs() - start < 120000) Sleep(10);
  const WatchStatistics figures = WatchStatisticsRead();
  if (figures.walksDone == walks) {
    std::printf("walk      did not run (not under Wine?)\n");
  } else {
    std::printf(
        "walk      %u folders opened in %u ms; a file made 150 ms into it was handed on after %.2f ms\n",
        figures.lastWalkFolders, figures.lastWalkMs, probeSeen < 0 ? -1.0 : probeSeen - probeCreated);
  }
  CloseWatchHandleAsync(handle);
  Sleep(200);
  RemoveTree(Wide(root));
}

}  // namespace

// Arguments pick parts: burst, held, walk (all when none is given).
int main(int argc, char** argv) {
  RuntimeStart();
  const auto wanted = [&](const char* part) {
    if (argc < 2) return true;
    for (int i = 1; i < argc; ++i) {
      if (std::string(argv[i]) == part) return true;
    }
    return false;
  };
  if (wanted("burst")) {
    std::printf("watch benchmark: %d subfolders, %d of them made during each burst\n", kSubfolders,
                kSubfolders - kSubfoldersBefore);
    for (int files : {1000, 10000}) {
      ProductBurst(files);
      PlainBurst(files);
    }
  }
  if (wanted("held")) HeldDetection(10000);
  if (wanted("walk")) WalkTiming();
  return 0;
}
