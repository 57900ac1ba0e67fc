// A block-file cache folder whose index and data_N files stay open for one
// look: every read of a look (the news walk, each candidate's element, its
// signature) opened them again, and opening is what a look of many small
// entries spends most on.  Sizes and bytes are read live, as before;
// the files are let go when the look ends, so the browser is never kept from
// deleting or replacing one for longer than a look.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/browser_caches/cache_files.h"

class LookFiles final : public CacheFolder {
 public:
  explicit LookFiles(CacheFolder& folder) : folder_(folder) {}
  LookFiles(const LookFiles&) = delete;
  LookFiles& operator=(const LookFiles&) = delete;

  std::vector<CacheFileInfo> List() override { return folder_.List(); }
  // A file that cannot be opened is tried again at the next call.
  std::unique_ptr<CacheFile> Open(std::string_view name) override;
  std::string Path() const override { return folder_.Path(); }

 private:
  CacheFolder& folder_;
  std::map<std::string, std::shared_ptr<CacheFile>, std::less<>> open_;
};
