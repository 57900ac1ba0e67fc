#include "app/cache_watch/known_cache_folders.h"

#include <windows.h>

#include <string>

#include "app/command_line/scan_places.h"
#include "runtime/core/text_encoding_wide.h"

namespace {

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
    name.ansi = AnsiFromWide(place.path);
    if (Below(name.ansi, watchedFolder)) folders.push_back(std::move(name));
  }
  return folders;
}
