#include "app/cache_watch/look_files.h"

namespace {

// One open file lent to a reader; the look keeps it.
class SharedFile final : public CacheFile {
 public:
  explicit SharedFile(std::shared_ptr<CacheFile> file) : file_(std::move(file)) {}
  std::uint64_t Size() override { return file_->Size(); }
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
    return file_->ReadAt(offset, buffer, count);
  }

 private:
  std::shared_ptr<CacheFile> file_;
};

// The index and the block files: a handful, read by every entry.  The
// others ("f_" files, one per large body) are opened as before, so a look
// over many candidates never holds more than these few files.
bool Kept(std::string_view name) {
  return name == "index" || (name.size() > 5 && name.substr(0, 5) == "data_");
}

}  // namespace

std::unique_ptr<CacheFile> LookFiles::Open(std::string_view name) {
  if (!Kept(name)) return folder_.Open(name);
  auto found = open_.find(name);
  if (found == open_.end()) {
    std::shared_ptr<CacheFile> file = folder_.Open(name);
    if (!file) return nullptr;
    found = open_.emplace(std::string(name), std::move(file)).first;
  }
  return std::make_unique<SharedFile>(found->second);
}
