#include "app/browser_caches/cache_folder_memory.h"

#include <algorithm>
#include <cstring>

namespace {

// Reads through to the folder's current bytes, so a file that grows or
// shrinks after opening behaves as a file on disk does.
class MemoryCacheFile : public CacheFile {
 public:
  MemoryCacheFile(std::shared_ptr<const std::vector<std::uint8_t>> bytes,
                  std::shared_ptr<std::size_t> openNow)
      : owned_(std::move(bytes)), openNow_(std::move(openNow)) {
    ++*openNow_;
  }
  ~MemoryCacheFile() override { --*openNow_; }
  MemoryCacheFile(const MemoryCacheFile&) = delete;
  MemoryCacheFile& operator=(const MemoryCacheFile&) = delete;
  std::uint64_t Size() override { return bytes_.size(); }
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
    if (offset >= bytes_.size()) return 0;
    const std::size_t taken =
        static_cast<std::size_t>(std::min<std::uint64_t>(count, bytes_.size() - offset));
    if (taken != 0) std::memcpy(buffer, bytes_.data() + offset, taken);
    return taken;
  }

 private:
  std::shared_ptr<const std::vector<std::uint8_t>> owned_;
  const std::vector<std::uint8_t>& bytes_ = *owned_;
  std::shared_ptr<std::size_t> openNow_;
};

}  // namespace

void MemoryCacheFolder::Put(std::string name, std::vector<std::uint8_t> bytes, std::uint64_t lastWritten) {
  File& file = files_[std::move(name)];
  if (file.bytes) {
    *file.bytes = std::move(bytes);  // open files see the new bytes, as on disk
  } else {
    file.bytes = std::make_shared<std::vector<std::uint8_t>>(std::move(bytes));
  }
  file.lastWritten = lastWritten;
}

void MemoryCacheFolder::Remove(const std::string& name) { files_.erase(name); }

std::vector<std::uint8_t>* MemoryCacheFolder::Bytes(const std::string& name) {
  const auto found = files_.find(name);
  return found == files_.end() ? nullptr : found->second.bytes.get();
}

std::vector<CacheFileInfo> MemoryCacheFolder::List() {
  std::vector<CacheFileInfo> infos;
  for (const auto& [name, file] : files_) infos.push_back({name, file.bytes->size(), file.lastWritten});
  return infos;
}

std::unique_ptr<CacheFile> MemoryCacheFolder::Open(std::string_view name) {
  const auto found = files_.find(name);
  if (found == files_.end()) return nullptr;
  ++openCount_;
  return std::make_unique<MemoryCacheFile>(found->second.bytes, openNow_);
}
