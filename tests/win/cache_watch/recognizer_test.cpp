// The cache recognizer as the watcher drives it: new files of caches
// written step by step to a real folder, its own threads looking at them,
// and what reaches the receiver.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/browser_caches/chromium_block_files.h"
#include "app/cache_watch/cache_watch.h"
#include "runtime/core/program.h"
#include "tests/support/chromium_cache_builders.h"
#include "tests/win/cache_disk_writer.h"

namespace {

const std::string kUrl = "http://127.0.0.1:8765/clip.mp4";
const std::string kKey = "1/0/_dk_http://127.0.0.1 http://127.0.0.1 " + kUrl;
const std::string kEntry = "0123456789abcdef";
constexpr DWORD kSafetyMs = 15000;

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }
std::string Narrow(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }

// Records what it receives; can hold the delivery thread as a prompt would.
class Receiver final : public MediaElementReceiver {
 public:
  void MediaElementFound(const MediaElementRef& element) override {
    {
      std::lock_guard<std::mutex> hold(lock_);
      received_.push_back(element);
    }
    while (holding_) Sleep(5);
  }
  std::vector<MediaElementRef> Received() {
    std::lock_guard<std::mutex> hold(lock_);
    return received_;
  }
  std::atomic<bool> holding_{false};

 private:
  std::mutex lock_;
  std::vector<MediaElementRef> received_;
};

bool WaitUntil(const std::function<bool()>& condition) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > kSafetyMs) return false;
    Sleep(10);
  }
  return true;
}

class RecognizerTest : public testing::Test {
 protected:
  RecognizerTest() {
    root = Wide(std::string(ProgramFolder())) + L"\\recognizer_scratch_" +
           std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(root.c_str(), nullptr);
    cache = root + L"\\Cache_Data";
    CreateDirectoryW(cache.c_str(), nullptr);
  }
  ~RecognizerTest() override {
    recognizer.Stop();
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((cache + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do DeleteFileW((cache + L"\\" + found.cFileName).c_str());
      while (FindNextFileW(search, &found));
      FindClose(search);
    }
    RemoveDirectoryW(cache.c_str());
    RemoveDirectoryW(root.c_str());
  }

  // What the watcher hands on for a new file of the cache folder.
  void Added(const std::string& name, WatchSessionId session = 1) {
    const std::wstring exact = cache + L"\\" + Wide(name);
    const std::string full = Narrow(exact);
    recognizer.NewFile(NewFileEvent{session, Narrow(root) + "\\", full, exact});
  }
  void Write(const std::string& name, const ByteVector& bytes, bool append = false) {
    ASSERT_TRUE(DiskBytesWrite(cache + L"\\" + Wide(name), bytes, append));
  }
  // All files seen were looked at and nothing is pending any more (a
  // block-file folder stays followed for new entries: no candidate left).
  bool Settled(std::uint64_t filesSeen) {
    return WaitUntil([&] {
      const CacheWatchFigures figures = recognizer.Figures();
      const bool followedOnly = figures.candidatesPending == 0 && figures.candidates.newsLooks > 0;
      return figures.candidates.filesSeen >= filesSeen && (!figures.lookPending || followedOnly) &&
             figures.candidates.looks > 0;
    });
  }

  std::wstring root, cache;
  Receiver receiver;
  CacheElementRecognizer recognizer{receiver};
};

TEST_F(RecognizerTest, ASimpleEntryWhoseBodyGrowsIsHandedOnOnceWithItsAddress) {
  Write("index", SimpleIndex());
  Write(kEntry + "_0", SimpleMainFile(kKey, {}, nullptr));  // created with its key, no body yet
  Added(kEntry + "_0");
  ASSERT_TRUE(WaitUntil([&] { return recognizer.Figures().candidates.looks >= 2; }));
  EXPECT_TRUE(receiver.Received().empty());
  EXPECT_EQ(recognizer.Figures().candidatesPending, 1u);

  const ByteVector body = Mp4Head(600000, 1);
  Write(kEntry + "_0", ByteVector(body.begin(), body.begin() + 5000), true);
  ASSERT_TRUE(WaitUntil([&] { return !receiver.Received().empty(); }));
  Write(kEntry + "_0", ByteVector(body.begin() + 5000, body.end()), true);
  Write(kEntry + "_s", SimpleSparseFile(kKey, {}));
  Added(kEntry + "_s");
  ASSERT_TRUE(Settled(3));

  const auto received = receiver.Received();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].webAddress, kUrl);
  EXPECT_EQ(received[0].nature, MediaNature::Video);
  EXPECT_EQ(received[0].extension, "mp4");
  EXPECT_EQ(received[0].fileName, kEntry + "_0");
  EXPECT_EQ(received[0].folderExact, std::u16string(cache.begin(), cache.end()));
  EXPECT_EQ(received[0].folderAnsi, Narrow(cache));
}

