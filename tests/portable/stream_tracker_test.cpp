// The watch's stream bookkeeping on hand-built simple caches that change
// between looks, with a clock the test moves: when a stream is handed on
// (once), what a group waits for, what is followed and forgotten, and that
// the reference handed on reads the stream again, joined bytes and all.
#include <gtest/gtest.h>

#include <cstdio>

#include "app/browser_caches/cache_folder_memory.h"
#include "app/browser_caches/chromium_block_files.h"
#include "app/browser_caches/chromium_cache.h"
#include "app/cache_watch/cache_candidates.h"
#include "app/cache_watch/stream_tracker.h"
#include "app/streams/cache_stream_reader.h"
#include "app/streams/stream_parts.h"
#include "tests/support/cache_folder_ref.h"
#include "tests/support/chromium_cache_builders.h"
#include "tests/support/stream_media_builders.h"

namespace {

const CacheFolderName kCache{u"C:\\cache", "C:\\cache"};

constexpr char kFmp4Playlist[] =
    "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXT-X-MAP:URI=\"init.mp4\"\n"
    "#EXTINF:1,\nseg0.m4s\n#EXTINF:1,\nseg1.m4s\n#EXTINF:1,\nseg2.m4s\n#EXT-X-ENDLIST\n";

// A simple cache the test writes entry by entry, and a tracker fed as the
// candidate trackers feed it: each entry read and sniffed when it is put.
class StreamTrackerTest : public testing::Test, public CacheFolderOpener {
 protected:
  StreamTrackerTest() { folder_.Put("index", SimpleIndex()); }

  std::unique_ptr<CacheFolder> Open(const CacheFolderName& name) override {
    ++opens;
    if (name.ansi != kCache.ansi) return nullptr;
    return std::make_unique<CacheFolderRef>(folder_);
  }

  // Writes (or rewrites) the entry of `url`; `closed` false leaves it being
  // written.  Returns the entry file's name.
  std::string Put(const std::string& url, const ByteVector& body, std::string_view type, bool closed = true,
                  std::optional<std::size_t> fullLength = std::nullopt) {
    std::string& name = names_[url];
    if (name.empty()) {
      char text[32];
      std::snprintf(text, sizeof text, "%016zx_0", names_.size());
      name = text;
    }
    const std::string length = "Content-Length: " + std::to_string(fullLength.value_or(body.size()));
    const std::string typeLine = "Content-Type: " + std::string(type);
    const ByteVector pickle = ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", typeLine, length}));
    folder_.Put(name, SimpleMainFile(Key(url), body, closed ? &pickle : nullptr));
    return name;
  }

  // Put, then handed to the tracker when it is a stream part.
  void Found(const std::string& url, const ByteVector& body, std::string_view type, std::uint64_t nowMs,
             bool closed = true) {
    const std::string name = Put(url, body, type, closed);
    const std::optional<CacheElement> element =
        ChromiumElementRead(folder_, CacheStore::ChromiumSimple, name, {});
    ASSERT_TRUE(element);
    const MediaSignature signature = CacheElementSignature(folder_, *element);
    ASSERT_TRUE(StreamPartIs(signature, *element)) << url;
    tracker.PartFound(1, kCache, {CacheStore::ChromiumSimple, name, element->key}, *element, signature,
                      nowMs);
  }

  static std::string Key(const std::string& url) { return "1/0/_dk_https://v.test https://v.test " + url; }

  std::vector<MediaElementRef> LookAt(std::uint64_t nowMs) {
    std::vector<MediaElementRef> found;
    tracker.Look(nowMs, found);
    return found;
  }

  // The stream a reference names, read again from its parts, and its joined bytes.
  std::optional<ByteVector> Joined(const MediaElementRef& ref, CacheStream* out = nullptr) {
    const StreamElements read = StreamPartsRead(folder_, ref.streamParts);
    const CacheStreams streams = CacheStreamsFind(folder_, read.elements, read.signatures);
    const CacheStream* stream = StreamNamed(streams, ref.webAddress, ref.representation, ref.segmentGroup);
    if (stream == nullptr) return std::nullopt;
    if (out != nullptr) *out = *stream;
    CacheStreamReader reader(folder_, *stream);
    ByteVector bytes;
    std::uint8_t block[333];  // smaller than a piece, so pieces are read in several steps
    for (std::size_t got; (got = reader.Read(block, sizeof block)) != 0;)
      bytes.insert(bytes.end(), block, block + got);
    if (reader.Failed()) return std::nullopt;
    return bytes;
  }

