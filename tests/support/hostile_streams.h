// Playlists a hostile server could leave in a cache: tiny texts that name
// hundreds of megabytes of addresses, or the same cached bytes many times,
// and a simple cache folder holding them beside the one segment they name.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "app/browser_caches/cache_folder_memory.h"
#include "tests/support/chromium_cache_builders.h"
#include "tests/support/stream_media_builders.h"

namespace hostile {

// A manifest of `representations` Representations under one BaseURL of
// `baseLength` characters, each a $Number$ template of one-second segments
// over a period of `seconds` seconds.  (2,000 characters, one
// Representation, 100,000 seconds: 2,229 bytes naming 100,000 segments.)
// The BaseURL of that many characters.
inline std::string DashBase(std::size_t baseLength) {
  return "https://cdn.test/" + std::string(baseLength - 18, 'a') + "/";
}

inline std::string DashManifest(std::size_t baseLength, int representations, std::uint64_t seconds = 100000) {
  std::string text = "<MPD type=\"static\"><BaseURL>" + DashBase(baseLength) + "</BaseURL><Period duration=\"PT" + std::to_string(seconds) +
                     "S\"><AdaptationSet mimeType=\"video/mp4\">";
  for (int i = 0; i < representations; ++i)
    text += "<Representation id=\"v" + std::to_string(i) + "\" bandwidth=\"1\"><SegmentTemplate media=\"" +
            std::to_string(i) + "/$Number$.m4s\" initialization=\"" + std::to_string(i) +
            "/init.mp4\" duration=\"1\"/></Representation>";
  return text + "</AdaptationSet></Period></MPD>";
}

// "#EXTM3U" and `count` times "#EXTINF:1," + `uri` (with a byte range when given).
inline std::string RepeatedPlaylist(std::size_t count, std::string_view uri, std::string_view byteRange = {}) {
  std::string text = "#EXTM3U\n";
  for (std::size_t i = 0; i < count; ++i) {
    text += "#EXTINF:1,\n";
    if (!byteRange.empty()) text += "#EXT-X-BYTERANGE:" + std::string(byteRange) + "\n";
    text += uri;
    text += '\n';
  }
  return text + "#EXT-X-ENDLIST\n";
}

// About `bytes` of playlist in short distinct lines ("1\n", "2\n"...).
inline std::string ShortLinesPlaylist(std::size_t bytes) {
  std::string text = "#EXTM3U\n";
  for (std::size_t i = 0; text.size() < bytes; ++i) text += std::to_string(i) + "\n";
  return text;
}

// A Chromium simple cache folder with finished entries.
class SimpleCache {
 public:
  SimpleCache() { folder_.Put("index", SimpleIndex()); }

  void Put(const std::string& url, const ByteVector& body, std::string_view type) {
    char name[32];
    std::snprintf(name, sizeof name, "%016zx_0", ++entries_);
    const ByteVector pickle = ResponsePickle(HeaderBlock(
        {"HTTP/1.1 200 OK", "Content-Type: " + std::string(type), "Content-Length: " + std::to_string(body.size())}));
    folder_.Put(name, SimpleMainFile("1/0/_dk_https://h.test https://h.test " + url, body, &pickle),
                133000000000000000ull + entries_);
  }

  MemoryCacheFolder& Folder() { return folder_; }

 private:
  MemoryCacheFolder folder_;
  std::size_t entries_ = 0;
};

constexpr char kManifestAddress[] = "https://h.test/live/manifest.mpd";
constexpr char kPlaylistAddress[] = "https://h.test/rep/index.m3u8";
constexpr char kSegmentAddress[] = "https://h.test/rep/x.ts";
constexpr std::size_t kSegmentBytes = 940 * 1000;  // 5,000 TS packets

// The hostile cache: the four-Representation manifest under a 6 KB BaseURL
// (with the first Representation's init and first segment cached), the
// playlist naming one 940 KB x.ts 100,000 times, and x.ts.
inline void HostileCacheFill(SimpleCache& cache) {
  cache.Put(kManifestAddress, TextBytes(DashManifest(6000, 4)), "application/dash+xml");
  cache.Put(DashBase(6000) + "0/init.mp4", Init({"vide"}), "video/mp4");
  cache.Put(DashBase(6000) + "0/1.m4s", Fragment(3), "video/mp4");
  cache.Put(kPlaylistAddress, TextBytes(RepeatedPlaylist(100000, "x.ts")), "application/vnd.apple.mpegurl");
  cache.Put(kSegmentAddress, TsSegment(7, kSegmentBytes / 188), "video/mp2t");
}

}  // namespace hostile
