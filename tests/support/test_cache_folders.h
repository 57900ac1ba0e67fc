// A cache folder on disk for the readers' tests over caches a real browser
// wrote, through the standard library so that it reads the same natively and
// under Wine.
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
#include "app/browser_caches/cache_folder_memory.h"

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
