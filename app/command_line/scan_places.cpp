#include "app/command_line/scan_places.h"

#include <windows.h>

#include <shlobj.h>

#include <algorithm>

#include "runtime/core/handles.h"

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

std::wstring LocalAppData() {
  std::wstring folder = EnvironmentWide(L"LOCALAPPDATA");
  if (folder.empty()) folder = SpecialFolder(CSIDL_LOCAL_APPDATA);
  while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  return folder;
}

std::wstring Lower(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
  });
  return text;
}

std::string BrowserOfPath(const std::wstring& path) {
  const std::wstring lower = Lower(path);
  if (lower.find(L"\\google\\chrome") != std::wstring::npos) return "Chrome";
  if (lower.find(L"\\microsoft\\edge") != std::wstring::npos) return "Edge";
  if (lower.find(L"\\chromium\\") != std::wstring::npos) return "Chromium";
  if (lower.find(L"\\cache2\\entries") != std::wstring::npos) return "Firefox";
  return {};
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A Chromium cache folder holds its index (either store); a Firefox entries
// folder sits in cache2.
bool LooksLikeBrowserCache(const std::wstring& folder) {
  if (FileExists(folder + L"\\index")) return true;
  const std::wstring lower = Lower(folder);
  return lower.size() >= 15 && lower.compare(lower.size() - 15, 15, L"\\cache2\\entries") == 0;
}

}  // namespace

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
  std::vector<ScanPlace> places;
  const std::wstring local = LocalAppData();
  if (!local.empty()) {
    const struct {
      const wchar_t* userData;
      const char* browser;
    } chromiumFamily[] = {{L"\\Google\\Chrome\\User Data", "Chrome"},
                          {L"\\Microsoft\\Edge\\User Data", "Edge"},
                          {L"\\Chromium\\User Data", "Chromium"}};
    for (const auto& family : chromiumFamily) {
      const std::wstring userData = local + family.userData;
      for (const std::wstring& profile : SubfolderNames(userData)) {
        // Cache_Data since Chrome 85; the cache folder itself before.
        for (const wchar_t* cache : {L"\\Cache\\Cache_Data", L"\\Cache"}) {
          const std::wstring folder = userData + L"\\" + profile + cache;
          if (!FileExists(folder + L"\\index")) continue;
          places.push_back({folder, family.browser, ScanPlaceKind::BrowserCache});
          break;
        }
      }
    }
    const std::wstring profiles = local + L"\\Mozilla\\Firefox\\Profiles";
    for (const std::wstring& profile : SubfolderNames(profiles)) {
      const std::wstring entries = profiles + L"\\" + profile + L"\\cache2\\entries";
      if (FolderExists(entries)) places.push_back({entries, "Firefox", ScanPlaceKind::BrowserCache});
    }
  }
  const std::wstring oldCache = SpecialFolder(CSIDL_INTERNET_CACHE);
  if (!oldCache.empty() && FolderExists(oldCache))
    places.push_back({oldCache, "Internet Explorer", ScanPlaceKind::MediaFiles});
  return places;
}

ScanPlace NamedScanPlace(const std::wstring& folder) {
  std::wstring path = folder;
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  if (LooksLikeBrowserCache(path)) return {path, BrowserOfPath(path), ScanPlaceKind::BrowserCache};
  const std::wstring lower = Lower(path);
  if (lower.size() >= 7 && lower.compare(lower.size() - 7, 7, L"\\cache2") == 0 &&
      FolderExists(path + L"\\entries"))
    return {path + L"\\entries", "Firefox", ScanPlaceKind::BrowserCache};
  return {path, BrowserOfPath(path), ScanPlaceKind::MediaFiles};
}
