// Prints how long the stream readers take on the largest inputs their caps
// let through and on inputs built to make a careless parser quadratic: a
// 15 MiB HLS playlist of 100,000 segments, a manifest whose timelines ask
// for 400,000 segments, an AdaptationSet of 199,000 Representations, an
// attribute of 8 MiB of '&', a variant playlist of 15 MiB of commas; and
// the streams of a cache folder of 100,000 elements (a playlist of 50,000
// segments, all of them cached, and 50,000 segments of 500 sites no
// playlist names).  Run by hand (under Wine or Windows):
//   wine build/win32/bench/streams_bench.exe
#include <cstdio>
#include <string>
#include <vector>

#include "app/browser_caches/cache_folder_memory.h"
#include "app/streams/cache_streams.h"
#include "app/streams/dash_manifest.h"
#include "app/streams/hls_playlist.h"
#include "bench/bench_support.h"

namespace {

template <typename Read>
void Figure(const char* name, std::size_t bytes, Read read) {
  const double started = NowMs();
  const std::size_t items = read();
  std::printf("%-34s %6.1f MiB %8zu items %9.1f ms\n", name, static_cast<double>(bytes) / (1 << 20), items,
              NowMs() - started);
}

}  // namespace

int main() {
  std::string hls = "#EXTM3U\n";
  while (hls.size() < (15u << 20))
    hls += "#EXTINF:4.000,\nhttps://cdn.test/a/b/720p/segment-000001.ts?token=abcdef\n";
  Figure("HLS media playlist at the caps", hls.size(),
         [&] { return HlsPlaylistParse(hls, "https://cdn.test/a/b/720p/index.m3u8")->segments.size(); });

  std::string commas = "#EXTM3U\n#EXT-X-STREAM-INF:" + std::string(15u << 20, ',') + "\nv.m3u8\n";
  Figure("HLS attribute list of commas", commas.size(),
         [&] { return HlsPlaylistParse(commas, "https://cdn.test/m.m3u8")->variants.size(); });

  std::string timelines =
      "<MPD mediaPresentationDuration=\"P1Y\"><Period><AdaptationSet mimeType=\"video/mp4\">"
      "<SegmentTemplate media=\"$RepresentationID$/$Time$.m4s\"><SegmentTimeline>"
      "<S t=\"0\" d=\"1\" r=\"-1\"/></SegmentTimeline></SegmentTemplate>";
  for (int i = 0; i < 8; ++i) timelines += "<Representation id=\"r" + std::to_string(i) + "\"/>";
  timelines += "</AdaptationSet></Period></MPD>";
  Figure("MPD timelines at the segment caps", timelines.size(), [&] {
    const std::optional<DashManifest> manifest = DashManifestParse(timelines, "https://cdn.test/m.mpd");
    std::size_t segments = 0;
    for (const DashStream& stream : manifest->streams) segments += stream.stream.segments.size();
    return segments;
  });

  std::string representations = "<MPD><Period><AdaptationSet>";
  for (int i = 0; i < 199000; ++i) representations += "<Representation/>";
  representations += "</AdaptationSet></Period></MPD>";
  Figure("MPD of 199,000 Representations", representations.size(),
         [&] { return DashManifestParse(representations, "https://cdn.test/m.mpd")->streams.size(); });

  const std::string ampersands = "<MPD a=\"" + std::string(8u << 20, '&') + "\"/>";
  Figure("MPD attribute of '&'", ampersands.size(),
         [&] { return DashManifestParse(ampersands, "https://cdn.test/m.mpd")->streams.size(); });

  // Every element reads its body from one small file of TS packets.
  MemoryCacheFolder folder;
  std::vector<std::uint8_t> packets(188 * 4, 0xFF);
  for (std::size_t at = 0; at < packets.size(); at += 188) packets[at] = 0x47;
  folder.Put("ts", packets);
  std::vector<CacheElement> elements;
  std::vector<MediaSignature> signatures;
  const auto add = [&](std::string address, std::string type, MediaSignature signature, std::string_view file,
                       std::uint64_t length) {
    CacheElement element;
    element.webAddress = std::move(address);
    element.contentType = std::move(type);
    element.finished = true;
    element.fullLength = length;
    element.pieces.push_back({std::string(file), 0, 0, length});
    elements.push_back(std::move(element));
    signatures.push_back(signature);
  };
  std::string playlist = "#EXTM3U\n";
  for (int i = 0; i < 50000; ++i) {
    playlist += "#EXTINF:4.0,\nseg-" + std::to_string(i) + ".ts\n";
    add("https://cdn.test/v/seg-" + std::to_string(i) + ".ts", "video/mp2t", {MediaNature::Segment, "ts"}, "ts",
        packets.size());
  }
  playlist += "#EXT-X-ENDLIST\n";
  folder.Put("playlist", std::vector<std::uint8_t>(playlist.begin(), playlist.end()));
  add("https://cdn.test/v/index.m3u8", "application/vnd.apple.mpegurl", {MediaNature::Playlist, "m3u8"},
      "playlist", playlist.size());
  for (int i = 0; i < 50000; ++i)
    add("https://site" + std::to_string(i % 500) + ".test/s/" + std::to_string(i / 500) + ".ts", "video/mp2t",
        {MediaNature::Segment, "ts"}, "ts", packets.size());
  Figure("Streams of 100,000 cache elements", playlist.size(),
         [&] { return CacheStreamsFind(folder, elements, signatures).streams.size(); });
  return 0;
}