constexpr std::uint64_t kMiB = 1u << 20;
constexpr std::uint64_t kSignature = 0x2fc0b309a3c608ull;

std::string ChildKey(std::uint64_t index) {
  char tail[48];
  std::snprintf(tail, sizeof tail, ":%llx:%llx", static_cast<unsigned long long>(kSignature),
                static_cast<unsigned long long>(index));
  return "Range_" + kKey + tail;
}

// The block-file cache with a page and the media's first `children` children.
void BuildRanges(MemoryCacheFolder& folder, const ByteVector& all, int children) {
  BlockCacheBuilder builder;
  const ByteVector pageHeaders = ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: text/html"}));
  const ByteVector page = Pattern(20000, 9);
  BlockCacheBuilder::Entry pageEntry{"1/0/http://127.0.0.1:8765/", 0, {&pageHeaders, &page}};
  builder.Add(pageEntry, BlockFileKeyHash(pageEntry.key));
  const ByteVector headers =
      ResponsePickle(HeaderBlock({"HTTP/1.1 206 Partial Content", "Content-Type: video/mp4",
                                  "Content-Range: bytes 0-1/" + std::to_string(all.size())}));
  ByteVector list(128, 0);
  for (int i = 0; i < children; ++i) list[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
  const ByteVector parentSparse = SparseStream(kSignature, 0, 0, list);
  BlockCacheBuilder::Entry parent;
  parent.key = kKey;
  parent.flags = 1;
  parent.streams[0] = &headers;
  parent.streams[2] = &parentSparse;
  builder.Add(parent, BlockFileKeyHash(kKey));
  std::vector<ByteVector> bodies;
  bodies.reserve(children);
  for (int i = 0; i < children; ++i) {
    bodies.emplace_back(all.begin() + i * kMiB,
                        all.begin() + std::min<std::size_t>(all.size(), (i + 1) * kMiB));
    BlockCacheBuilder::Entry child;
    child.key = ChildKey(i);
    child.flags = 2;
    child.streams[1] = &bodies.back();
    child.dirty = true;
    child.forceExternalBody = true;
    builder.Add(child, BlockFileKeyHash(child.key));
  }
  builder.Build(folder);
}

TEST_F(RecognizerTest, ABlockFileParentIsFoundThroughItsFirstChildAndLaterChildrenAddNothing) {
  const ByteVector all = Mp4Head(2 * kMiB + 4000, 2);
  MemoryCacheFolder memory;
  BuildRanges(memory, all, 1);
  ASSERT_TRUE(DiskCacheWrite(cache, memory));
  Added("f_000001");  // the page
  Added("f_000002");  // the first child
  ASSERT_TRUE(WaitUntil([&] { return !receiver.Received().empty(); }));

  MemoryCacheFolder more;
  BuildRanges(more, all, 3);
  ASSERT_TRUE(DiskCacheWrite(cache, more));
  Added("f_000003");
  Added("f_000004");
  ASSERT_TRUE(Settled(4));
  const auto received = receiver.Received();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].store, CacheStore::ChromiumBlockFiles);
  EXPECT_EQ(received[0].key, kKey);
  EXPECT_EQ(received[0].webAddress, kUrl);
}

