// Prints how long the command-line scan takes over a hand-built Chromium
// simple cache of 1,000 and 10,000 entries on disk (a third of them video
// bodies, the rest pages and scripts), as the program reads it: folder
// listing, each entry's header and stored response, the first bytes of each
// body for its type, and the report.  "rescan" is the best and worst of
// three scans after the first.  "floor" is what opening each file once,
// reading its first 4 KiB and closing it costs on the same folder (best of
// three).  All times in milliseconds.  A second table splits the fastest of
// three more scans into where its time goes: the folder's
// listing, the opens, size queries, reads and closes of the files (each
// counted and timed as the scan makes them), and what is left (parsing and
// the rest); beside it, listings of the folder by FindFirstFileW and by
// FindFirstFileExW with FindExInfoBasic and FIND_FIRST_EX_LARGE_FETCH.  Run
// by hand (under Wine or Windows):
//   wine build/win32/bench/scan_bench.exe [--keep] [--existing] [--split-first] [entries...]
// --keep leaves the caches in the temporary folder and --existing scans the
// ones an earlier run left instead of building them, so that the first scan
// is a fresh process's over files written well before (as a user's run
// finds the browser's cache), not over files written a moment ago.
// --split-first makes each folder's first scan through the timed folder and
// splits it as well ("first" row).
#include <windows.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/browser_caches/cache_folder_disk.h"
#include "app/command_line/cache_scan.h"
#include "app/command_line/listed_cache_folder.h"
#include "app/command_line/scan_places.h"
#include "app/command_line/scan_reading.h"
#include "app/command_line/scan_report.h"
#include "bench/bench_support.h"
#include "runtime/core/text_encoding_wide.h"
#include "tests/support/chromium_cache_builders.h"

namespace {

constexpr std::size_t kBodyBytes = 64 * 1024;
// Scans after the first, for the best and worst of them.
constexpr int kRepeats = 3;

// The cache folder with `entries` closed entries.
bool CacheBuild(const std::wstring& folder, int entries) {
  CreateDirectoryW(folder.c_str(), nullptr);
  const ByteVector index = SimpleIndex();
  if (!BytesWrite(folder + L"\\index", index, 0, index.size(), false)) return false;
  ByteVector video = Pattern(kBodyBytes, 1);
  const std::uint8_t box[] = {0, 0, 0, 24, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm',
                              0, 0, 2, 0,  'i', 's', 'o', 'm', 'm', 'p', '4', '1'};
  std::copy(std::begin(box), std::end(box), video.begin());
  const ByteVector page(2000, 'x');
  for (int i = 0; i < entries; ++i) {
    const bool media = i % 3 == 0;
    const std::string url = "https://bench.test/" + std::to_string(i) + (media ? ".mp4" : ".html");
    const ByteVector& body = media ? video : page;
    const ByteVector pickle = ResponsePickle(
        HeaderBlock({"HTTP/1.1 200 OK", media ? "Content-Type: video/mp4" : "Content-Type: text/html",
                     media ? "Content-Length: 65536" : "Content-Length: 2000"}));
    char name[32];
    std::snprintf(name, sizeof name, "%016x_0", i + 1);
    const std::string key = "1/0/_dk_https://bench.test https://bench.test " + url;
    const ByteVector file = SimpleMainFile(key, body, &pickle);
    if (!BytesWrite(folder + L"\\" + Wide(name), file, 0, file.size(), false)) return false;
  }
  return true;
}

// The floor: every file of the folder opened once, its first 4 KiB read, closed.
double OpenEveryFileMs(const std::wstring& folder) {
  const double started = NowMs();
  WIN32_FIND_DATAW found{};
  const HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return 0;
  std::vector<char> buffer(4096);
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const HANDLE file = CreateFileW((folder + L"\\" + found.cFileName).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    DWORD read = 0;
    ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr);
    CloseHandle(file);
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return NowMs() - started;
}

// What the scan asked of the file system, counted and timed.
struct FileSystemCalls {
  double listMs = 0;
  int opens = 0, sizes = 0, reads = 0;
  double openMs = 0, sizeMs = 0, readMs = 0, closeMs = 0;
};

class TimedFile : public CacheFile {
 public:
  TimedFile(std::unique_ptr<CacheFile> file, FileSystemCalls& calls)
      : file_(std::move(file)), calls_(calls) {}
  ~TimedFile() override {
    const double started = NowMs();
    file_.reset();
    calls_.closeMs += NowMs() - started;
  }
  std::uint64_t Size() override {
    const double started = NowMs();
    const std::uint64_t size = file_->Size();
    calls_.sizeMs += NowMs() - started;
    ++calls_.sizes;
    return size;
  }
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
    const double started = NowMs();
    const std::size_t got = file_->ReadAt(offset, buffer, count);
    calls_.readMs += NowMs() - started;
    ++calls_.reads;
    return got;
  }

