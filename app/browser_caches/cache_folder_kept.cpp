#include "app/browser_caches/cache_folder_kept.h"

#include <algorithm>

namespace {

// One holder of a file that others may hold too.
class SharedCacheFile : public CacheFile {
 public:
  explicit SharedCacheFile(std::shared_ptr<CacheFile> file) : file_(std::move(file)) {}
  std::uint64_t Size() override { return file_->Size(); }
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
    return file_->ReadAt(offset, buffer, count);
  }

 private:
  std::shared_ptr<CacheFile> file_;
};

}  // namespace

KeptOpenCacheFolder::KeptOpenCacheFolder(CacheFolder& folder, std::size_t recent)
    : folder_(folder), recentLimit_(recent) {}

std::unique_ptr<CacheFile> KeptOpenCacheFolder::Open(std::string_view name) {
  std::shared_ptr<CacheFile> file;
  const auto found = open_.find(name);
  if (found != open_.end()) file = found->second.lock();
  if (!file) {
    std::unique_ptr<CacheFile> opened = folder_.Open(name);
    if (!opened) {
      if (found != open_.end()) open_.erase(found);
      return nullptr;
    }
    file = std::move(opened);
    if (found != open_.end()) {
      found->second = file;
    } else {
      open_.emplace(std::string(name), file);
    }
  }
  const auto again = std::find(recent_.begin(), recent_.end(), file);
  if (again != recent_.end()) recent_.erase(again);
  recent_.push_back(file);
  while (recent_.size() > recentLimit_) recent_.pop_front();
  // Names of files nobody holds any more go now and then, so that a pass over
  // a large folder keeps few of them.
  if (open_.size() >= sweepAt_) {
    std::erase_if(open_, [](const auto& entry) { return entry.second.expired(); });
    sweepAt_ = std::max<std::size_t>(64, 2 * open_.size());
  }
  return std::make_unique<SharedCacheFile>(std::move(file));
}