TEST_F(RecognizerTest, OtherEntriesAndOtherFoldersAreNeverHandedOn) {
  Write("index", SimpleIndex());
  ByteVector png = Pattern(8000, 3);
  const char pngHead[] = "\x89PNG\r\n\x1a\n";
  std::copy(pngHead, pngHead + 8, png.begin());
  ByteVector fragment = Pattern(8000, 4);
  const char moof[] = "\0\0\0\x18moof";
  std::copy(moof, moof + 8, fragment.begin());
  Write("1111111111111111_0", SimpleMainFile("1/0/http://127.0.0.1:8765/a.png", png, nullptr));
  // Closed: a fragment still being written would be followed (pending) as a stream part.
  const ByteVector fragmentHeaders =
      ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: video/iso.segment"}));
  Write("2222222222222222_0", SimpleMainFile("1/0/http://127.0.0.1:8765/s.m4s", fragment, &fragmentHeaders));
  Added("1111111111111111_0");
  Added("2222222222222222_0");
  // A file with a cache-like name and a plain media file elsewhere.
  const std::wstring other = root + L"\\other";
  CreateDirectoryW(other.c_str(), nullptr);
  DiskBytesWrite(other + L"\\f_000001", Mp4Head(30000, 5));
  recognizer.NewFile(
      NewFileEvent{1, Narrow(root) + "\\", Narrow(other) + "\\f_000001", other + L"\\f_000001"});
  recognizer.NewFile(NewFileEvent{1, Narrow(root) + "\\", Narrow(root) + "\\clip.mp4", root + L"\\clip.mp4"});
  ASSERT_TRUE(Settled(3));
  EXPECT_TRUE(receiver.Received().empty());
  EXPECT_EQ(recognizer.Figures().candidates.found, 0u);
  DeleteFileW((other + L"\\f_000001").c_str());
  RemoveDirectoryW(other.c_str());
}

TEST_F(RecognizerTest, AHeldReceiverHoldsNeitherTheWatcherNorTheLookingAndASessionEndForgets) {
  Write("index", SimpleIndex());
  receiver.holding_ = true;  // a prompt stays open
  Write(kEntry + "_0", SimpleMainFile(kKey, Mp4Head(5000, 6), nullptr));
  Added(kEntry + "_0");
  ASSERT_TRUE(WaitUntil([&] { return receiver.Received().size() == 1; }));
  // Files keep coming and are looked at while the first element waits.
  const std::string second = "fedcba9876543210";
  Write(second + "_0", SimpleMainFile("1/0/http://127.0.0.1:8765/b.mp4", Mp4Head(5000, 7), nullptr));
  const DWORD before = GetTickCount();
  Added(second + "_0");
  EXPECT_LT(GetTickCount() - before, 1000u);  // a safety bound: NewFile only queues
  ASSERT_TRUE(WaitUntil([&] { return recognizer.Figures().candidates.found == 2; }));
  EXPECT_EQ(receiver.Received().size(), 1u);

  // A session that ends takes its pending candidates with it.
  const std::string third = "aaaaaaaaaaaaaaaa";
  Write(third + "_0", SimpleMainFile("1/0/http://127.0.0.1:8765/c.mp4", {}, nullptr));
  Added(third + "_0", 2);
  ASSERT_TRUE(WaitUntil([&] { return recognizer.Figures().candidatesPending == 1; }));
  recognizer.SessionEnded(2);
  ASSERT_TRUE(WaitUntil([&] { return recognizer.Figures().candidatesPending == 0; }));
  Write(third + "_0", Mp4Head(5000, 8), true);
  receiver.holding_ = false;
  ASSERT_TRUE(WaitUntil([&] { return receiver.Received().size() == 2; }));
  recognizer.Stop();
  EXPECT_EQ(recognizer.Figures().candidates.found, 2u);
  EXPECT_EQ(receiver.Received().size(), 2u);
}

}  // namespace