  MemoryCacheFolder folder_;
  std::map<std::string, std::string> names_;
  int opens = 0;
  StreamTracker tracker{*this};
};

TEST_F(StreamTrackerTest, PlaylistStreamIsHandedOnOnceWhenItsFirstSegmentIsThereAndItsRefReadsTheJoinedFile) {
  const ByteVector init = Init({"vide"});
  Found("https://v.test/hls/index.m3u8", TextBytes(kFmp4Playlist), "application/vnd.apple.mpegurl", 0);
  Found("https://v.test/hls/init.mp4", init, "video/mp4", 0);
  EXPECT_TRUE(tracker.Pending());
  EXPECT_TRUE(LookAt(0).empty());  // no media segment yet
  EXPECT_FALSE(tracker.Pending());

  Found("https://v.test/hls/seg0.m4s", Fragment(0, 700), "video/iso.segment", 600);
  const auto found = LookAt(600);
  ASSERT_EQ(found.size(), 1u);
  const MediaElementRef& ref = found.front();
  EXPECT_TRUE(ref.IsStream());
  EXPECT_EQ(ref.session, 1u);
  EXPECT_EQ(ref.webAddress, "https://v.test/hls/index.m3u8");
  EXPECT_EQ(ref.nature, MediaNature::Video);
  EXPECT_EQ(ref.extension, "mp4");
  EXPECT_FALSE(ref.segmentGroup);
  EXPECT_EQ(ref.folderAnsi, "C:\\cache");
  EXPECT_EQ(ref.streamParts.size(), 3u);

  // The rest arrives: the same stream, not handed on again; its reference,
  // read now, holds every segment.
  Found("https://v.test/hls/seg1.m4s", Fragment(1, 700), "video/iso.segment", 1200);
  Found("https://v.test/hls/seg2.m4s", Fragment(2, 700), "video/iso.segment", 1200);
  EXPECT_TRUE(LookAt(1200).empty());
  EXPECT_EQ(tracker.Figures().handedOn, 1u);
  CacheStream stream;
  MediaElementRef later = ref;
  later.streamParts.push_back({CacheStore::ChromiumSimple, names_["https://v.test/hls/seg1.m4s"],
                               Key("https://v.test/hls/seg1.m4s")});
  later.streamParts.push_back({CacheStore::ChromiumSimple, names_["https://v.test/hls/seg2.m4s"],
                               Key("https://v.test/hls/seg2.m4s")});
  EXPECT_EQ(Joined(later, &stream), Cat({init, Fragment(0, 700), Fragment(1, 700), Fragment(2, 700)}));
  EXPECT_TRUE(stream.plan.complete);
  // The reference as handed on knows only the first segment: the run it gives.
  EXPECT_EQ(Joined(ref), Cat({init, Fragment(0, 700)}));
}

TEST_F(StreamTrackerTest, FindsRunOnlyWhenPartsChangeAndAtMostOnceAnInterval) {
  Found("https://v.test/hls/index.m3u8", TextBytes(kFmp4Playlist), "application/vnd.apple.mpegurl", 0);
  LookAt(0);
  EXPECT_EQ(tracker.Figures().finds, 1u);
  LookAt(5000);  // nothing changed
  EXPECT_EQ(tracker.Figures().finds, 1u);
  Found("https://v.test/hls/init.mp4", Init({"soun"}), "audio/mp4", 5100);
  LookAt(5100);
  Found("https://v.test/hls/seg0.m4s", Fragment(0, 700), "audio/iso.segment", 5200);
  EXPECT_TRUE(LookAt(5200).empty());  // within the interval of the last find
  EXPECT_EQ(tracker.Figures().finds, 2u);
  const auto found = LookAt(5600);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found.front().nature, MediaNature::Audio);
  EXPECT_EQ(found.front().extension, "m4a");
  EXPECT_EQ(tracker.Figures().finds, 3u);
}

