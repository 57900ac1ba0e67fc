#include "app/command_line/listed_cache_folder.h"

#include <algorithm>

namespace {

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool ListedCacheFolder::NameLess::operator()(std::string_view left, std::string_view right) const {
  return std::lexicographical_compare(left.begin(), left.end(), right.begin(), right.end(),
                                      [](char a, char b) { return AsciiLower(a) < AsciiLower(b); });
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
