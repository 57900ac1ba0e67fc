// A cache folder held in memory: hand-built caches in the tests and fuzz
// inputs split into files.  Files can be changed between reads to stand in
// for a browser writing.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/browser_caches/cache_files.h"

class MemoryCacheFolder : public CacheFolder {
 public:
  // The path matters to readers that tell a store by its folder's name.
  explicit MemoryCacheFolder(std::string path = "memory") : path_(std::move(path)) {}

  // Sets (replaces) a file's bytes.
  void Put(std::string name, std::vector<std::uint8_t> bytes, std::uint64_t lastWritten = 0);
  void Remove(const std::string& name);
  // The file's bytes, for edits; null when there is no such file.
  std::vector<std::uint8_t>* Bytes(const std::string& name);

  std::vector<CacheFileInfo> List() override;
  std::unique_ptr<CacheFile> Open(std::string_view name) override;
  std::string Path() const override { return path_; }
  // How many files were opened so far (tests check the cost of a read).
  std::size_t OpenCount() const { return openCount_; }
  // How many of them are open now (tests check that files are let go).
  std::size_t OpenNow() const { return *openNow_; }

 private:
  struct File {
    // Shared with open files: a file removed while open keeps its bytes.
    std::shared_ptr<std::vector<std::uint8_t>> bytes;
    std::uint64_t lastWritten = 0;
  };
  std::string path_;
  std::map<std::string, File, std::less<>> files_;
  std::size_t openCount_ = 0;
  // Counted by the open files themselves, which may outlive the folder.
  std::shared_ptr<std::size_t> openNow_ = std::make_shared<std::size_t>(0);
};
