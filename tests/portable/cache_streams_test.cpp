// The streams of a cache folder: hand-built simple caches holding playlists,
// init segments and segments, read as the scan reads them; what streams
// they give, which elements belong to them, and the bytes a join writes.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tests/portable/compressed_data.h"
#include "app/browser_caches/body_text.h"
#include "app/browser_caches/cache_folder_memory.h"
#include "app/browser_caches/chromium_cache.h"
#include "app/command_line/cache_scan.h"
#include "app/command_line/report_rows.h"
#include "app/streams/cache_streams.h"
#include "tests/support/chromium_cache_builders.h"
#include "tests/support/stream_media_builders.h"

namespace {

// A simple cache folder, filled entry by entry.
class Cache {
 public:
  Cache() { folder_.Put("index", SimpleIndex()); }

  // A finished entry with a Content-Length; `fullLength` above the body's
  // size leaves it incomplete, `closed` false leaves it being written.
  void Put(const std::string& url, const ByteVector& body, std::string_view type,
           std::optional<std::size_t> fullLength = std::nullopt, bool closed = true,
           std::string_view encoding = {}) {
    char name[32];
    std::snprintf(name, sizeof name, "%016zx_0", ++entries_);
    std::string length = "Content-Length: " + std::to_string(fullLength.value_or(body.size()));
    std::string typeLine = "Content-Type: " + std::string(type);
    std::string encodingLine = "Content-Encoding: " + std::string(encoding);
    std::vector<std::string_view> lines = {"HTTP/1.1 200 OK", typeLine, length};
    if (!encoding.empty()) lines.push_back(encodingLine);
    std::string block;
    for (const std::string_view line : lines) {
      block += line;
      block += '\0';
    }
    block += '\0';
    const ByteVector pickle = ResponsePickle(block);
    folder_.Put(
        name,
        SimpleMainFile("1/0/_dk_https://a.test https://a.test " + url, body, closed ? &pickle : nullptr),
        133000000000000000ull + entries_);
  }

  MemoryCacheFolder& Folder() { return folder_; }

 private:
  MemoryCacheFolder folder_;
  std::size_t entries_ = 0;
};

// The folder read as the scan reads it: its elements, what their bytes
// say, and the streams.
struct Found {
  std::vector<CacheElement> elements;
  CacheStreams streams;

