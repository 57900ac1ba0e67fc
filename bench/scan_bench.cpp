// Prints how long the command-line scan takes over a hand-built Chromium
// simple cache of 1,000 and 10,000 entries on disk (a third of them video
// bodies, the rest pages and scripts), as the program reads it: folder
// listing, each entry's header and stored response, the first bytes of each
// body for its type, and the report.  "floor" is what opening each file
// once, reading its first 4 KiB and closing it costs on the same folder.  Run by hand (under Wine or
// Windows):
//   wine build/win32/bench/scan_bench.exe [entries...]
#include <windows.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line/message_output.h"
#include "app/command_line/scan_places.h"
#include "app/command_line/scan_reading.h"
#include "app/command_line/scan_report.h"
#include "bench/bench_support.h"
#include "tests/portable/chromium_cache_builders.h"

namespace {

constexpr std::size_t kBodyBytes = 64 * 1024;

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

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {1000, 10000};
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::printf("%8s %8s %12s %12s %12s %12s %12s\n", "entries", "media", "build ms", "scan ms", "report ms",
              "rescan ms", "floor ms");
  for (const int entries : sizes) {
    const std::wstring folder = std::wstring(temp) + L"ee_scan_bench_" + std::to_wstring(entries);
    double started = NowMs();
    if (!CacheBuild(folder, entries)) {
      std::printf("cannot build the cache in %ls\n", folder.c_str());
      return 1;
    }
    const double built = NowMs() - started;
    const std::vector<ScanPlace> places = {NamedScanPlace(folder)};
    started = NowMs();
    std::vector<ScanFolder> scanned = ScanPlacesRead(places, ScanClassFilter::All);
    const double scan = NowMs() - started;
    started = NowMs();
    const std::string report = ReportText(ScanReportRows(scanned), ReportSeparator::Comma);
    const double reporting = NowMs() - started;
    // Again, with the files in the system's cache as a second run finds them.
    started = NowMs();
    scanned = ScanPlacesRead(places, ScanClassFilter::All);
    const double rescan = NowMs() - started;
    const double floor = OpenEveryFileMs(folder);
    std::size_t media = 0;
    for (const ScanFolder& found : scanned) media += found.media.size();
    std::printf("%8d %8zu %12.1f %12.1f %12.1f %12.1f %12.1f   (report %zu bytes)\n", entries, media, built,
                scan, reporting, rescan, floor, report.size());
    scanned.clear();
    RemoveTree(folder);
  }
  return 0;
}
