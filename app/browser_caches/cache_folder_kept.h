// A folder seen through one pass of reading: the files opened through it
// stay open while anyone holds them and for a few opens after, and opening
// such a file again hands out the same open file.  A reader opens an entry
// for its header and the pass looks at the body's first bytes straight
// after; under Wine the open and close cost more than those small reads, so
// sharing the open halves the cost of a large cache.  The files stay open at
// most until the folder goes: a browser that deletes one meanwhile sees it go
// then (Windows keeps a deleted file until its last handle closes), so this
// is for one pass over a folder, not for holding a folder.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/browser_caches/cache_files.h"

class KeptOpenCacheFolder : public CacheFolder {
 public:
  // `folder` must outlive this one; `recent` files are kept open after their
  // last holder lets go.
  KeptOpenCacheFolder(CacheFolder& folder, std::size_t recent);

  std::vector<CacheFileInfo> List() override { return folder_.List(); }
  std::unique_ptr<CacheFile> Open(std::string_view name) override;
  std::string Path() const override { return folder_.Path(); }

 private:
  CacheFolder& folder_;
  std::size_t recentLimit_;
  // Every file opened and still held somewhere, by the name it was asked by.
  std::map<std::string, std::weak_ptr<CacheFile>, std::less<>> open_;
  std::size_t sweepAt_ = 64;
  // The last files asked for, newest at the back.
  std::deque<std::shared_ptr<CacheFile>> recent_;
};