TEST_F(StreamTrackerTest, GroupWaitsUntilItsSegmentsAreQuietAndIsNotOfferedAgainWhenItsPlaylistComes) {
  Found("https://v.test/live/seg5.ts", TsSegment(5, 30), "video/mp2t", 0);
  Found("https://v.test/live/seg6.ts", TsSegment(6, 30), "video/mp2t", 0);
  EXPECT_TRUE(LookAt(0).empty());
  EXPECT_TRUE(tracker.Pending());
  Found("https://v.test/live/seg7.ts", TsSegment(7, 30), "video/mp2t", 1500);
  EXPECT_TRUE(LookAt(2000).empty());  // 0.5 s after the group last grew
  // Another stream's segments keep coming: they do not hold this group back.
  Found("https://v.test/other/a1.ts", TsSegment(21, 30), "video/mp2t", 2500);
  EXPECT_TRUE(LookAt(3000).empty());
  Found("https://v.test/other/a2.ts", TsSegment(22, 30), "video/mp2t", 3400);
  const auto found = LookAt(3500);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_TRUE(found.front().segmentGroup);
  EXPECT_EQ(found.front().webAddress, "https://v.test/live/seg5.ts");
  EXPECT_EQ(found.front().extension, "ts");
  EXPECT_EQ(Joined(found.front()), Cat({TsSegment(5, 30), TsSegment(6, 30), TsSegment(7, 30)}));
  EXPECT_TRUE(tracker.Pending());  // the other group waits
  const auto other = LookAt(5400);
  ASSERT_EQ(other.size(), 1u);
  EXPECT_EQ(other.front().webAddress, "https://v.test/other/a1.ts");
  EXPECT_FALSE(tracker.Pending());

  // The playlist arrives late: its stream holds the segments offered already.
  Found("https://v.test/live/index.m3u8",
        TextBytes("#EXTM3U\n#EXT-X-MEDIA-SEQUENCE:5\n#EXTINF:1,\nseg5.ts\n#EXTINF:1,\nseg6.ts\n#EXTINF:1,\n"
                  "seg7.ts\n#EXTINF:1,\nseg8.ts\n"),
        "application/vnd.apple.mpegurl", 6000);
  EXPECT_TRUE(LookAt(6000).empty());
  EXPECT_TRUE(LookAt(11000).empty());
  // The group's reference now finds the playlist's stream that holds its first segment.
  CacheStream stream;
  MediaElementRef ref = found.front();
  ref.streamParts.push_back({CacheStore::ChromiumSimple, names_["https://v.test/live/index.m3u8"],
                             Key("https://v.test/live/index.m3u8")});
  ASSERT_TRUE(Joined(ref, &stream));
  EXPECT_EQ(stream.origin, CacheStreamOrigin::Hls);
  EXPECT_EQ(stream.plan.present, 3u);
  EXPECT_EQ(stream.plan.total, 4u);
}

