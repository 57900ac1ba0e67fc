// A cache folder on disk.  On Windows it is opened by its exact (UTF-16)
// path, so that folders whose names the ANSI code page cannot spell still
// open; file names are handed out in UTF-8 (cache files are named in ASCII;
// another name never matches a cache file name); Path() gives the ANSI text
// the program shows.  Files are opened with read, write and delete sharing:
// the browser keeps its cache files open and may delete them while we read.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "app/browser_caches/cache_files.h"

#ifdef _WIN32
std::unique_ptr<CacheFolder> DiskCacheFolderOpen(std::u16string_view exactPath, std::string ansiPath);
#else
std::unique_ptr<CacheFolder> DiskCacheFolderOpen(std::string path);
#endif
