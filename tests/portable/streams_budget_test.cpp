// What hostile playlists can make the readers hold: addresses kept as a
// shared folder and their own rest, the caps on addresses, base URLs and
// templates, and the byte budgets that cut a stream short instead of
// letting it grow.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/browser_caches/chromium_cache.h"
#include "app/command_line/cache_scan.h"
#include "app/streams/cache_streams.h"
#include "app/streams/dash_manifest.h"
#include "app/streams/hls_playlist.h"
#include "app/streams/hls_streams.h"
#include "app/streams/stream_budget.h"
#include "app/streams/web_address.h"
#include "tests/support/hostile_streams.h"

namespace {

// What the segments' addresses hold: each one's own bytes, each shared folder once.
std::uint64_t AddressBytes(const std::vector<SegmentRef>& segments) {
  std::uint64_t bytes = 0;
  std::set<const std::string*> folders;
  for (const SegmentRef& segment : segments) {
    bytes += segment.address.OwnBytes();
    if (segment.address.Folder() && folders.insert(segment.address.Folder().get()).second)
      bytes += segment.address.Folder()->size();
  }
  return bytes;
}

TEST(StreamBudgets, TinyManifestUnderALongBaseKeepsTheBaseOnce) {
  const std::string text = hostile::DashManifest(2000, 1);
  ASSERT_LT(text.size(), 2300u);
  const auto manifest = DashManifestParse(text, hostile::kManifestAddress);
  ASSERT_TRUE(manifest.has_value());
  ASSERT_EQ(manifest->streams.size(), 1u);
  const std::vector<SegmentRef>& segments = manifest->streams[0].stream.segments;
  ASSERT_EQ(segments.size(), 100000u);
  EXPECT_FALSE(manifest->truncated);
  // Whole strings would be 100,000 times 2 KB: 200 MB.
  EXPECT_LT(AddressBytes(segments), 2u << 20);
  EXPECT_LE(manifest->heldBytes, kStreamPlaylistBudgetBytes);
  EXPECT_EQ(segments.back().address.Text(), hostile::DashBase(2000) + "0/100000.m4s");
  EXPECT_EQ(segments.front().address, SegmentAddress(hostile::DashBase(2000) + "0/1.m4s"));

  // Four Representations under a 6 KB base and a period twice as long:
  // the budget cuts them short, whatever a segment costs on this build.
  const auto four = DashManifestParse(hostile::DashManifest(6000, 4, 200000), hostile::kManifestAddress);
  ASSERT_TRUE(four.has_value());
  EXPECT_TRUE(four->truncated);
  EXPECT_LE(four->heldBytes, kStreamPlaylistBudgetBytes);
  std::size_t kept = 0;
  for (const DashStream& stream : four->streams) kept += stream.stream.segments.size();
  EXPECT_LT(kept, 800000u);
  EXPECT_TRUE(four->streams.back().stream.truncated);

  // A smaller budget given by the caller cuts sooner.
  const auto small = DashManifestParse(text, hostile::kManifestAddress, 64 * 1024);
  ASSERT_TRUE(small.has_value());
  EXPECT_TRUE(small->streams[0].stream.truncated);
  EXPECT_LE(small->heldBytes, 64u * 1024);
  EXPECT_GT(small->streams[0].stream.segments.size(), 0u);
}

TEST(StreamBudgets, OverlongBaseUrlsTemplatesAndAddressesAreLeftOut) {
  const auto longBase = DashManifestParse(hostile::DashManifest(kStreamMaxAddressBytes + 100, 1), hostile::kManifestAddress);
  ASSERT_TRUE(longBase.has_value());
  EXPECT_TRUE(longBase->truncated);
  EXPECT_TRUE(longBase->streams.empty());

  const std::string longMedia(kStreamMaxAddressBytes + 1, 'm');
  const auto longTemplate = DashManifestParse(
      "<MPD><Period duration=\"PT10S\"><AdaptationSet mimeType=\"video/mp4\"><Representation id=\"a\">"
      "<SegmentTemplate media=\"" + longMedia + "$Number$\" duration=\"1\"/></Representation>"
      "<Representation id=\"b\"><SegmentTemplate media=\"$Number$.m4s\" duration=\"1\"/></Representation>"
      "</AdaptationSet></Period></MPD>",
      hostile::kManifestAddress);
  ASSERT_TRUE(longTemplate.has_value());
  ASSERT_EQ(longTemplate->streams.size(), 2u);
  EXPECT_TRUE(longTemplate->streams[0].stream.truncated);
  EXPECT_TRUE(longTemplate->streams[0].stream.segments.empty());
  EXPECT_EQ(longTemplate->streams[1].stream.segments.size(), 10u);  // its neighbour is read as before

  const std::string longUri(kStreamMaxAddressBytes + 1, 'u');
  const auto hls = HlsPlaylistParse("#EXTM3U\n#EXTINF:1,\n" + longUri + "\n#EXTINF:1,\nb.ts\n", hostile::kPlaylistAddress);
  ASSERT_TRUE(hls.has_value());
  EXPECT_TRUE(hls->truncated);
  ASSERT_EQ(hls->segments.size(), 1u);
  EXPECT_EQ(hls->segments[0].ref.address, SegmentAddress("https://h.test/rep/b.ts"));
}

TEST(StreamBudgets, ShortLinesUnderALongPathShareThePath) {
  const std::string own = "https://h.test/" + std::string(2000, 'p') + "/index.m3u8";
  const auto playlist = HlsPlaylistParse(hostile::ShortLinesPlaylist(200 * 1024), own);
  ASSERT_TRUE(playlist.has_value());
  EXPECT_FALSE(playlist->truncated);
  ASSERT_GT(playlist->segments.size(), 35000u);
  const SegmentedStream stream = HlsMediaStream(*playlist);
  EXPECT_LT(AddressBytes(stream.segments), 1u << 20);  // whole strings: over 70 MB
  EXPECT_LE(playlist->heldBytes, kStreamPlaylistBudgetBytes);
  EXPECT_EQ(stream.segments[7].address.Text(), "https://h.test/" + std::string(2000, 'p') + "/7");

  const auto capped = HlsPlaylistParse(hostile::ShortLinesPlaylist(200 * 1024), own, 100 * 1024);
  ASSERT_TRUE(capped.has_value());
  EXPECT_TRUE(capped->truncated);
  EXPECT_LE(capped->heldBytes, 100u * 1024);
  EXPECT_TRUE(HlsMediaStream(*capped).truncated);
}

TEST(StreamBudgets, PlaylistsFollowedFromOneVariantShareTheBudget) {
  const std::string media = hostile::ShortLinesPlaylist(40 * 1024);
  const std::string variant =
      "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\na.m3u8\n#EXT-X-STREAM-INF:BANDWIDTH=2\nb.m3u8\n";
  const PlaylistTextLookup lookup = [&](const std::string& address) -> const std::string* {
    if (address == "https://h.test/v.m3u8") return &variant;
    return &media;
  };
  const std::uint64_t one = HlsPlaylistParse(media, "https://h.test/a.m3u8")->heldBytes;
  const HlsStreams both = HlsStreamsFollow("https://h.test/v.m3u8", lookup, 2 * one + 1024);
  ASSERT_EQ(both.streams.size(), 2u);
  EXPECT_FALSE(both.cut);
  const HlsStreams cut = HlsStreamsFollow("https://h.test/v.m3u8", lookup, one + one / 2);
  ASSERT_EQ(cut.streams.size(), 2u);
  EXPECT_TRUE(cut.cut);
  EXPECT_FALSE(cut.streams[0].stream.truncated);
  EXPECT_TRUE(cut.streams[1].stream.truncated);
  EXPECT_LE(cut.heldBytes, one + one / 2);
}

// The folder's streams as the scan finds them.
CacheStreams FolderStreams(MemoryCacheFolder& folder, std::uint64_t budget = kStreamFolderBudgetBytes) {
  const std::vector<CacheElement> elements = ChromiumCacheRead(folder);
  std::vector<MediaSignature> signatures;
  for (const CacheElement& element : elements)
    signatures.push_back(StoredTypeRulesOutMedia(element.contentType) ? MediaSignature{}
                                                                      : CacheElementSignature(folder, element));
  return CacheStreamsFind(folder, elements, signatures, budget);
}

// The short way under a set base gives exactly what resolving in full
// gives, and declines what it cannot do the same.
TEST(StreamBudgets, RelativeAddressesUnderABaseEqualResolvingInFull) {
  const char* bases[] = {"https://cdn.test/a/b/manifest.mpd", "https://cdn.test/a/b/", "https://cdn.test/a/b?x=1/2",
                         "https://cdn.test", "https://cdn.test/a/../b/m.mpd", "https://cdn.test/a/./b/m.mpd",
                         "HTTP://cdn.test/x#f/g", "//cdn.test/a/m.mpd", "cdn/a/m.mpd", "https://cdn.test/a\\b/m"};
  const char* references[] = {"1.m4s", "0/12.m4s", "0/1/", "../x.ts", "./x.ts", "a/../x.ts", "/abs.ts",
                              "x.ts?q=1", "x.ts#t", "https://other.test/x.ts", "c:x.ts", " x.ts", "x\\y.ts", "",
                              "v..1/x.ts", "seg.1.ts"};
  for (const char* base : bases) {
    SegmentAddressMaker shortWay;
    shortWay.SetBase(base);
    SegmentAddressMaker fullWay;
    for (const char* reference : references) {
      SCOPED_TRACE(std::string(base) + " + " + reference);
      const SegmentAddress full = fullWay.Make(WebAddressResolve(base, reference));
      const std::optional<SegmentAddress> quick = shortWay.MakeRelative(reference);
      if (!quick) continue;
      EXPECT_EQ(quick->Text(), full.Text());
      // The folder is shared as Make would share it.
      ASSERT_TRUE(quick->Folder());
      EXPECT_EQ(*quick->Folder(), *full.Folder());
    }
  }
  // What it takes: plain relative paths under a base with a folder.
  SegmentAddressMaker maker;
  maker.SetBase("https://cdn.test/a/m.mpd");
  EXPECT_TRUE(maker.MakeRelative("0/12.m4s"));
  EXPECT_FALSE(maker.MakeRelative("../12.m4s"));
  EXPECT_FALSE(maker.MakeRelative("https://x.test/1.ts"));
  maker.SetBase("https://cdn.test");
  EXPECT_FALSE(maker.MakeRelative("1.ts"));
  // One folder per directory, counted once however many segments share it.
  SegmentAddressMaker counted;
  counted.SetBase("https://cdn.test/a/m.mpd");
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(counted.MakeRelative("0/" + std::to_string(i) + ".m4s"));
  EXPECT_EQ(counted.FolderBytes(), std::string("https://cdn.test/a/0/").size());
}

const CacheStream* StreamOf(const CacheStreams& streams, std::string_view address) {
  for (const CacheStream& stream : streams.streams)
    if (stream.address == address) return &stream;
  return nullptr;
}

TEST(StreamBudgets, HostileCacheListsItsStreamsCutShortAndNoLargerThanWhatIsCached) {
  hostile::SimpleCache cache;
  hostile::HostileCacheFill(cache);
  const CacheStreams streams = FolderStreams(cache.Folder());

  // 100,000 times x.ts: one segment of 940 KB present, never 94 GB.
  const CacheStream* repeated = StreamOf(streams, hostile::kPlaylistAddress);
  ASSERT_NE(repeated, nullptr);
  EXPECT_TRUE(repeated->cutShort);
  EXPECT_FALSE(repeated->plan.complete);
  EXPECT_EQ(repeated->plan.total, 100000u);
  EXPECT_EQ(repeated->plan.present, 1u);
  EXPECT_EQ(repeated->presentBytes, hostile::kSegmentBytes);
  std::uint64_t written = 0;
  ASSERT_TRUE(CacheStreamWrite(cache.Folder(), *repeated, [&](std::span<const std::uint8_t> bytes) {
    written += bytes.size();
    return true;
  }));
  EXPECT_EQ(written, hostile::kSegmentBytes);

  // The manifest: its first Representation (the one cached) fits the
  // manifest's budget whole and is listed with its one present segment; the
  // later ones ran past the budget and say so.
  const CacheStream* manifest = StreamOf(streams, hostile::kManifestAddress);
  ASSERT_NE(manifest, nullptr);
  EXPECT_EQ(manifest->plan.present, 1u);
  const std::optional<DashManifest> parsed =
      DashManifestParse(hostile::DashManifest(6000, 4), hostile::kManifestAddress);
  ASSERT_TRUE(parsed.has_value());
  EXPECT_TRUE(parsed->truncated);
  ASSERT_FALSE(parsed->streams.empty());
  EXPECT_TRUE(parsed->streams.back().stream.truncated);
  EXPECT_LE(parsed->heldBytes, kStreamPlaylistBudgetBytes);
  EXPECT_FALSE(streams.budgetReached);

  // A folder budget smaller than the playlists leaves them unread; the
  // segments are grouped instead, and the groups say they may be cut.
  const CacheStreams starved = FolderStreams(cache.Folder(), 64 * 1024);
  EXPECT_TRUE(starved.budgetReached);
  EXPECT_EQ(StreamOf(starved, hostile::kPlaylistAddress), nullptr);
  for (const CacheStream& stream : starved.streams) EXPECT_TRUE(stream.cutShort);
}

}  // namespace
