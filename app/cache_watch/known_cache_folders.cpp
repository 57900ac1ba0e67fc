#include "app/cache_watch/known_cache_folders.h"

#include <windows.h>

#include <string>

#include "app/command_line/scan_places.h"

namespace {

std::string AnsiOf(const std::wstring& text) {
  if (text.empty()) return {};
  const int length = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
  if (length <= 0) return {};
  std::string ansi(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), ansi.data(), length, nullptr,
                      nullptr);
  return ansi;
}

// `path` lies in `folder` (which ends in a separator), compared as the
// file system does: without regard to case.
bool Below(const std::string& path, std::string_view folder) {
  if (folder.empty() || path.size() <= folder.size()) return false;
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path.data(), static_cast<int>(folder.size()),
                        folder.data(), static_cast<int>(folder.size())) == CSTR_EQUAL;
}

}  // namespace

std::vector<CacheFolderName> KnownCacheFoldersBelow(std::string_view watchedFolder) {
  std::vector<CacheFolderName> folders;
  for (const ScanPlace& place : KnownBrowserScanPlaces()) {
    if (place.kind != ScanPlaceKind::BrowserCache || place.firefox) continue;
    CacheFolderName name;
    name.exact.assign(place.path.begin(), place.path.end());
    name.ansi = AnsiOf(place.path);
    if (Below(name.ansi, watchedFolder)) folders.push_back(std::move(name));
  }
  return folders;
}