TEST_F(StreamTrackerTest, UnfinishedPartsAreFollowedUntilFinishedOrUnchangedTooLongAndDroppedWhenGone) {
  const std::string playlist = "#EXTM3U\n#EXTINF:1,\nseg0.ts\n#EXTINF:1,\nseg1.ts\n#EXT-X-ENDLIST\n";
  Found("https://v.test/a/index.m3u8", TextBytes(playlist), "application/vnd.apple.mpegurl", 0);
  // The first segment is still being written: no segment complete yet.
  const ByteVector seg0 = TsSegment(0, 30);
  Found("https://v.test/a/seg0.ts", ByteVector(seg0.begin(), seg0.begin() + 188 * 10), "video/mp2t", 0,
        false);
  EXPECT_TRUE(LookAt(0).empty());
  EXPECT_TRUE(tracker.Pending());  // followed
  EXPECT_TRUE(LookAt(600).empty());
  // Finished: read again by the tracker itself, no new part found.
  Put("https://v.test/a/seg0.ts", seg0, "video/mp2t");
  const auto found = LookAt(1200);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found.front().webAddress, "https://v.test/a/index.m3u8");
  EXPECT_FALSE(tracker.Pending());

  // A part that stays unfinished is left after its lifetime.
  Found("https://v.test/b/seg1.ts", ByteVector(seg0.begin(), seg0.begin() + 188 * 10), "video/mp2t", 2000,
        false);
  LookAt(2000);
  EXPECT_TRUE(tracker.Pending());
  LookAt(2000 + StreamTrackerLimits{}.unfinishedLifetimeMs);
  EXPECT_FALSE(tracker.Pending());

  // One the browser removes while it is followed is dropped.
  Found("https://v.test/c/seg1.ts", ByteVector(seg0.begin(), seg0.begin() + 188 * 10), "video/mp2t", 70000,
        false);
  const std::size_t parts = tracker.PartCount();
  folder_.Remove(names_["https://v.test/c/seg1.ts"]);
  LookAt(70000);
  EXPECT_EQ(tracker.PartCount(), parts - 1);
  EXPECT_FALSE(tracker.Pending());

  // A new session offers the stream again; the ended one's memory is gone.
  tracker.SessionEnded(1);
  EXPECT_EQ(tracker.PartCount(), 0u);
  const std::string name = names_["https://v.test/a/index.m3u8"];
  for (const char* url : {"https://v.test/a/index.m3u8", "https://v.test/a/seg0.ts"}) {
    const std::optional<CacheElement> element =
        ChromiumElementRead(folder_, CacheStore::ChromiumSimple, names_[url], {});
    ASSERT_TRUE(element);
    tracker.PartFound(2, kCache, {CacheStore::ChromiumSimple, names_[url], element->key}, *element,
                      CacheElementSignature(folder_, *element), 80000);
  }
  const auto again = LookAt(80000);
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again.front().session, 2u);
}

TEST_F(StreamTrackerTest, EncryptedStreamIsHandedOnMarkedByItsRereadAndPartsAreCappedOldestFirst) {
  Found("https://v.test/k/index.m3u8",
        TextBytes("#EXTM3U\n#EXT-X-KEY:METHOD=AES-128,URI=\"k.key\"\n#EXTINF:1,\nseg0.ts\n#EXT-X-ENDLIST\n"),
        "application/vnd.apple.mpegurl", 0);
  Found("https://v.test/k/seg0.ts", Pattern(188 * 30, 9), "video/mp2t", 0);
  const auto found = LookAt(0);
  ASSERT_EQ(found.size(), 1u);
  CacheStream stream;
  EXPECT_FALSE(Joined(found.front(), &stream));  // nothing to read from a protected stream
  const StreamElements read = StreamPartsRead(folder_, found.front().streamParts);
  const CacheStreams streams = CacheStreamsFind(folder_, read.elements, read.signatures);
  const CacheStream* named = StreamNamed(streams, found.front().webAddress, {}, false);
  ASSERT_NE(named, nullptr);
  EXPECT_TRUE(named->protectedContent);

  StreamTracker capped(*this, StreamTrackerLimits{.partsPerFolder = 2});
  for (int i = 0; i < 4; ++i) {
    const std::string url = "https://v.test/cap/seg" + std::to_string(i) + ".ts";
    const std::string name = Put(url, TsSegment(i), "video/mp2t");
    const std::optional<CacheElement> element =
        ChromiumElementRead(folder_, CacheStore::ChromiumSimple, name, {});
    capped.PartFound(1, kCache, {CacheStore::ChromiumSimple, name, element->key}, *element,
                     CacheElementSignature(folder_, *element), 0);
  }
  EXPECT_EQ(capped.PartCount(), 2u);
  EXPECT_EQ(capped.Figures().partsDropped, 2u);
  std::vector<MediaElementRef> group;
  capped.Look(5000, group);
  ASSERT_EQ(group.size(), 1u);
  EXPECT_EQ(group.front().webAddress, "https://v.test/cap/seg2.ts");  // the newest two kept
}

