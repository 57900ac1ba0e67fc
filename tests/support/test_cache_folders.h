// Cache folders for the cache readers' tests and fuzz targets: one held in
// memory, whose files the test can grow or cut between reads, and one on
// disk for caches a real browser wrote.
#pragma once

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/browser_caches/cache_files.h"

// In a namespace of its own: the product's MemoryCacheFolder
// (app/browser_caches/cache_folder_memory.h) has the same name, and both end
// up in one test executable.
namespace test_folders {

class MemoryCacheFolder : public CacheFolder {
 public:
  using Bytes = std::vector<std::uint8_t>;

  explicit MemoryCacheFolder(std::string path) : path_(std::move(path)) {}

  // Puts (or replaces) a file; open files see the new bytes.
  void Put(const std::string& name, Bytes bytes, std::uint64_t lastWritten = 0) {
    auto& file = files_[name];
    if (!file.bytes) file.bytes = std::make_shared<Bytes>();
    *file.bytes = std::move(bytes);
    file.lastWritten = lastWritten;
  }
  Bytes& Get(const std::string& name) { return *files_.at(name).bytes; }

  std::vector<CacheFileInfo> List() override {
    std::vector<CacheFileInfo> infos;
    for (const auto& [name, file] : files_) infos.push_back({name, file.bytes->size(), file.lastWritten});
    std::reverse(infos.begin(), infos.end());  // readers must not rely on the order
    return infos;
  }
  std::unique_ptr<CacheFile> Open(std::string_view name) override {
    const auto found = files_.find(std::string(name));
    if (found == files_.end()) return nullptr;
    return std::make_unique<File>(found->second.bytes);
  }
  std::string Path() const override { return path_; }

 private:
  class File : public CacheFile {
   public:
    explicit File(std::shared_ptr<Bytes> bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t Size() override { return bytes_->size(); }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
      if (offset >= bytes_->size()) return 0;
      const std::size_t taken =
          static_cast<std::size_t>(std::min<std::uint64_t>(count, bytes_->size() - offset));
      std::memcpy(buffer, bytes_->data() + offset, taken);
      return taken;
    }

   private:
    std::shared_ptr<Bytes> bytes_;
  };
  struct Stored {
    std::shared_ptr<Bytes> bytes;
    std::uint64_t lastWritten = 0;
  };

  std::string path_;
  std::map<std::string, Stored> files_;
};

}  // namespace test_folders

using test_folders::MemoryCacheFolder;

class DiskCacheFolder : public CacheFolder {
 public:
  explicit DiskCacheFolder(std::filesystem::path path) : path_(std::move(path)) {}

  std::vector<CacheFileInfo> List() override {
    std::vector<CacheFileInfo> infos;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(path_, error)) {
      if (entry.is_regular_file(error))
        infos.push_back({entry.path().filename().string(), entry.file_size(error), 0});
    }
    return infos;
  }
  std::unique_ptr<CacheFile> Open(std::string_view name) override {
    auto file = std::make_unique<File>(path_ / std::string(name));
    if (!file->stream) return nullptr;
    return file;
  }
  std::string Path() const override { return path_.string(); }

 private:
  struct File : CacheFile {
    explicit File(const std::filesystem::path& path) : stream(path, std::ios::binary) {}
    std::uint64_t Size() override {
      stream.clear();
      stream.seekg(0, std::ios::end);
      return static_cast<std::uint64_t>(stream.tellg());
    }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
      stream.clear();
      stream.seekg(static_cast<std::streamoff>(offset));
      stream.read(static_cast<char*>(buffer), static_cast<std::streamsize>(count));
      return static_cast<std::size_t>(stream.gcount());
    }
    std::ifstream stream;
  };

  std::filesystem::path path_;
};
