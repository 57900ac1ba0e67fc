// Prints how long finding the browsers' caches takes when the application
// data folders hold many folders: 10,000 folders below a made-up
// %LOCALAPPDATA% (100 vendors of 100 folders, a few levels deep), with a
// Chromium cache in a known browser's place and one in an unknown fork's,
// and 1,000 below %APPDATA%.  "known" is the known browsers alone (what a
// watch's start asks), "all" adds the bounded search (what a scan asks);
// best and worst of five, in milliseconds.  Run by hand (under Wine or
// Windows):
//   wine build/win32/bench/cache_places_bench.exe [folders]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/command_line/scan_places.h"
#include "bench/bench_support.h"

namespace {

void FolderMake(const std::wstring& path) { CreateDirectoryW(path.c_str(), nullptr); }

void FileMake(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

void CacheMake(const std::wstring& folder) {
  for (const wchar_t* name : {L"index", L"data_0", L"data_1", L"data_2", L"data_3"})
    FileMake(folder + L"\\" + name);
}

void PathMake(const std::wstring& path) {
  for (std::size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
    FolderMake(path.substr(0, at));
  FolderMake(path);
}

// `count` folders below `root`: vendors of 100, each holding folders of 10
// with one more level below, as programs' data folders are laid out.
void FoldersMake(const std::wstring& root, int count) {
  int made = 0;
  for (int vendor = 0; made < count; ++vendor) {
    const std::wstring v = root + L"\\Vendor" + std::to_wstring(vendor);
    FolderMake(v);
    ++made;
    for (int app = 0; app < 10 && made < count; ++app) {
      const std::wstring a = v + L"\\App" + std::to_wstring(app);
      FolderMake(a);
      ++made;
      for (int part = 0; part < 9 && made < count; ++part, ++made)
        FolderMake(a + L"\\Part" + std::to_wstring(part));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int folders = argc > 1 ? std::atoi(argv[1]) : 10000;
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring base = std::wstring(temp) + L"ee_places_bench";
  RemoveTree(base);
  const std::wstring local = base + L"\\Local", roaming = base + L"\\Roaming";
  PathMake(local);
  PathMake(roaming);
  FoldersMake(local, folders);
  FoldersMake(roaming, folders / 10);
  const std::wstring chrome = local + L"\\Google\\Chrome\\User Data\\Default\\Cache\\Cache_Data";
  const std::wstring fork = local + L"\\Vendor99\\Fork\\User Data\\Default\\Cache\\Cache_Data";
  PathMake(chrome);
  CacheMake(chrome);
  PathMake(fork);
  CacheMake(fork);
  SetEnvironmentVariableW(L"LOCALAPPDATA", local.c_str());
  SetEnvironmentVariableW(L"APPDATA", roaming.c_str());

  std::printf("folders below LOCALAPPDATA: %d, below APPDATA: %d\n", folders, folders / 10);
  for (const bool search : {false, true}) {
    double best = 1e18, worst = 0;
    std::size_t places = 0;
    for (int run = 0; run < 5; ++run) {
      const double start = NowMs();
      places = (search ? DefaultScanPlaces() : KnownBrowserScanPlaces()).size();
      const double took = NowMs() - start;
      best = std::min(best, took);
      worst = std::max(worst, took);
    }
    std::printf("%-6s places %zu  best %8.1f ms  worst %8.1f ms\n", search ? "all" : "known", places, best,
                worst);
  }
  RemoveTree(base);
  return 0;
}