  bool Part(std::string_view address) const {
    bool any = false;
    for (std::size_t i = 0; i < elements.size(); ++i) {
      if (elements[i].webAddress != address) continue;
      if (!streams.partOfStream[i]) return false;
      any = true;
    }
    return any;
  }
};

Found FindStreams(MemoryCacheFolder& folder) {
  Found found;
  found.elements = ChromiumCacheRead(folder);
  std::vector<MediaSignature> signatures;
  for (const CacheElement& element : found.elements)
    signatures.push_back(StoredTypeRulesOutMedia(element.contentType)
                             ? MediaSignature{}
                             : CacheElementSignature(folder, element));
  found.streams = CacheStreamsFind(folder, found.elements, signatures);
  EXPECT_EQ(found.streams.partOfStream.size(), found.elements.size());
  return found;
}

std::optional<ByteVector> Written(MemoryCacheFolder& folder, const CacheStream& stream) {
  ByteVector bytes;
  const bool done = CacheStreamWrite(folder, stream, [&](std::span<const std::uint8_t> part) {
    bytes.insert(bytes.end(), part.begin(), part.end());
    return true;
  });
  if (!done) return std::nullopt;
  return bytes;
}

const CacheStream* StreamAt(const Found& found, std::string_view address,
                            std::string_view representation = {}) {
  for (const CacheStream& stream : found.streams.streams)
    if (stream.address == address && stream.representation == representation) return &stream;
  return nullptr;
}

constexpr char kFmp4Playlist[] =
    "#EXTM3U\n#EXT-X-VERSION:7\n#EXT-X-TARGETDURATION:1\n#EXT-X-MAP:URI=\"init.mp4\"\n"
    "#EXTINF:1,\nseg0.m4s\n#EXTINF:1,\nseg1.m4s\n#EXTINF:1,\nseg2.m4s\n#EXT-X-ENDLIST\n";

TEST(CacheStreams, MediaPlaylistJoinsItsInitAndFragmentsAndTheyAreNoElementsOfTheirOwn) {
  Cache cache;
  const ByteVector init = Init({"vide", "soun"});
  cache.Put("https://v.test/hls/index.m3u8", TextBytes(kFmp4Playlist), "application/vnd.apple.mpegurl");
  cache.Put("https://v.test/hls/init.mp4", init, "video/mp4");
  // Stored out of play order: the playlist gives the order.
  cache.Put("https://v.test/hls/seg2.m4s", Fragment(2), "video/iso.segment");
  cache.Put("https://v.test/hls/seg0.m4s", Fragment(0), "video/iso.segment");
  cache.Put("https://v.test/hls/seg1.m4s", Fragment(1), "video/iso.segment");
  cache.Put("https://v.test/page.html", TextBytes("<html></html>"), "text/html");
  cache.Put("https://v.test/movie.mp4", Mp4Head(3000, 5), "video/mp4");

  const Found found = FindStreams(cache.Folder());
  ASSERT_EQ(found.streams.streams.size(), 1u);
  const CacheStream& stream = found.streams.streams.front();
  EXPECT_EQ(stream.origin, CacheStreamOrigin::Hls);
  EXPECT_EQ(stream.address, "https://v.test/hls/index.m3u8");
  EXPECT_EQ(stream.kind, StreamKind::Video);
  EXPECT_EQ(stream.extension, "mp4");
  EXPECT_EQ(stream.mediaType, "video/mp4");
  EXPECT_FALSE(stream.protectedContent);
  EXPECT_EQ(stream.plan.present, 3u);
  EXPECT_EQ(stream.plan.total, 3u);
  EXPECT_TRUE(stream.plan.complete);
  const ByteVector joined = Cat({init, Fragment(0), Fragment(1), Fragment(2)});
  EXPECT_EQ(stream.presentBytes, joined.size());
  EXPECT_EQ(Written(cache.Folder(), stream), joined);
  // The newest of its parts: the last entry put.
  EXPECT_EQ(stream.lastWritten, 133000000000000005ull);
  for (const char* part : {"https://v.test/hls/index.m3u8", "https://v.test/hls/init.mp4",
                           "https://v.test/hls/seg0.m4s", "https://v.test/hls/seg2.m4s"})
    EXPECT_TRUE(found.Part(part)) << part;
  EXPECT_FALSE(found.Part("https://v.test/page.html"));
  EXPECT_FALSE(found.Part("https://v.test/movie.mp4"));

  // The scan: the plain video stays an element, the stream is a row of its own.
  // Told as it was read, the video came as the scan lists it; the page and
  // the playlist never did.
  std::vector<ScannedMedia> told;
  const ScannedCacheFolder scanned =
      CacheFolderScan(cache.Folder(), [&](const ScannedMedia& media) { told.push_back(media); });
  ASSERT_EQ(scanned.media.size(), 1u);
  EXPECT_EQ(scanned.media.front().element.webAddress, "https://v.test/movie.mp4");
  const auto movie = std::find_if(told.begin(), told.end(), [](const ScannedMedia& media) {
    return media.element.webAddress == "https://v.test/movie.mp4";
  });
  ASSERT_NE(movie, told.end());
  EXPECT_EQ(movie->mediaClass, ReportClass::Video);
  EXPECT_EQ(movie->extension, scanned.media.front().extension);
  EXPECT_EQ(movie->element.pieces.size(), scanned.media.front().element.pieces.size());
  for (const ScannedMedia& media : told) {
    EXPECT_NE(media.element.webAddress, "https://v.test/page.html");
    EXPECT_NE(media.element.webAddress, "https://v.test/hls/index.m3u8");
  }
  ASSERT_EQ(scanned.streams.size(), 1u);
  const ReportRow row = ReportRowOfStream(scanned.streams.front(), "Chrome", "C:\\c", std::nullopt);
  EXPECT_EQ(row.webAddress, "https://v.test/hls/index.m3u8");
  EXPECT_EQ(row.extension, "mp4");
  EXPECT_EQ(row.mediaClass, ReportClass::Video);
  EXPECT_EQ(row.fullLength, joined.size());
  EXPECT_EQ(row.presentBytes, joined.size());
  EXPECT_TRUE(row.complete);
  ASSERT_TRUE(row.stream);
  EXPECT_EQ(row.stream->kind, ReportStreamKind::Hls);
  EXPECT_EQ(row.stream->presentSegments, 3u);
  EXPECT_EQ(row.stream->totalSegments, 3u);
  EXPECT_FALSE(row.stream->encrypted);
}

TEST(CacheStreams, VariantPlaylistsNameTheirStreamsOnceAndTheKindComesFromTheBytes) {
  Cache cache;
  // Sound only in the init, though the master names a video codec: the bytes decide.
  cache.Put("https://v.test/m/master.m3u8",
            TextBytes("#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=90000,CODECS=\"avc1.64001f,mp4a.40.2\"\n"
                      "low/index.m3u8\n#EXT-X-STREAM-INF:BANDWIDTH=900000,CODECS=\"avc1.64001f\"\n"
                      "high/index.m3u8\n"),
            "application/x-mpegurl");
  cache.Put("https://v.test/m/low/index.m3u8", TextBytes(kFmp4Playlist), "application/vnd.apple.mpegurl");
  cache.Put("https://v.test/m/low/init.mp4", Init({"soun"}), "audio/mp4");
  cache.Put("https://v.test/m/low/seg0.m4s", Fragment(10), "audio/mp4");
  // A media playlist named by the master whose segments are not in the cache.
  cache.Put("https://v.test/m/high/index.m3u8", TextBytes(kFmp4Playlist), "application/vnd.apple.mpegurl");
  // A TS media playlist under a generic type and without its extension,
  // addressing its segments from the root; an audio-only variant would say so.
  cache.Put("https://v.test/live/playlist?id=7",
            TextBytes("#EXTM3U\n#EXT-X-MEDIA-SEQUENCE:41\n#EXTINF:2,\n/ts/s41.ts\n#EXTINF:2,\n/ts/s42.ts\n"),
            "application/octet-stream");
  cache.Put("https://v.test/ts/s41.ts", TsSegment(41), "video/mp2t");
  cache.Put("https://v.test/ts/s42.ts", TsSegment(42), "video/mp2t");

  const Found found = FindStreams(cache.Folder());
  ASSERT_EQ(found.streams.streams.size(), 2u);
  const CacheStream* low = StreamAt(found, "https://v.test/m/low/index.m3u8");
  ASSERT_TRUE(low);
  EXPECT_EQ(low->kind, StreamKind::Audio);
  EXPECT_EQ(low->extension, "m4a");
  EXPECT_EQ(low->mediaType, "audio/mp4");
  EXPECT_EQ(low->plan.present, 1u);
  EXPECT_EQ(low->plan.total, 3u);
  EXPECT_FALSE(low->plan.complete);
  EXPECT_EQ(Written(cache.Folder(), *low), Cat({Init({"soun"}), Fragment(10)}));
  const CacheStream* live = StreamAt(found, "https://v.test/live/playlist?id=7");
  ASSERT_TRUE(live);
  EXPECT_EQ(live->extension, "ts");
  EXPECT_EQ(live->mediaType, "video/mp2t");
  EXPECT_EQ(live->kind, StreamKind::Video);
  EXPECT_TRUE(live->plan.complete);
  EXPECT_EQ(Written(cache.Folder(), *live), Cat({TsSegment(41), TsSegment(42)}));
  // Every playlist read is a stream part, the one without segments too.
  EXPECT_TRUE(found.Part("https://v.test/m/master.m3u8"));
  EXPECT_TRUE(found.Part("https://v.test/m/high/index.m3u8"));
  EXPECT_TRUE(found.Part("https://v.test/live/playlist?id=7"));
}

TEST(CacheStreams, HolesAndUnfinishedSegmentsLeaveTheStreamIncompleteAndTheJoinStopsAtTheFirst) {
  Cache cache;
  std::string playlist = "#EXTM3U\n";
  for (int i = 0; i < 6; ++i) playlist += "#EXTINF:1,\nseg" + std::to_string(i) + ".ts\n";
  playlist += "#EXT-X-ENDLIST\n";
  cache.Put("https://v.test/gaps/index.m3u8", TextBytes(playlist), "application/vnd.apple.mpegurl");
  cache.Put("https://v.test/gaps/seg0.ts", TsSegment(0), "video/mp2t");
  cache.Put("https://v.test/gaps/seg1.ts", TsSegment(1), "video/mp2t");
  // seg2 never fetched; seg3 cut short; seg4 still being written; seg5 whole.
  cache.Put("https://v.test/gaps/seg3.ts", TsSegment(3), "video/mp2t", 188 * 40);
  cache.Put("https://v.test/gaps/seg4.ts", TsSegment(4), "video/mp2t", std::nullopt, false);
  cache.Put("https://v.test/gaps/seg5.ts", TsSegment(5), "video/mp2t");

  const Found found = FindStreams(cache.Folder());
  ASSERT_EQ(found.streams.streams.size(), 1u);
  const CacheStream& stream = found.streams.streams.front();
  EXPECT_EQ(stream.plan.present, 3u);
  EXPECT_EQ(stream.plan.total, 6u);
  EXPECT_FALSE(stream.plan.complete);
  EXPECT_EQ(stream.presentBytes, 3u * 188 * 20);
  EXPECT_EQ(Written(cache.Folder(), stream), Cat({TsSegment(0), TsSegment(1)}));
  // The incomplete ones are the stream's too: none of them is grouped again.
  EXPECT_TRUE(found.Part("https://v.test/gaps/seg5.ts"));

  // Without its first segment nothing can be written.
  Cache late;
  late.Put("https://v.test/gaps/index.m3u8", TextBytes(playlist), "application/vnd.apple.mpegurl");
  late.Put("https://v.test/gaps/seg1.ts", TsSegment(1), "video/mp2t");
  const Found lateFound = FindStreams(late.Folder());
  ASSERT_EQ(lateFound.streams.streams.size(), 1u);
  EXPECT_EQ(lateFound.streams.streams.front().plan.present, 1u);
  EXPECT_TRUE(lateFound.streams.streams.front().pieces.empty());
  EXPECT_FALSE(Written(late.Folder(), lateFound.streams.streams.front()));
}

TEST(CacheStreams, EncryptedAndDrmStreamsAreListedButNeverWritten) {
  Cache cache;
  cache.Put("https://v.test/aes/index.m3u8",
            TextBytes("#EXTM3U\n#EXT-X-KEY:METHOD=AES-128,URI=\"key.bin\"\n#EXTINF:1,\nseg0.ts\n"
                      "#EXTINF:1,\nseg1.ts\n#EXT-X-ENDLIST\n"),
            "application/vnd.apple.mpegurl");
  cache.Put("https://v.test/aes/key.bin", Pattern(16, 1), "application/octet-stream");
  // Encrypted bytes are no TS packets.
  cache.Put("https://v.test/aes/seg0.ts", Pattern(188 * 20, 2), "video/mp2t");
  cache.Put("https://v.test/aes/seg1.ts", Pattern(188 * 20, 3), "video/mp2t");
  cache.Put(
      "https://v.test/drm/manifest.mpd",
      TextBytes("<?xml version=\"1.0\"?><MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\" "
                "mediaPresentationDuration=\"PT2S\"><Period><AdaptationSet mimeType=\"video/mp4\">"
                "<ContentProtection schemeIdUri=\"urn:mpeg:dash:mp4protection:2011\" value=\"cenc\"/>"
                "<Representation id=\"v\" bandwidth=\"1\"><SegmentTemplate timescale=\"1\" duration=\"1\" "
                "initialization=\"init-$RepresentationID$.m4s\" media=\"c-$Number$.m4s\"/>"
                "</Representation></AdaptationSet></Period></MPD>"),
      "application/dash+xml");
  cache.Put("https://v.test/drm/init-v.m4s", Init({"vide"}), "video/mp4");
  cache.Put("https://v.test/drm/c-1.m4s", Fragment(1), "video/mp4");
  cache.Put("https://v.test/drm/c-2.m4s", Fragment(2), "video/mp4");

  const Found found = FindStreams(cache.Folder());
  ASSERT_EQ(found.streams.streams.size(), 2u);
  const CacheStream* aes = StreamAt(found, "https://v.test/aes/index.m3u8");
  ASSERT_TRUE(aes);
  EXPECT_TRUE(aes->protectedContent);
  EXPECT_EQ(aes->extension, "ts");
  EXPECT_TRUE(aes->plan.complete);
  EXPECT_TRUE(aes->pieces.empty());
  EXPECT_FALSE(Written(cache.Folder(), *aes));
  EXPECT_TRUE(found.Part("https://v.test/aes/seg1.ts"));
  const CacheStream* drm = StreamAt(found, "https://v.test/drm/manifest.mpd", "v");
  ASSERT_TRUE(drm);
  EXPECT_TRUE(drm->protectedContent);
  EXPECT_EQ(drm->extension, "mp4");
  EXPECT_EQ(drm->plan.present, 2u);
  EXPECT_FALSE(Written(cache.Folder(), *drm));

  const ScannedCacheFolder scanned = CacheFolderScan(cache.Folder());
  EXPECT_TRUE(scanned.media.empty());
  ASSERT_EQ(scanned.streams.size(), 2u);
  const ReportRow row = ReportRowOfStream(scanned.streams.front(), "", "", std::nullopt);
  ASSERT_TRUE(row.stream);
  EXPECT_TRUE(row.stream->encrypted);
}

TEST(CacheStreams, DashRepresentationsAndByteRangesOfOneResource) {
  Cache cache;
  cache.Put(
      "https://v.test/dash/manifest.mpd",
      TextBytes(
          "<MPD mediaPresentationDuration=\"PT2S\"><Period>"
          "<AdaptationSet mimeType=\"video/mp4\"><Representation id=\"0\" bandwidth=\"1\"/>"
          "<Representation id=\"2\" bandwidth=\"9\"/></AdaptationSet>"
          "<AdaptationSet mimeType=\"audio/mp4\"><Representation id=\"1\" bandwidth=\"1\"/></AdaptationSet>"
          "<SegmentTemplate timescale=\"10\" duration=\"10\" initialization=\"init-$RepresentationID$.m4s\" "
          "media=\"chunk-$RepresentationID$-$Number%05d$.m4s\"/></Period></MPD>"),
      "application/dash+xml");
  cache.Put("https://v.test/dash/init-0.m4s", Init({"vide"}), "video/mp4");
  cache.Put("https://v.test/dash/chunk-0-00001.m4s", Fragment(1), "video/mp4");
  cache.Put("https://v.test/dash/chunk-0-00002.m4s", Fragment(2), "video/mp4");
  cache.Put("https://v.test/dash/init-1.m4s", Init({"soun"}), "audio/mp4");
  cache.Put("https://v.test/dash/chunk-1-00001.m4s", Fragment(11), "audio/mp4");
  cache.Put("https://v.test/dash/chunk-1-00002.m4s", Fragment(12), "audio/mp4");
  // One resource, addressed by ranges: its init, then two fragments.
  const ByteVector whole = Cat({Init({"vide"}), Fragment(21, 300), Fragment(22, 400)});
  const std::size_t initLength = Init({"vide"}).size();
  const std::size_t first = Fragment(21, 300).size();
  cache.Put("https://v.test/r/index.m3u8",
            TextBytes("#EXTM3U\n#EXT-X-MAP:URI=\"all.mp4\",BYTERANGE=\"" + std::to_string(initLength) +
                      "@0\"\n#EXTINF:1,\n#EXT-X-BYTERANGE:" + std::to_string(first) + "@" +
                      std::to_string(initLength) + "\nall.mp4\n#EXTINF:1,\n#EXT-X-BYTERANGE:" +
                      std::to_string(whole.size() - initLength - first) + "\nall.mp4\n#EXT-X-ENDLIST\n"),
            "application/vnd.apple.mpegurl");
  cache.Put("https://v.test/r/all.mp4", whole, "video/mp4");

  const Found found = FindStreams(cache.Folder());
  ASSERT_EQ(found.streams.streams.size(), 3u) << "the representation without segments is left out";
  const CacheStream* video = StreamAt(found, "https://v.test/dash/manifest.mpd", "0");
  const CacheStream* audio = StreamAt(found, "https://v.test/dash/manifest.mpd", "1");
  ASSERT_TRUE(video && audio);
  EXPECT_EQ(video->origin, CacheStreamOrigin::Dash);
  EXPECT_EQ(video->extension, "mp4");
  EXPECT_EQ(audio->extension, "m4a");
  EXPECT_EQ(audio->kind, StreamKind::Audio);
  EXPECT_TRUE(video->plan.complete && audio->plan.complete);
  EXPECT_EQ(Written(cache.Folder(), *video), Cat({Init({"vide"}), Fragment(1), Fragment(2)}));
  EXPECT_EQ(Written(cache.Folder(), *audio), Cat({Init({"soun"}), Fragment(11), Fragment(12)}));
  const CacheStream* ranges = StreamAt(found, "https://v.test/r/index.m3u8");
  ASSERT_TRUE(ranges);
  EXPECT_TRUE(ranges->plan.complete);
  EXPECT_EQ(ranges->plan.total, 2u);
  EXPECT_EQ(ranges->presentBytes, whole.size());
  ASSERT_EQ(ranges->pieces.size(), 3u);
  EXPECT_EQ(ranges->sources.size(), 1u) << "one resource read three times";
  EXPECT_EQ(Written(cache.Folder(), *ranges), whole);
  // The resource is part of the stream, not a video of its own.
  EXPECT_TRUE(found.Part("https://v.test/r/all.mp4"));
  const ScannedCacheFolder scanned = CacheFolderScan(cache.Folder());
  EXPECT_TRUE(scanned.media.empty());
}

TEST(CacheStreams, SegmentsNoPlaylistNamesFormOneStreamPerRunWithTheirFoldersInit) {
  Cache cache;
  // A run of 1-3, a hole, then 5 alone; the query stays in the pattern.
  for (const int number : {3, 1, 2, 5})
    cache.Put("https://v.test/t/s" + std::to_string(number) + ".ts?k=1", TsSegment(number), "video/mp2t");
  // Fragments and the one init segment of their folder (a playlist not stored).
  cache.Put("https://v.test/f/init.mp4", Init({"vide", "soun"}), "video/mp4");
  cache.Put("https://v.test/f/seg0.m4s", Fragment(30), "video/mp4");
  cache.Put("https://v.test/f/seg1.m4s", Fragment(31), "video/mp4");
  // Two representations in one folder: the init whose number the pattern holds.
  cache.Put("https://v.test/d/init-0.m4s", Init({"vide"}), "video/mp4");
  cache.Put("https://v.test/d/init-1.m4s", Init({"soun"}), "audio/mp4");
  cache.Put("https://v.test/d/chunk-1-7.m4s", Fragment(40), "audio/mp4");
  // Two inits that both fit: the fragments cannot be joined.
  cache.Put("https://v.test/e/a.mp4", Init({"vide"}), "video/mp4");
  cache.Put("https://v.test/e/b.mp4", Init({"vide"}), "video/mp4");
  cache.Put("https://v.test/e/frag9.m4s", Fragment(50), "video/mp4");

  const Found found = FindStreams(cache.Folder());
  ASSERT_EQ(found.streams.streams.size(), 5u);
  for (const CacheStream& stream : found.streams.streams)
    EXPECT_EQ(stream.origin, CacheStreamOrigin::SegmentGroup);
  const CacheStream* run = StreamAt(found, "https://v.test/t/s1.ts?k=1");
  ASSERT_TRUE(run);
  EXPECT_EQ(run->plan.total, 3u);
  EXPECT_TRUE(run->plan.complete);
  EXPECT_EQ(Written(cache.Folder(), *run), Cat({TsSegment(1), TsSegment(2), TsSegment(3)}));
  const CacheStream* alone = StreamAt(found, "https://v.test/t/s5.ts?k=1");
  ASSERT_TRUE(alone);
  EXPECT_EQ(Written(cache.Folder(), *alone), TsSegment(5));
  const CacheStream* fmp4 = StreamAt(found, "https://v.test/f/seg0.m4s");
  ASSERT_TRUE(fmp4);
  EXPECT_EQ(fmp4->extension, "mp4");
  EXPECT_TRUE(fmp4->plan.complete);
  EXPECT_EQ(Written(cache.Folder(), *fmp4), Cat({Init({"vide", "soun"}), Fragment(30), Fragment(31)}));
  EXPECT_TRUE(found.Part("https://v.test/f/init.mp4"));
  const CacheStream* chosen = StreamAt(found, "https://v.test/d/chunk-1-7.m4s");
  ASSERT_TRUE(chosen);
  EXPECT_EQ(chosen->extension, "m4a");
  EXPECT_EQ(Written(cache.Folder(), *chosen), Cat({Init({"soun"}), Fragment(40)}));
  const CacheStream* unsure = StreamAt(found, "https://v.test/e/frag9.m4s");
  ASSERT_TRUE(unsure);
  EXPECT_FALSE(unsure->plan.initPresent);
  EXPECT_FALSE(unsure->plan.complete);
  EXPECT_EQ(unsure->plan.present, 1u);
  EXPECT_FALSE(Written(cache.Folder(), *unsure));
}

TEST(CacheStreams, PlaylistsNotInTheirCodingAndUnfinishedOnesAreNotRead) {
  Cache cache;
  const std::string playlist = "#EXTM3U\n#EXTINF:1,\nseg7.ts\n#EXTINF:1,\nseg8.ts\n#EXTINF:1,\nseg9.ts\n";
  // Said to be gzip-encoded, stored plain: bytes that are not what they say.
  cache.Put("https://v.test/z/index.m3u8", TextBytes(playlist), "application/vnd.apple.mpegurl", std::nullopt,
            true, "gzip");
  // Cut short: what is there is not the whole list.
  cache.Put("https://v.test/y/index.m3u8", TextBytes(playlist), "application/vnd.apple.mpegurl",
            playlist.size() + 50);
  for (const char* folder : {"z", "y"})
    for (const int number : {7, 8})
      cache.Put(std::string("https://v.test/") + folder + "/seg" + std::to_string(number) + ".ts",
                TsSegment(number), "video/mp2t");
  const Found found = FindStreams(cache.Folder());
  // Their segments are grouped instead: 7-8 of each folder, complete as far as anyone knows.
  ASSERT_EQ(found.streams.streams.size(), 2u);
  for (const CacheStream& stream : found.streams.streams) {
    EXPECT_EQ(stream.origin, CacheStreamOrigin::SegmentGroup);
    EXPECT_EQ(stream.plan.total, 2u);
  }
  EXPECT_FALSE(found.Part("https://v.test/z/index.m3u8"));
}


// Playlists stored as the server compressed them (made by gzip, brotli and
// zstd) are read: one stream each, with the playlist's address, whether the
// type or only the decoded bytes say playlist.
TEST(CacheStreams, CompressedPlaylistsGiveTheirStreams) {
  Cache cache;
  struct Stored {
    const char* file;
    const char* encoding;
    const char* address;
    const char* type;
  };
  const Stored stored[] = {
      {"short.m3u8.gz", "gzip", "https://v.test/gz/index.m3u8", "application/vnd.apple.mpegurl"},
      {"short.m3u8.br", "br", "https://v.test/br/list?id=4", "text/plain"},
      {"short.m3u8.zst", "zstd", "https://v.test/zst/index.m3u8", "application/x-mpegurl"},
  };
  for (const Stored& s : stored) {
    cache.Put(s.address, CompressedDataFile(s.file), s.type, std::nullopt, true, s.encoding);
    const std::string folder = std::string(s.address).substr(0, std::string(s.address).rfind('/') + 1);
    for (const int number : {7, 8}) cache.Put(folder + "seg" + std::to_string(number) + ".ts", TsSegment(number), "video/mp2t");
  }
  const Found found = FindStreams(cache.Folder());
  ASSERT_EQ(found.streams.streams.size(), 3u);
  for (const Stored& s : stored) {
    SCOPED_TRACE(s.file);
    const CacheStream* stream = StreamAt(found, s.address);
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->origin, CacheStreamOrigin::Hls);
    EXPECT_TRUE(stream->plan.complete);
    EXPECT_EQ(stream->plan.total, 2u);
    EXPECT_TRUE(found.Part(s.address));
    const std::optional<ByteVector> joined = Written(cache.Folder(), *stream);
    ASSERT_TRUE(joined);
    ByteVector expected = TsSegment(7);
    const ByteVector second = TsSegment(8);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_TRUE(*joined == expected);
  }
}

