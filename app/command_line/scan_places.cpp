#include "app/command_line/scan_places.h"

#include <windows.h>

#include <shlobj.h>

#include <algorithm>

#include "app/browser_caches/folder_tree_disk.h"
#include "runtime/core/handles.h"
#include "runtime/core/text_encoding_wide.h"

namespace {

std::wstring EnvironmentWide(const wchar_t* name) {
  // The wide call: the ANSI one cuts values with double-byte characters short under Wine.
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
  value.resize(length < size ? length : 0);
  return value;
}

std::wstring SpecialFolder(int folderId) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, folderId, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return path;
}

std::wstring AppDataFolder(const wchar_t* variable, int folderId) {
  std::wstring folder = EnvironmentWide(variable);
  if (folder.empty()) folder = SpecialFolder(folderId);
  while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  return folder;
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::vector<ScanPlace> ScanPlacesOf(const CachePlaces& found) {
  std::vector<ScanPlace> places;
  for (const CachePlace& place : found.places)
    places.push_back(
        {std::wstring(WideView(place.path)), place.browser, ScanPlaceKind::BrowserCache, place.firefox});
  return places;
}

std::string BrowserOfPath(const std::wstring& path) { return BrowserOfCachePath(Utf16View(path)); }

bool EndsWithFirefoxEntries(const std::wstring& path) {
  return AsciiEndsWithFold(Utf16View(path), u"\\cache2\\entries");
}

// A Chromium cache folder holds its index (either store); a Firefox entries
// folder sits in cache2.
bool LooksLikeBrowserCache(const std::wstring& folder) {
  if (FileExists(folder + L"\\index")) return true;
  return EndsWithFirefoxEntries(folder);
}

}  // namespace

AppDataFolders AppDataRoots() {
  return {std::u16string(Utf16View(AppDataFolder(L"LOCALAPPDATA", CSIDL_LOCAL_APPDATA))),
          std::u16string(Utf16View(AppDataFolder(L"APPDATA", CSIDL_APPDATA)))};
}

bool FolderExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<std::wstring> SubfolderNames(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  FindHandle find(FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                   nullptr, 0));
  if (!find) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) continue;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
    names.push_back(name);
  } while (FindNextFileW(find.Get(), &found));
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<ScanPlace> DefaultScanPlaces() {
  DiskFolderTree tree;
  CacheSearchBounds bounds;
  // A user's application data can be huge; a scan that ends is worth more
  // than one that finds a forgotten cache a minute later.
  const ULONGLONG deadline = GetTickCount64() + 3000;
  bounds.timeUp = [deadline] { return GetTickCount64() >= deadline; };
  std::vector<ScanPlace> places = ScanPlacesOf(BrowserCachePlaces(tree, AppDataRoots(), bounds));
  const std::wstring oldCache = SpecialFolder(CSIDL_INTERNET_CACHE);
  if (!oldCache.empty() && FolderExists(oldCache))
    places.push_back({oldCache, "Internet Explorer", ScanPlaceKind::MediaFiles});
  return places;
}

std::vector<ScanPlace> KnownBrowserScanPlaces() {
  DiskFolderTree tree;
  return ScanPlacesOf(KnownBrowserCachePlaces(tree, AppDataRoots()));
}

ScanPlace NamedScanPlace(const std::wstring& folder) {
  std::wstring path = folder;
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  if (LooksLikeBrowserCache(path)) {
    return {path, BrowserOfPath(path), ScanPlaceKind::BrowserCache, EndsWithFirefoxEntries(path)};
  }
  if (AsciiEndsWithFold(Utf16View(path), u"\\cache2") && FolderExists(path + L"\\entries"))
    return {path + L"\\entries", "Firefox", ScanPlaceKind::BrowserCache, true};
  return {path, BrowserOfPath(path), ScanPlaceKind::MediaFiles};
}
