// The program's cache folder: files opened with full sharing, since the
// browser holds them open for writing (and may delete or rename them).
#include <windows.h>

#include "app/browser_caches/cache_folder_disk.h"
#include "runtime/core/handles.h"
#include "runtime/core/text_encoding_wide.h"

namespace {

// Cache file names are ASCII; others are converted for completeness.
std::string Utf8(const wchar_t* name) { return Utf8FromWide(name); }

class Win32CacheFile : public CacheFile {
 public:
  explicit Win32CacheFile(FileHandle file) : file_(std::move(file)) {}

  std::uint64_t Size() override {
    LARGE_INTEGER size{};
    return GetFileSizeEx(file_.Get(), &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
  }

  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
    std::size_t done = 0;
    while (done < count) {
      const std::uint64_t at = offset + done;
      OVERLAPPED position{};
      position.Offset = static_cast<DWORD>(at);
      position.OffsetHigh = static_cast<DWORD>(at >> 32);
      const DWORD want = static_cast<DWORD>(count - done < 0x40000000u ? count - done : 0x40000000u);
      DWORD got = 0;
      if (!ReadFile(file_.Get(), static_cast<char*>(buffer) + done, want, &got, &position) || got == 0) break;
      done += got;
    }
    return done;
  }

 private:
  FileHandle file_;
};

class Win32CacheFolder : public CacheFolder {
 public:
  Win32CacheFolder(std::wstring path, std::string ansiPath)
      : path_(std::move(path)), ansiPath_(std::move(ansiPath)) {
    if (!path_.empty() && path_.back() != L'\\' && path_.back() != L'/') path_ += L'\\';
  }

  std::vector<CacheFileInfo> List() override {
    std::vector<CacheFileInfo> infos;
    WIN32_FIND_DATAW item{};
    // No short names (never used here) and larger batches: cheaper on
    // Windows for a cache of many thousand files; the same under Wine.
    FindHandle find(FindFirstFileExW((path_ + L"*").c_str(), FindExInfoBasic, &item, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find) return infos;
    do {
      if (item.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      CacheFileInfo info;
      info.name = Utf8(item.cFileName);
      info.size = static_cast<std::uint64_t>(item.nFileSizeHigh) << 32 | item.nFileSizeLow;
      info.lastWritten = static_cast<std::uint64_t>(item.ftLastWriteTime.dwHighDateTime) << 32 |
                         item.ftLastWriteTime.dwLowDateTime;
      infos.push_back(std::move(info));
    } while (FindNextFileW(find.Get(), &item));
    return infos;
  }

  std::unique_ptr<CacheFile> Open(std::string_view name) override {
    if (name.empty() || name.find_first_of("\\/:") != std::string_view::npos) return nullptr;
    FileHandle file(CreateFileW((path_ + WideFromUtf8(name)).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return nullptr;
    return std::make_unique<Win32CacheFile>(std::move(file));
  }

  std::string Path() const override { return ansiPath_; }

 private:
  std::wstring path_;
  std::string ansiPath_;
};

}  // namespace

std::unique_ptr<CacheFolder> DiskCacheFolderOpen(std::u16string_view exactPath, std::string ansiPath) {
  const std::wstring path(WideView(exactPath));
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return nullptr;
  return std::make_unique<Win32CacheFolder>(path, std::move(ansiPath));
}
