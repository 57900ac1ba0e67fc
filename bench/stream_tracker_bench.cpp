// Prints what following a long stream costs the watch's looker: a simple
// cache in memory gets a playlist of 2,000 TS segments and then the
// segments one by one, the tracker finding the streams after each (the
// finds of one folder are at most 2 a second, so a real stream of 2 s
// segments costs one find per segment); the time of the finds at 100,
// 1,000 and 2,000 parts, and of all of them.  Run by hand:
//   wine build/win32/bench/stream_tracker_bench.exe
#include <cstdio>
#include <string>
#include <vector>

#include "app/browser_caches/cache_folder_memory.h"
#include "app/browser_caches/chromium_cache.h"
#include "app/cache_watch/stream_tracker.h"
#include "bench/bench_support.h"
#include "tests/support/cache_folder_ref.h"
#include "tests/support/chromium_cache_builders.h"

namespace {

constexpr int kSegments = 2000;

class Opener final : public CacheFolderOpener {
 public:
  std::unique_ptr<CacheFolder> Open(const CacheFolderName&) override {
    return std::make_unique<CacheFolderRef>(memory);
  }
  MemoryCacheFolder memory;
};

}  // namespace

int main() {
  Opener opener;
  opener.memory.Put("index", SimpleIndex());
  const CacheFolderName name{u"C:\\cache", "C:\\cache"};
  StreamTracker tracker(opener);
  int entries = 0;
  auto put = [&](const std::string& url, const ByteVector& body, const std::string& type,
                 std::uint64_t nowMs) {
    char file[32];
    std::snprintf(file, sizeof file, "%016x_0", ++entries);
    const ByteVector pickle = ResponsePickle(HeaderBlock(
        {"HTTP/1.1 200 OK", "Content-Type: " + type, "Content-Length: " + std::to_string(body.size())}));
    const std::string key = "1/0/_dk_https://v.test https://v.test " + url;
    opener.memory.Put(file, SimpleMainFile(key, body, &pickle));
    const std::optional<CacheElement> element =
        ChromiumElementRead(opener.memory, CacheStore::ChromiumSimple, file, {});
    tracker.PartFound(1, name, {CacheStore::ChromiumSimple, file, key}, *element,
                      CacheElementSignature(opener.memory, *element), nowMs);
  };

  std::string playlist = "#EXTM3U\n#EXT-X-TARGETDURATION:2\n";
  for (int i = 0; i < kSegments; ++i) playlist += "#EXTINF:2.0,\nseg-" + std::to_string(i) + ".ts\n";
  playlist += "#EXT-X-ENDLIST\n";
  put("https://v.test/v/index.m3u8", ByteVector(playlist.begin(), playlist.end()),
      "application/vnd.apple.mpegurl", 0);
  ByteVector packets = Pattern(188 * 40, 1);
  for (std::size_t at = 0; at < packets.size(); at += 188) packets[at] = 0x47;

  std::vector<MediaElementRef> found;
  double total = 0;
  for (int i = 0; i < kSegments; ++i) {
    const std::uint64_t nowMs = 2000ull * (i + 1);
    put("https://v.test/v/seg-" + std::to_string(i) + ".ts", packets, "video/mp2t", nowMs);
    const double started = NowMs();
    tracker.Look(nowMs, found);
    const double took = NowMs() - started;
    total += took;
    if (i + 1 == 100 || i + 1 == 1000 || i + 1 == kSegments)
      std::printf("find with %5d parts %9.2f ms\n", i + 2, took);
  }
  std::printf("%d finds %9.1f ms in all, %zu stream handed on, %llu finds\n", kSegments, total, found.size(),
              static_cast<unsigned long long>(tracker.Figures().finds));
  return 0;
}