TEST_F(StreamTrackerTest, StreamReaderFailsWhenTheCacheGivesFewerBytesThanPlanned) {
  Found("https://v.test/r/seg1.ts", TsSegment(1, 30), "video/mp2t", 0);
  Found("https://v.test/r/seg2.ts", TsSegment(2, 30), "video/mp2t", 0);
  const auto found = LookAt(5000);
  ASSERT_EQ(found.size(), 1u);
  const StreamElements read = StreamPartsRead(folder_, found.front().streamParts);
  const CacheStreams streams = CacheStreamsFind(folder_, read.elements, read.signatures);
  const CacheStream* stream = StreamNamed(streams, "https://v.test/r/seg1.ts", {}, true);
  ASSERT_NE(stream, nullptr);
  // The browser replaces the second segment by a shorter body meanwhile.
  const ByteVector seg2 = TsSegment(2, 30);
  Put("https://v.test/r/seg2.ts", ByteVector(seg2.begin(), seg2.begin() + 188), "video/mp2t");
  CacheStreamReader reader(folder_, *stream);
  std::vector<std::uint8_t> block(1 << 16);
  std::size_t total = 0;
  for (std::size_t got; (got = reader.Read(block.data(), block.size())) != 0;) total += got;
  EXPECT_TRUE(reader.Failed());
  EXPECT_LT(total, stream->presentBytes);
}

// Through the candidate tracker: a playlist and segments of a simple cache,
// found as new files, come out as one stream reference.
TEST_F(StreamTrackerTest, CandidatesKeepPlaylistsAndSegmentsAsStreamParts) {
  CacheCandidates candidates(*this);
  const std::string playlist =
      Put("https://v.test/c/index.m3u8",
          TextBytes("#EXTM3U\n#EXTINF:1,\nseg0.ts\n#EXTINF:1,\nseg1.ts\n#EXT-X-ENDLIST\n"),
          "application/vnd.apple.mpegurl");
  const std::string seg0 = Put("https://v.test/c/seg0.ts", TsSegment(0, 30), "video/mp2t");
  const std::string seg1 = Put("https://v.test/c/seg1.ts", TsSegment(1, 30), "video/mp2t");
  for (const std::string& name : {playlist, seg0, seg1}) candidates.FileAdded(1, kCache, name, 0);
  std::vector<MediaElementRef> found;
  candidates.Look(0, found);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found.front().webAddress, "https://v.test/c/index.m3u8");
  EXPECT_EQ(found.front().streamParts.size(), 3u);
  EXPECT_EQ(Joined(found.front()), Cat({TsSegment(0, 30), TsSegment(1, 30)}));
  EXPECT_FALSE(candidates.Pending());
  candidates.FileAdded(1, kCache, seg1.substr(0, 16) + "_s", 100);
  found.clear();
  candidates.Look(1000, found);
  EXPECT_TRUE(found.empty());
}

// Block files keep the playlist and the init segment inside data_1 and
// data_2, where no new file shows them: the fragments' own files start a
// group, and a walk of the index finds the rest, so the stream goes on with
// its playlist's address.
class BlockFolder final : public CacheFolderOpener {
 public:
  std::unique_ptr<CacheFolder> Open(const CacheFolderName&) override {
    return std::make_unique<CacheFolderRef>(memory);
  }
  MemoryCacheFolder memory;
};