// A few hundred bytes of brotli claiming 64 MiB of playlist: read as far as
// the budget, a playlist cut short, and its stream still found.
TEST(CacheStreams, ACompressedPlaylistBombIsReadCutShort) {
  Cache cache;
  cache.Put("https://v.test/bomb/index.m3u8", CompressedDataFile("bomb.m3u8.br"), "application/vnd.apple.mpegurl",
            std::nullopt, true, "br");
  cache.Put("https://v.test/bomb/bomb.ts", TsSegment(0), "video/mp2t");
  MemoryCacheFolder& folder = cache.Folder();
  const std::vector<CacheElement> elements = ChromiumCacheRead(folder);
  const auto playlist = std::find_if(elements.begin(), elements.end(), [](const CacheElement& element) {
    return element.webAddress == "https://v.test/bomb/index.m3u8";
  });
  ASSERT_NE(playlist, elements.end());
  const DecodedBody text = CacheBodyText(folder, *playlist, kBodyTextBudget);
  EXPECT_EQ(text.end, DecodeEnd::CutShort);
  EXPECT_EQ(text.bytes.size(), kBodyTextBudget);
  const Found found = FindStreams(folder);
  const CacheStream* stream = StreamAt(found, "https://v.test/bomb/index.m3u8");
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->origin, CacheStreamOrigin::Hls);
  EXPECT_GT(stream->plan.total, 0u);
}

