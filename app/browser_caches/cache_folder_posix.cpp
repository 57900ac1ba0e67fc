// The native build's cache folder: tests over real caches made by the real
// browser.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "app/browser_caches/cache_folder_disk.h"

namespace {

class PosixCacheFile : public CacheFile {
 public:
  explicit PosixCacheFile(int descriptor) : descriptor_(descriptor) {}
  ~PosixCacheFile() override { close(descriptor_); }
  PosixCacheFile(const PosixCacheFile&) = delete;
  PosixCacheFile& operator=(const PosixCacheFile&) = delete;

  std::uint64_t Size() override {
    struct stat status {};
    return fstat(descriptor_, &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
  }

  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
    std::size_t done = 0;
    while (done < count) {
      const ssize_t got = pread(descriptor_, static_cast<char*>(buffer) + done, count - done,
                                static_cast<off_t>(offset + done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
    }
    return done;
  }

 private:
  int descriptor_;
};

class PosixCacheFolder : public CacheFolder {
 public:
  explicit PosixCacheFolder(std::string path) : path_(std::move(path)) {}

  std::vector<CacheFileInfo> List() override {
    std::vector<CacheFileInfo> infos;
    DIR* folder = opendir(path_.c_str());
    if (folder == nullptr) return infos;
    while (const dirent* item = readdir(folder)) {
      struct stat status {};
      const std::string full = path_ + "/" + item->d_name;
      if (stat(full.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) continue;
      // 100 ns units since 1601, as on Windows.
      const std::uint64_t unixTicks = static_cast<std::uint64_t>(status.st_mtim.tv_sec) * 10000000u +
                                      static_cast<std::uint64_t>(status.st_mtim.tv_nsec) / 100u;
      infos.push_back(
          {item->d_name, static_cast<std::uint64_t>(status.st_size), unixTicks + 116444736000000000ull});
    }
    closedir(folder);
    return infos;
  }

  std::unique_ptr<CacheFile> Open(std::string_view name) override {
    if (name.find('/') != std::string_view::npos) return nullptr;
    const std::string full = path_ + "/" + std::string(name);
    const int descriptor = open(full.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return nullptr;
    return std::make_unique<PosixCacheFile>(descriptor);
  }

  std::string Path() const override { return path_; }

 private:
  std::string path_;
};

}  // namespace

std::unique_ptr<CacheFolder> DiskCacheFolderOpen(std::string path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return nullptr;
  return std::make_unique<PosixCacheFolder>(std::move(path));
}
