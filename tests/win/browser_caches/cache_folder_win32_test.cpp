// The Windows cache folder: listing, reads at offsets, files the "browser"
// holds open for writing and deletes, folder names outside the ANSI code
// page, the real caches of the native tests read through it, and the
// command-line scan over it (files gone since the listing, none left open).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/browser_caches/cache_folder_disk.h"
#include "app/browser_caches/chromium_cache.h"
#include "app/command_line/cache_scan.h"
#include "app/command_line/listed_cache_folder.h"
#include "runtime/core/handles.h"
#include "runtime/core/text_encoding_wide.h"
#include "tests/support/chromium_cache_builders.h"
#include "tests/win/cache_disk_writer.h"

namespace {

// A fresh folder under the temporary folder, removed with its files.
class TempFolder {
 public:
  explicit TempFolder(std::u16string_view leaf) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = std::u16string(Utf16Chars(temp)) + std::u16string(leaf);
    CreateDirectoryW(W(path_), nullptr);
  }
  ~TempFolder() {
    for (const auto& name : created_) DeleteFileW(W(path_ + u"\\" + name));
    RemoveDirectoryW(W(path_));
  }
  void Write(std::u16string name, std::string_view bytes) {
    FileHandle file(
        CreateFileW(W(path_ + u"\\" + name), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    created_.push_back(std::move(name));
  }
  const std::u16string& Path() const { return path_; }
  static const wchar_t* W(const std::u16string& text) { return WideChars(text.c_str()); }

 private:
  std::u16string path_;
  std::vector<std::u16string> created_;
};

std::string ReadAll(CacheFile& file) {
  std::string bytes(static_cast<std::size_t>(file.Size()), '\0');
  bytes.resize(file.ReadAt(0, bytes.data(), bytes.size()));
  return bytes;
}

TEST(CacheFolderWin32Test, ListsAndReadsFilesAtOffsets) {
  TempFolder temp(u"ee_cache_folder_list");
  temp.Write(u"index", std::string("\xC3\xCA\x03\xC1", 4) + std::string(400, 'i'));
  temp.Write(u"f_000001", "0123456789");
  CreateDirectoryW(TempFolder::W(temp.Path() + u"\\sub"), nullptr);
  auto folder = DiskCacheFolderOpen(temp.Path(), "C:\\ansi");
  ASSERT_TRUE(folder);
  EXPECT_EQ(folder->Path(), "C:\\ansi");
  auto infos = folder->List();
  RemoveDirectoryW(TempFolder::W(temp.Path() + u"\\sub"));
  ASSERT_EQ(infos.size(), 2u);  // folders are not listed
  for (const CacheFileInfo& info : infos) {
    EXPECT_TRUE(info.name == "index" || info.name == "f_000001") << info.name;
    EXPECT_EQ(info.size, info.name == "index" ? 404u : 10u);
    EXPECT_GT(info.lastWritten, 116444736000000000ull);  // after 1970
  }
  auto file = folder->Open("f_000001");
  ASSERT_TRUE(file);
  char buffer[8] = {};
  EXPECT_EQ(file->ReadAt(6, buffer, sizeof buffer), 4u);
  EXPECT_EQ(std::string(buffer, 4), "6789");
  EXPECT_EQ(file->ReadAt(10, buffer, 1), 0u);
  EXPECT_EQ(file->ReadAt(1ull << 40, buffer, 1), 0u);
  EXPECT_FALSE(folder->Open("missing"));
  EXPECT_FALSE(folder->Open("..\\index"));
  EXPECT_FALSE(folder->Open("sub/index"));
  EXPECT_FALSE(folder->Open(""));
  EXPECT_EQ(ChromiumStoreOf(*folder), CacheStore::ChromiumBlockFiles);
  EXPECT_FALSE(DiskCacheFolderOpen(temp.Path() + u"\\index", "x"));
  EXPECT_FALSE(DiskCacheFolderOpen(temp.Path() + u"\\none", "x"));
}

TEST(CacheFolderWin32Test, FilesTheBrowserHoldsOpenAreReadAsTheyGrowAndGo) {
  TempFolder temp(u"ee_cache_folder_\u7f13\u5b58\U0001F600");  // not spelled by code page 936
  auto folder = DiskCacheFolderOpen(temp.Path(), "?");
  ASSERT_TRUE(folder);
  // The browser's way: write access, sharing everything.
  FileHandle browser(CreateFileW(TempFolder::W(temp.Path() + u"\\0123456789abcdef_0"), GENERIC_WRITE | DELETE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(browser);
  DWORD written = 0;
  WriteFile(browser.Get(), "abc", 3, &written, nullptr);
  auto file = folder->Open("0123456789abcdef_0");
  ASSERT_TRUE(file);
  EXPECT_EQ(ReadAll(*file), "abc");
  WriteFile(browser.Get(), "defg", 4, &written, nullptr);
  EXPECT_EQ(file->Size(), 7u);
  EXPECT_EQ(ReadAll(*file), "abcdefg");
  // Deleted while both hold it open: reads go on or fail, nothing worse.
  EXPECT_TRUE(DeleteFileW(TempFolder::W(temp.Path() + u"\\0123456789abcdef_0")));
  char buffer[7];
  const std::size_t got = file->ReadAt(0, buffer, sizeof buffer);
  EXPECT_TRUE(got == 0 || got == 7u);
  browser.Reset();
  file.reset();
  EXPECT_FALSE(folder->Open("0123456789abcdef_0"));
}

// The caches the real browser wrote (tests/portable/data), seen through the
// Windows folder on Wine's drive for the Unix root.
std::u16string DataPath(const char* leaf) {
  std::u16string path = u"Z:";
  for (const char c : std::string(EE_TEST_DATA_DIR) + "/" + leaf)
    path += c == '/' ? u'\\' : static_cast<char16_t>(c);
  return path;
}

TEST(CacheFolderWin32Test, RealCachesReadThroughTheWindowsFolder) {
  for (const char* leaf : {"chromium_blockfile", "chromium_simple"}) {
    SCOPED_TRACE(leaf);
    auto folder = DiskCacheFolderOpen(DataPath(leaf), leaf);
    ASSERT_TRUE(folder);
    const auto elements = ChromiumCacheRead(*folder);
    EXPECT_EQ(elements.size(), 6u);
    bool sawClip = false;
    for (const CacheElement& element : elements) {
      if (element.webAddress != "http://127.0.0.1:8765/clip.mp4") continue;
      sawClip = true;
      EXPECT_TRUE(IsComplete(element));
      EXPECT_EQ(ContiguousLength(element), 1262460u);
      std::vector<std::uint8_t> body(1262460);
      CacheBodyReader reader(*folder, element);
      ASSERT_EQ(reader.Read(0, body.data(), body.size()), body.size());
      std::uint64_t hash = 0xcbf29ce484222325ull;
      for (std::uint8_t byte : body) hash = (hash ^ byte) * 0x100000001b3ull;
      EXPECT_EQ(hash, 0xe2b56a9cd5929e33ull);
      EXPECT_EQ(CacheElementSignature(*folder, element).extension, "mp4");
    }
    EXPECT_TRUE(sawClip);
  }
}

TEST(CacheFolderWin32Test, ScanSkipsFilesGoneSinceTheListingAndLeavesNoFileOpen) {
  TempFolder temp(u"ee_cache_folder_scan");
  const std::wstring path(TempFolder::W(temp.Path()));
  struct Removal {
    std::wstring path;
    ~Removal() { DiskTreeRemove(path); }
  } removal{path};
  MemoryCacheFolder memory;
  memory.Put("index", SimpleIndex());
  const char* const names[] = {"0000000000000001_0", "0000000000000002_0", "0000000000000003_0",
                               "0000000000000004_0"};
  for (int i = 0; i < 4; ++i) {
    const bool page = i == 2;
    const ByteVector pickle = ResponsePickle(
        HeaderBlock({"HTTP/1.1 200 OK", page ? "Content-Type: text/html" : "Content-Type: video/mp4"}));
    const std::string url = "https://a.test/" + std::to_string(i) + (page ? ".html" : ".mp4");
    memory.Put(names[i], SimpleMainFile("1/0/" + url, page ? Pattern(3000, 1) : Mp4Head(20000, 2), &pickle));
  }
  ASSERT_TRUE(DiskCacheWrite(path, memory));
  auto disk = DiskCacheFolderOpen(temp.Path(), "C:\\scan");
  ASSERT_TRUE(disk);
  ListedCacheFolder listed(std::move(disk));
  ASSERT_TRUE(DeleteFileW((path + L"\\0000000000000002_0").c_str()));

  const std::vector<ScannedMedia> media = CacheMediaElements(listed);
  ASSERT_EQ(media.size(), 2u);
  EXPECT_EQ(media[0].element.webAddress, "https://a.test/0.mp4");
  EXPECT_EQ(media[1].element.webAddress, "https://a.test/3.mp4");
  EXPECT_EQ(PresentLength(media[1].element), 20000u);
  // Every file let go: each opens again with no sharing at all.
  for (const char* name : {"index", "0000000000000001_0", "0000000000000003_0", "0000000000000004_0"}) {
    const std::wstring file = path + L"\\" + std::wstring(name, name + std::strlen(name));
    FileHandle alone(CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(alone) << name;
    alone.Reset();
    EXPECT_TRUE(DeleteFileW(file.c_str())) << name;
  }
}

}  // namespace