// A segment stored compressed is missing from its stream: its bytes joined
// as they are would not play.
TEST(CacheStreams, ACompressedSegmentIsMissingFromTheJoin) {
  Cache cache;
  cache.Put("https://v.test/c/index.m3u8", TextBytes("#EXTM3U\n#EXTINF:1,\nseg7.ts\n#EXTINF:1,\nseg8.ts\n#EXT-X-ENDLIST\n"),
            "application/vnd.apple.mpegurl");
  cache.Put("https://v.test/c/seg7.ts", TsSegment(7), "video/mp2t");
  const ByteVector segment = TsSegment(8);
  ByteVector deflated(compressBound(static_cast<uLong>(segment.size())));
  uLongf deflatedSize = static_cast<uLongf>(deflated.size());
  ASSERT_EQ(compress2(deflated.data(), &deflatedSize, segment.data(), static_cast<uLong>(segment.size()), 9), Z_OK);
  deflated.resize(deflatedSize);
  cache.Put("https://v.test/c/seg8.ts", deflated, "video/mp2t", std::nullopt, true, "deflate");
  const Found found = FindStreams(cache.Folder());
  const CacheStream* stream = StreamAt(found, "https://v.test/c/index.m3u8");
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->plan.total, 2u);
  EXPECT_EQ(stream->plan.present, 1u);
  EXPECT_FALSE(stream->plan.complete);
}