TEST(StreamTrackerBlockFiles, PlaylistAndInitInsideTheDataFilesAreFoundByAWalkOfTheIndex) {
  BlockFolder folder;
  BlockCacheBuilder builder;
  const ByteVector playlistHeaders =
      ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: application/vnd.apple.mpegurl"}));
  const ByteVector segmentHeaders =
      ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: video/mp4"}));
  const ByteVector playlist = TextBytes(
      "#EXTM3U\n#EXT-X-MAP:URI=\"init.mp4\"\n#EXTINF:1,\nseg0.m4s\n#EXTINF:1,\nseg1.m4s\n#EXT-X-ENDLIST\n");
  const ByteVector init = Init({"vide"});
  // Large enough for files of their own.
  const ByteVector seg0 = Cat({Box("styp", ByteVector(8, 0)), Box("moof", Pattern(20000, 1))});
  const ByteVector seg1 = Cat({Box("styp", ByteVector(8, 0)), Box("moof", Pattern(20000, 2))});
  const std::string base = "1/0/_dk_https://v.test https://v.test https://v.test/b/";
  const struct {
    std::string name;
    const ByteVector* headers;
    const ByteVector* body;
  } entries[] = {{"index.m3u8", &playlistHeaders, &playlist},
                 {"init.mp4", &segmentHeaders, &init},
                 {"seg0.m4s", &segmentHeaders, &seg0},
                 {"seg1.m4s", &segmentHeaders, &seg1}};
  for (const auto& entry : entries) {
    BlockCacheBuilder::Entry added{base + entry.name, 0, {entry.headers, entry.body}};
    builder.Add(added, BlockFileKeyHash(added.key));
  }
  builder.Build(folder.memory);
  ASSERT_EQ(folder.memory.List().size(), 7u);  // index, data_0..3 and the two fragments' files

  CacheCandidates candidates(folder);
  candidates.FileAdded(1, kCache, "index", 0);
  candidates.FileAdded(1, kCache, "f_000001", 0);
  candidates.FileAdded(1, kCache, "f_000002", 0);
  std::vector<MediaElementRef> found;
  candidates.Look(0, found);
  ASSERT_EQ(found.size(), 1u);
  const MediaElementRef& ref = found.front();
  EXPECT_EQ(ref.webAddress, "https://v.test/b/index.m3u8");
  EXPECT_FALSE(ref.segmentGroup);
  EXPECT_EQ(ref.store, CacheStore::ChromiumBlockFiles);
  EXPECT_EQ(ref.extension, "mp4");
  ASSERT_EQ(ref.streamParts.size(), 4u);

  // The reference reads the joined file again by the parts' keys.
  const StreamElements read = StreamPartsRead(folder.memory, ref.streamParts);
  const CacheStreams streams = CacheStreamsFind(folder.memory, read.elements, read.signatures);
  const CacheStream* stream = StreamNamed(streams, ref.webAddress, {}, false);
  ASSERT_NE(stream, nullptr);
  EXPECT_TRUE(stream->plan.complete);
  ByteVector joined;
  ASSERT_TRUE(CacheStreamWrite(folder.memory, *stream, [&](std::span<const std::uint8_t> bytes) {
    joined.insert(joined.end(), bytes.begin(), bytes.end());
    return true;
  }));
  EXPECT_EQ(joined, Cat({init, seg0, seg1}));
  found.clear();
  candidates.Look(5000, found);
  EXPECT_TRUE(found.empty());
  // Nothing is followed any more but the folder itself, for new entries.
  EXPECT_EQ(candidates.CandidateCount(), 0u);
  EXPECT_TRUE(candidates.Pending());
}

// Encrypted segments say nothing by their bytes and form no group; their
// playlist, inside the data files, is still looked for and marks the stream.
TEST(StreamTrackerBlockFiles, EncryptedSegmentsWithoutAStreamOfTheirOwnStillLeadToTheirPlaylist) {
  BlockFolder folder;
  BlockCacheBuilder builder;
  const ByteVector playlistHeaders =
      ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: application/vnd.apple.mpegurl"}));
  const ByteVector segmentHeaders =
      ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: video/mp2t"}));
  const ByteVector playlist = TextBytes(
      "#EXTM3U\n#EXT-X-KEY:METHOD=AES-128,URI=\"k.key\"\n#EXTINF:1,\ns0.ts\n#EXTINF:1,\ns1.ts\n#EXT-X-"
      "ENDLIST\n");
  const ByteVector s0 = Pattern(20000, 3);
  const ByteVector s1 = Pattern(20000, 4);
  const std::string base = "1/0/_dk_https://v.test https://v.test https://v.test/k/";
  BlockCacheBuilder::Entry entries[] = {{base + "index.m3u8", 0, {&playlistHeaders, &playlist}},
                                        {base + "s0.ts", 0, {&segmentHeaders, &s0}},
                                        {base + "s1.ts", 0, {&segmentHeaders, &s1}}};
  for (const auto& entry : entries) builder.Add(entry, BlockFileKeyHash(entry.key));
  builder.Build(folder.memory);

  CacheCandidates candidates(folder);
  candidates.FileAdded(1, kCache, "index", 0);
  candidates.FileAdded(1, kCache, "f_000001", 0);
  candidates.FileAdded(1, kCache, "f_000002", 0);
  std::vector<MediaElementRef> found;
  candidates.Look(0, found);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found.front().webAddress, "https://v.test/k/index.m3u8");
  EXPECT_EQ(found.front().extension, "ts");
}

}  // namespace
