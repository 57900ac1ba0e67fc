// Where browsers keep their disk caches below a user's application-data
// folders.  The Chromium family is large (Chrome, Edge, 360, QQ, Sogou,
// 2345, Brave, Vivaldi, Opera, Yandex...) and all of it keeps the same two
// stores, each browser under a folder of its own, one cache per profile
// ("Default", "Profile 1"...) plus one per Service Worker cache.  The
// browsers known by name come first, named as users know them; then a
// bounded search of both application-data folders finds any other folder
// laid out as a Chromium cache or a Firefox cache2, named by the folder it
// sits in.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/browser_caches/folder_tree.h"

struct CachePlace {
  std::u16string path;  // the Chromium cache folder, or Firefox's cache2\entries
  std::string browser;  // UTF-8
  bool firefox = false;
};

struct AppDataFolders {
  std::u16string local;    // %LOCALAPPDATA%; empty when unknown
  std::u16string roaming;  // %APPDATA%; empty when unknown
};

struct CacheSearchBounds {
  // Folders below an application-data folder: a Service Worker cache sits
  // eight deep (Google, Chrome, User Data, Default, Service Worker,
  // CacheStorage, the site, the cache).
  int depth = 9;
  std::size_t folders = 200000;  // listed, both folders together
  // Threads listing a level's folders at once; 0: one a processor, up to
  // four (two halved the search on a quiet machine, docs/performance.md).
  unsigned threads = 0;
  std::function<bool()> timeUp;  // asked before each folder, one call at a time; none: no time bound
};

struct CachePlaces {
  std::vector<CachePlace> places;
  bool searchCutShort = false;  // a bound ended the search
  std::size_t foldersListed = 0;
};

// The known browsers' caches only: cheap, a few folders listed per browser.
CachePlaces KnownBrowserCachePlaces(FolderTree& tree, const AppDataFolders& roots);
// The known ones and what the search finds besides, each folder once.
CachePlaces BrowserCachePlaces(FolderTree& tree, const AppDataFolders& roots,
                               const CacheSearchBounds& bounds = {});

// The browser a cache path belongs to, by the known browsers' folders
// ("...\Tencent\QQBrowser\User Data\..." is QQ浏览器); empty when none.
std::string BrowserOfCachePath(std::u16string_view path);