// Media is never offered compressed; a compressed playlist is told by its
// decoded bytes.
TEST(CacheStreams, CompressedBodiesAreLookedIntoForPlaylistsOnly) {
  Cache cache;
  cache.Put("https://v.test/list", CompressedDataFile("short.m3u8.zst"), "", std::nullopt, true, "zstd");
  // An MP4 sent deflate-encoded (zlib-wrapped, by zlib itself).
  const ByteVector movie = Mp4Head(3000, 5);
  ByteVector deflated(compressBound(static_cast<uLong>(movie.size())));
  uLongf deflatedSize = static_cast<uLongf>(deflated.size());
  ASSERT_EQ(compress2(deflated.data(), &deflatedSize, movie.data(), static_cast<uLong>(movie.size()), 9), Z_OK);
  deflated.resize(deflatedSize);
  cache.Put("https://v.test/movie.mp4", deflated, "video/mp4", std::nullopt, true, "deflate");
  cache.Put("https://v.test/odd", TextBytes("#EXTM3U"), "", std::nullopt, true, "compress");
  MemoryCacheFolder& folder = cache.Folder();
  for (const CacheElement& element : ChromiumCacheRead(folder)) {
    SCOPED_TRACE(element.webAddress);
    const MediaSignature signature = CacheElementSignature(folder, element);
    if (element.webAddress == "https://v.test/list")
      EXPECT_EQ(signature.nature, MediaNature::Playlist);
    else
      EXPECT_EQ(signature.nature, MediaNature::NotMedia);
  }
}

}  // namespace