 private:
  std::unique_ptr<CacheFile> file_;
  FileSystemCalls& calls_;
};

class TimedFolder : public CacheFolder {
 public:
  TimedFolder(std::unique_ptr<CacheFolder> folder, FileSystemCalls& calls)
      : folder_(std::move(folder)), calls_(calls) {}
  std::vector<CacheFileInfo> List() override {
    const double started = NowMs();
    std::vector<CacheFileInfo> listing = folder_->List();
    calls_.listMs += NowMs() - started;
    return listing;
  }
  std::unique_ptr<CacheFile> Open(std::string_view name) override {
    const double started = NowMs();
    std::unique_ptr<CacheFile> file = folder_->Open(name);
    calls_.openMs += NowMs() - started;
    ++calls_.opens;
    if (!file) return nullptr;
    return std::make_unique<TimedFile>(std::move(file), calls_);
  }
  std::string Path() const override { return folder_->Path(); }

 private:
  std::unique_ptr<CacheFolder> folder_;
  FileSystemCalls& calls_;
};

// The scan's reading of one cache folder (as ScanPlacesRead does it) with
// its calls to the file system timed.
double TimedScanMs(const std::wstring& folder, FileSystemCalls& calls) {
  const double started = NowMs();
  auto disk = DiskCacheFolderOpen(Utf16View(folder), AnsiFromWide(folder));
  if (!disk) return 0;
  ListedCacheFolder listed(std::make_unique<TimedFolder>(std::move(disk), calls));
  const std::vector<ScannedMedia> media = CacheMediaElements(listed);
  return media.empty() ? 0 : NowMs() - started;
}

struct Split {
  double scan = 0;
  FileSystemCalls calls;
};

// One row of the split; the listing columns follow on the fastest scan's row.
void SplitPrint(const std::string& label, std::size_t files, const Split& split) {
  const FileSystemCalls& calls = split.calls;
  const double rest = split.scan - calls.listMs - calls.openMs - calls.sizeMs - calls.readMs - calls.closeMs;
  char opens[32], sizes[32], reads[32];
  std::snprintf(opens, sizeof opens, "%.1f (%d)", calls.openMs, calls.opens);
  std::snprintf(sizes, sizeof sizes, "%.1f (%d)", calls.sizeMs, calls.sizes);
  std::snprintf(reads, sizeof reads, "%.1f (%d)", calls.readMs, calls.reads);
  std::printf("%8s %9.1f %16s %14s %16s %9.1f %9.1f %9.1f", label.c_str(), split.scan, opens, sizes, reads,
              calls.closeMs, calls.listMs, rest);
  if (label == "first") std::printf("   (%zu files)\n", files);
}

