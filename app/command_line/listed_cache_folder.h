// A cache folder seen through one listing taken at the start of its scan:
// a name that was not in it is not opened at all.  Readers try names that
// may not exist ("<hash>_s" beside each "<hash>_0"); under Wine each such
// failed open searches the whole folder for a name differing only in case,
// which made a scan of a large cache quadratic in its files.  A file the
// browser adds after the listing is left for the next scan.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/browser_caches/cache_files.h"

class ListedCacheFolder : public CacheFolder {
 public:
  explicit ListedCacheFolder(std::unique_ptr<CacheFolder> folder);

  std::vector<CacheFileInfo> List() override { return listing_; }
  std::unique_ptr<CacheFile> Open(std::string_view name) override;
  std::string Path() const override { return folder_->Path(); }

 private:
  std::unique_ptr<CacheFolder> folder_;
  std::vector<CacheFileInfo> listing_;
  // Windows compares names without regard to ASCII case: a name asked for
  // opens the file of the listing it matches, spelt as listed.
  struct NameLess {
    using is_transparent = void;
    bool operator()(std::string_view left, std::string_view right) const;
  };
  std::set<std::string, NameLess> names_;
};
