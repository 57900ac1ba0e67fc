// Lends a folder the test keeps owning to an opener that hands out its own.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/browser_caches/cache_files.h"

class CacheFolderRef final : public CacheFolder {
 public:
  explicit CacheFolderRef(CacheFolder& target) : target_(target) {}
  std::vector<CacheFileInfo> List() override { return target_.List(); }
  std::unique_ptr<CacheFile> Open(std::string_view name) override { return target_.Open(name); }
  std::string Path() const override { return target_.Path(); }

 private:
  CacheFolder& target_;
};
