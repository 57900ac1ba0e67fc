// The folders a scan reads: by default every Chromium-family browser's
// profile caches and every Firefox profile's cache2 entries below the
// application-data folders (the known browsers, then a bounded search), and
// the old browser cache folder (media files with their extension, in its
// subfolders too); or the folders the user named.
#pragma once

#include <string>
#include <vector>

#include "app/browser_caches/cache_places.h"

enum class ScanPlaceKind {
  BrowserCache,  // a Chromium cache folder or a Firefox entries folder
  MediaFiles,    // plain files, subfolders included
};

struct ScanPlace {
  std::wstring path;
  std::string browser;  // UTF-8; empty when not known
  ScanPlaceKind kind = ScanPlaceKind::BrowserCache;
  bool firefox = false;  // a Firefox (or fork's) cache2 entries folder
};

// %LOCALAPPDATA% and %APPDATA% (the shell's folders when unset).
AppDataFolders AppDataRoots();

std::vector<ScanPlace> DefaultScanPlaces();
// The known browsers' caches only: no search, for a watch's start.
std::vector<ScanPlace> KnownBrowserScanPlaces();

// A folder named on the command line: the cache folder itself, a Firefox
// cache2 folder (its entries are read), or any other folder, whose media
// files are listed.  The browser is told by the path where it can be.
ScanPlace NamedScanPlace(const std::wstring& folder);

bool FolderExists(const std::wstring& path);
// The subfolders of a folder (links to elsewhere left out).
std::vector<std::wstring> SubfolderNames(const std::wstring& folder);