namespace {

struct RealMedia {
  const char* url;
  MediaNature nature;
  const char* extension;
};

// What the real browser stored (tests/portable/chromium_real_cache_test.cpp).
const RealMedia kRealMedia[] = {
    {"http://127.0.0.1:8765/clip.mp4", MediaNature::Video, "mp4"},
    {"http://127.0.0.1:8765/clip.webm", MediaNature::Video, "webm"},
    {"http://127.0.0.1:8765/tone.mp3", MediaNature::Audio, "mp3"},
    {"http://127.0.0.1:8765/whole.mp4", MediaNature::Video, "mp4"},
};

std::wstring RealCacheFile(const char* store, const std::string& name) {
  const std::string path = std::string(EE_TEST_DATA_DIR) + "/" + store + "/" + name;
  std::wstring wide = L"Z:";
  for (char c : path) wide.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(c));
  return wide;
}

}  // namespace

TEST_F(RecognizerTest, CachesTheRealBrowserWroteReplayedFileByFileGiveEachMediaElementOnce) {
  struct Store {
    const char* folder;
    std::vector<std::string> first;  // there before the entries
    std::vector<std::string> entries;
  };
  const Store stores[] = {
      {"chromium_simple",
       {"index"},
       {"2a32e7ac55812a95_0", "2a32e7ac55812a95_s", "4974af8574931bb4_0", "ad937857d02b1631_0",
        "ad937857d02b1631_s", "b4aaafef0e99c80b_0", "b9887417d53c6d42_0", "ced52364650572fd_0",
        "ced52364650572fd_s"}},
      {"chromium_blockfile",
       {"index", "data_0", "data_1", "data_2", "data_3"},
       {"f_000001", "f_000002", "f_000003", "f_000004", "f_000005"}},
  };
  WatchSessionId session = 10;
  for (const Store& store : stores) {
    SCOPED_TRACE(store.folder);
    ++session;
    for (const std::string& name : store.first) Write(name, DiskBytesRead(RealCacheFile(store.folder, name)));
    const std::size_t before = receiver.Received().size();
    const std::uint64_t seenBefore = recognizer.Figures().candidates.filesSeen;
    for (const std::string& name : store.entries) {
      const ByteVector bytes = DiskBytesRead(RealCacheFile(store.folder, name));
      ASSERT_FALSE(bytes.empty()) << name;
      Write(name, bytes);
      Added(name, session);
    }
    ASSERT_TRUE(Settled(seenBefore + store.entries.size()));
    ASSERT_TRUE(
        WaitUntil([&] { return recognizer.Figures().deliveries == recognizer.Figures().candidates.found; }));
    const auto all = receiver.Received();
    const std::vector<MediaElementRef> received(all.begin() + before, all.end());
    EXPECT_EQ(received.size(), std::size(kRealMedia));
    for (const RealMedia& media : kRealMedia) {
      const auto count = std::count_if(received.begin(), received.end(), [&](const MediaElementRef& ref) {
        return ref.webAddress == media.url;
      });
      EXPECT_EQ(count, 1) << media.url;
      for (const MediaElementRef& ref : received) {
        if (ref.webAddress != media.url) continue;
        EXPECT_EQ(ref.nature, media.nature) << media.url;
        EXPECT_EQ(ref.extension, media.extension) << media.url;
      }
    }
    // The next store is written into the same folder anew.
    recognizer.SessionEnded(session);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((cache + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do DeleteFileW((cache + L"\\" + found.cFileName).c_str());
      while (FindNextFileW(search, &found));
      FindClose(search);
    }
  }
}