// One listing of the folder's files; `basic` asks for no short names and
// large fetches.
double ListingMs(const std::wstring& folder, bool basic, std::size_t& files) {
  const double started = NowMs();
  WIN32_FIND_DATAW found{};
  const HANDLE find = basic ? FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                               FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH)
                            : FindFirstFileW((folder + L"\\*").c_str(), &found);
  files = 0;
  if (find == INVALID_HANDLE_VALUE) return 0;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++files;
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return NowMs() - started;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  bool keep = false, existing = false, splitFirst = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--keep") {
      keep = true;
    } else if (argument == "--existing") {
      existing = true;
    } else if (argument == "--split-first") {
      splitFirst = true;
    } else {
      sizes.push_back(std::atoi(argv[i]));
    }
  }
  if (sizes.empty()) sizes = {1000, 10000};
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::printf("%8s %8s %10s %10s %8s %10s %10s %10s\n", "entries", "media", "build", "scan", "report",
              "rescan", "(worst)", "floor");
  std::vector<std::pair<std::wstring, Split>> breakdowns;
  for (const int entries : sizes) {
    const std::wstring folder = std::wstring(temp) + L"ee_scan_bench_" + std::to_wstring(entries);
    double started = NowMs();
    if (existing ? GetFileAttributesW((folder + L"\\index").c_str()) == INVALID_FILE_ATTRIBUTES
                 : !CacheBuild(folder, entries)) {
      std::printf("cannot %s the cache in %ls\n", existing ? "find" : "build", folder.c_str());
      return 1;
    }
    const double built = existing ? 0 : NowMs() - started;
    const std::vector<ScanPlace> places = {NamedScanPlace(folder)};
    // With --split-first the process's first scan is made through the timed
    // folder, and the one after it only gives the report its rows.
    Split first;
    if (splitFirst) first.scan = TimedScanMs(folder, first.calls);
    started = NowMs();
    std::vector<ScanFolder> scanned = ScanPlacesRead(places, ScanClassFilter::All);
    const double scan = splitFirst ? first.scan : NowMs() - started;
    started = NowMs();
    const std::string report = ReportText(ScanReportRows(scanned), ReportSeparator::Comma);
    const double reporting = NowMs() - started;
    // Again, with the files in the system's cache as a second run finds them;
    // best and worst of a few, as other work on the machine comes and goes.
    std::vector<double> rescans, floors;
    for (int run = 0; run < kRepeats; ++run) {
      started = NowMs();
      scanned = ScanPlacesRead(places, ScanClassFilter::All);
      rescans.push_back(NowMs() - started);
      floors.push_back(OpenEveryFileMs(folder));
    }
    std::size_t media = 0;
    for (const ScanFolder& found : scanned) media += found.media.size();
    std::printf("%8d %8zu %10.1f %10.1f %8.1f %10.1f %10.1f %10.1f   (report %zu bytes)\n", entries, media,
                built, scan, reporting, Percentile(rescans, 0), Percentile(rescans, 1), Percentile(floors, 0),
                report.size());
    scanned.clear();
    breakdowns.push_back({folder, first});
  }
  std::printf("\nwhere the time of the fastest of %d more scans goes (count in brackets)\n", kRepeats);
  std::printf("%8s %9s %16s %14s %16s %9s %9s %9s %12s %12s\n", "files", "scan", "opens", "sizes", "reads",
              "closes", "listing", "rest", "FindFirst", "FindFirstEx");
  for (const auto& [folder, first] : breakdowns) {
    Split fastest;
    for (int run = 0; run < kRepeats; ++run) {
      Split split;
      split.scan = TimedScanMs(folder, split.calls);
      if (run == 0 || split.scan < fastest.scan) fastest = split;
    }
    std::size_t files = 0, basicFiles = 0;
    const double plain = ListingMs(folder, false, files);
    const double basic = ListingMs(folder, true, basicFiles);
    if (splitFirst) SplitPrint("first", files, first);
    SplitPrint(std::to_string(files), files, fastest);
    std::printf(" %12.1f %12.1f%s\n", plain, basic, files == basicFiles ? "" : " (differ)");
    if (!keep) RemoveTree(folder);
  }
  return 0;
}
