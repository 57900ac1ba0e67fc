// Prints how long finding the browsers' caches takes when the application
// data folders hold many folders: 10,000 folders below a made-up
// %LOCALAPPDATA% (100 vendors of 100 folders, a few levels deep), with a
// Chromium cache in a known browser's place and one in an unknown fork's,
// and 1,000 below %APPDATA%.  "known" is the known browsers alone (what a
// watch's start asks), "all" adds the bounded search (what a scan asks);
// then the search unbounded in time by the threads listing at once, and
// the bare listing of every folder; best and worst of five, in
// milliseconds.  Run by hand (under Wine or
// Windows):
//   wine build/win32/bench/cache_places_bench.exe [folders]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/browser_caches/folder_tree_disk.h"
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

// Every folder below `folder` listed once, as the search lists it; the
// number listed.
std::size_t ListingWalk(const std::wstring& folder) {
  std::size_t listed = 1;
  WIN32_FIND_DATAW found{};
  HANDLE find = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                 nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return listed;
  std::vector<std::wstring> below;
  do {
    const std::wstring_view name = found.cFileName;
    if (name != L"." && name != L".." && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      below.push_back(folder + L"\\" + std::wstring(name));
  } while (FindNextFileW(find, &found));
  FindClose(find);
  for (const std::wstring& path : below) listed += ListingWalk(path);
  return listed;
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
  const auto measure = [](const char* what, auto run) {
    double best = 1e18, worst = 0;
    std::size_t found = 0;
    for (int round = 0; round < 5; ++round) {
      const double start = NowMs();
      found = run();
      const double took = NowMs() - start;
      best = std::min(best, took);
      worst = std::max(worst, took);
    }
    std::printf("%-22s %6zu  best %8.1f ms  worst %8.1f ms\n", what, found, best, worst);
  };
  measure("known (places)", [] { return KnownBrowserScanPlaces().size(); });
  measure("all (places)", [] { return DefaultScanPlaces().size(); });
  // The search without its time bound, by threads listing at once, and
  // the bare Win32 listing of the same folders: what the search cannot go
  // below on this system.
  for (const unsigned threads : {1u, 2u, 4u}) {
    char what[40];
    std::snprintf(what, sizeof what, "search, %u thread(s)", threads);
    measure(what, [threads] {
      DiskFolderTree tree;
      CacheSearchBounds bounds;
      bounds.threads = threads;
      return BrowserCachePlaces(tree, AppDataRoots(), bounds).foldersListed;
    });
  }
  measure("Win32 listing (folders)", [&] { return ListingWalk(local) + ListingWalk(roaming); });
  RemoveTree(base);
  return 0;
}
