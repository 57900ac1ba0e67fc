// The files of one browser cache folder as the readers see them.  The
// readers never touch the file system themselves: the program hands them a
// folder that opens files with read, write and delete sharing (the browser
// keeps its cache files open), the native tests a folder on disk and the
// fuzz targets a folder held in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One open cache file.  Its size may grow (or shrink) while it is open:
// every read says how many bytes it really got.
class CacheFile {
 public:
  virtual ~CacheFile() = default;
  // The size now.
  virtual std::uint64_t Size() = 0;
  // Reads up to `count` bytes at `offset`; returns how many were read (0 past
  // the end or on a failure).
  virtual std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) = 0;
};

struct CacheFileInfo {
  std::string name;  // file name only, as in the folder
  std::uint64_t size = 0;
  std::uint64_t lastWritten = 0;  // 100 ns units since 1601 (UTC); 0 when unknown
};

// A folder of cache files (not recursive: the stores keep every file of a
// cache in one folder).
class CacheFolder {
 public:
  virtual ~CacheFolder() = default;
  // Every plain file of the folder, in no particular order.
  virtual std::vector<CacheFileInfo> List() = 0;
  // Opens one file of the folder by name; null when it cannot be opened.
  virtual std::unique_ptr<CacheFile> Open(std::string_view name) = 0;
  // The folder's path, for reports and prompts.
  virtual std::string Path() const = 0;
};
