#include "app/command_line/listed_cache_folder.h"

#include <algorithm>

#include "runtime/core/text_encoding.h"

bool ListedCacheFolder::NameLess::operator()(std::string_view left, std::string_view right) const {
  return AsciiLessFold(left, right);
}

ListedCacheFolder::ListedCacheFolder(std::unique_ptr<CacheFolder> folder)
    : folder_(std::move(folder)), listing_(folder_->List()) {
  for (const CacheFileInfo& file : listing_) names_.insert(file.name);
}

std::unique_ptr<CacheFile> ListedCacheFolder::Open(std::string_view name) {
  const auto listed = names_.find(name);
  if (listed == names_.end()) return nullptr;
  return folder_->Open(*listed);
}
