// Joining a stream: which pieces a save writes when segments are missing,
// what the segments' bytes are, and the extension of the joined file.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/browser_caches/media_signature.h"
#include "app/streams/segment_content.h"
#include "app/streams/stream_join.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

SegmentedStream StreamOf(bool withInit, int segments) {
  SegmentedStream stream;
  if (withInit) stream.init = SegmentRef{"https://v.test/init.mp4", std::nullopt};
  for (int i = 1; i <= segments; ++i)
    stream.segments.push_back({"https://v.test/s" + std::to_string(i) + ".m4s", std::nullopt});
  return stream;
}

// The lengths of the segments "held", by address.
SegmentLookup Holding(std::map<std::string, std::uint64_t> held) {
  return [held = std::move(held)](const SegmentRef& ref) -> std::optional<std::uint64_t> {
    const auto found = held.find(ref.address);
    if (found == held.end()) return std::nullopt;
    return found->second;
  };
}

std::vector<std::string> Addresses(const JoinPlan& plan) {
  std::vector<std::string> addresses;
  for (const JoinPiece& piece : plan.pieces) addresses.push_back(piece.ref.address);
  return addresses;
}

TEST(StreamJoinTest, CompleteStreamsWriteTheInitThenEverySegment) {
  const JoinPlan plan = StreamJoinPlan(StreamOf(true, 3), Holding({{"https://v.test/init.mp4", 700},
                                                                   {"https://v.test/s1.m4s", 10},
                                                                   {"https://v.test/s2.m4s", 20},
                                                                   {"https://v.test/s3.m4s", 30}}));
  EXPECT_TRUE(plan.complete);
  EXPECT_EQ(plan.present, 3u);
  EXPECT_EQ(plan.total, 3u);
  EXPECT_EQ(Addresses(plan), (std::vector<std::string>{"https://v.test/init.mp4", "https://v.test/s1.m4s",
                                                       "https://v.test/s2.m4s", "https://v.test/s3.m4s"}));
  EXPECT_TRUE(plan.pieces.front().init);
  EXPECT_EQ(plan.bytes, 760u);
  // TS: no init.
  const JoinPlan ts = StreamJoinPlan(
      StreamOf(false, 2), Holding({{"https://v.test/s1.m4s", 188}, {"https://v.test/s2.m4s", 376}}));
  EXPECT_TRUE(ts.complete);
  EXPECT_EQ(ts.pieces.size(), 2u);
  EXPECT_FALSE(ts.pieces.front().init);
  EXPECT_EQ(ts.bytes, 564u);
}

TEST(StreamJoinTest, HolesCountAndEndTheRunThatIsWritten) {
  // s3 is missing: s1 and s2 are written, s4 and s5 only counted.
  const JoinPlan hole = StreamJoinPlan(StreamOf(true, 5), Holding({{"https://v.test/init.mp4", 700},
                                                                   {"https://v.test/s1.m4s", 10},
                                                                   {"https://v.test/s2.m4s", 20},
                                                                   {"https://v.test/s4.m4s", 40},
                                                                   {"https://v.test/s5.m4s", 50}}));
  EXPECT_FALSE(hole.complete);
  EXPECT_EQ(hole.present, 4u);
  EXPECT_EQ(hole.total, 5u);
  EXPECT_EQ(Addresses(hole), (std::vector<std::string>{"https://v.test/init.mp4", "https://v.test/s1.m4s",
                                                       "https://v.test/s2.m4s"}));
  EXPECT_EQ(hole.bytes, 730u);
  // The first segment missing: nothing to write, but the rest counts.
  const JoinPlan noFirst = StreamJoinPlan(
      StreamOf(true, 2), Holding({{"https://v.test/init.mp4", 700}, {"https://v.test/s2.m4s", 20}}));
  EXPECT_EQ(noFirst.present, 1u);
  EXPECT_TRUE(noFirst.pieces.empty());
  EXPECT_EQ(noFirst.bytes, 0u);
  // The init missing: fragments alone do not play.
  const JoinPlan noInit = StreamJoinPlan(
      StreamOf(true, 2), Holding({{"https://v.test/s1.m4s", 10}, {"https://v.test/s2.m4s", 20}}));
  EXPECT_FALSE(noInit.initPresent);
  EXPECT_FALSE(noInit.complete);
  EXPECT_EQ(noInit.present, 2u);
  EXPECT_TRUE(noInit.pieces.empty());
  // A stream of no segments is never complete.
  EXPECT_FALSE(StreamJoinPlan(StreamOf(true, 0), Holding({{"https://v.test/init.mp4", 1}})).complete);
}

TEST(StreamJoinTest, ByteRangedSegmentsAreLookedUpWithTheirRanges) {
  SegmentedStream stream;
  stream.init = SegmentRef{"https://v.test/one.mp4", ByteRange{0, 100}};
  stream.segments = {{"https://v.test/one.mp4", ByteRange{100, 50}},
                     {"https://v.test/one.mp4", ByteRange{150, 50}}};
  // The resource is held up to byte 170: the second range is not all there.
  const SegmentLookup lookup = [](const SegmentRef& ref) -> std::optional<std::uint64_t> {
    const std::uint64_t end = ref.range->offset + *ref.range->length;
    if (end > 170) return std::nullopt;
    return *ref.range->length;
  };
  const JoinPlan plan = StreamJoinPlan(stream, lookup);
  EXPECT_EQ(plan.present, 1u);
  ASSERT_EQ(plan.pieces.size(), 2u);
  EXPECT_EQ(plan.pieces[1].ref.range, (ByteRange{100, 50}));
  EXPECT_EQ(plan.bytes, 150u);
}

// A lookup that holds every byte range asked for, and whole resources of 940,000 bytes.
std::optional<std::uint64_t> HoldsEverything(const SegmentRef& ref) {
  return ref.range && ref.range->length ? *ref.range->length : 940000u;
}

TEST(StreamJoinTest, RepeatedOrOverlappingSegmentsAreNeverJoinedTwice) {
  // One cached x.ts named 100,000 times: 940 KB present, not 94 GB.
  SegmentedStream repeated;
  for (int i = 0; i < 100000; ++i) repeated.segments.push_back({"https://v.test/x.ts", std::nullopt});
  const JoinPlan plan = StreamJoinPlan(repeated, HoldsEverything);
  EXPECT_TRUE(plan.repeated);
  EXPECT_FALSE(plan.complete);
  EXPECT_EQ(plan.present, 1u);
  EXPECT_EQ(plan.total, 100000u);
  EXPECT_EQ(plan.presentBytes, 940000u);
  EXPECT_EQ(plan.bytes, 940000u);
  ASSERT_EQ(plan.pieces.size(), 1u);

  // The same byte range again, and ranges that overlap: the run stops at the first.
  SegmentedStream ranged;
  for (int i = 0; i < 1000; ++i) ranged.segments.push_back({"https://v.test/x.ts", ByteRange{0, 940000}});
  const JoinPlan sameRange = StreamJoinPlan(ranged, HoldsEverything);
  EXPECT_EQ(sameRange.bytes, 940000u);
  EXPECT_EQ(sameRange.presentBytes, 940000u);
  EXPECT_TRUE(sameRange.repeated);

  SegmentedStream overlapping;
  overlapping.segments = {{"https://v.test/x.ts", ByteRange{0, 100}},
                          {"https://v.test/x.ts", ByteRange{100, 100}},
                          {"https://v.test/x.ts", ByteRange{150, 100}},  // overlaps the second
                          {"https://v.test/x.ts", ByteRange{250, 100}}};
  const JoinPlan overlap = StreamJoinPlan(overlapping, HoldsEverything);
  EXPECT_TRUE(overlap.repeated);
  EXPECT_EQ(overlap.present, 3u);
  EXPECT_EQ(overlap.presentBytes, 300u);
  EXPECT_EQ(Addresses(overlap).size(), 2u);  // the run from the first, up to the overlap
  EXPECT_EQ(overlap.bytes, 200u);

  // A range to the end of the resource covers every later offset; the
  // whole resource covers its ranges; the init may not come back as media.
  SegmentedStream toEnd;
  toEnd.segments = {{"https://v.test/x.ts", ByteRange{100, std::nullopt}},
                    {"https://v.test/x.ts", ByteRange{500, 10}}};
  // The resource ends at byte 1000.
  EXPECT_TRUE(StreamJoinPlan(toEnd, [](const SegmentRef& ref) -> std::optional<std::uint64_t> {
                return ref.range->length.value_or(1000 - ref.range->offset);
              }).repeated);
  SegmentedStream initAgain;
  initAgain.init = SegmentRef{"https://v.test/init.mp4", std::nullopt};
  initAgain.segments = {{"https://v.test/init.mp4", std::nullopt}, {"https://v.test/s1.m4s", std::nullopt}};
  const JoinPlan initPlan = StreamJoinPlan(initAgain, HoldsEverything);
  EXPECT_TRUE(initPlan.repeated);
  EXPECT_FALSE(initPlan.complete);
  EXPECT_EQ(initPlan.presentBytes, 2u * 940000);
  EXPECT_TRUE(initPlan.pieces.empty());  // the first media segment is the repeat: nothing plays

  // Byte ranges that follow each other in one resource are distinct.
  SegmentedStream adjacent;
  adjacent.init = SegmentRef{"https://v.test/one.mp4", ByteRange{0, 100}};
  adjacent.segments = {{"https://v.test/one.mp4", ByteRange{100, 50}},
                       {"https://v.test/one.mp4", ByteRange{150, 50}}};
  const JoinPlan distinct = StreamJoinPlan(adjacent, HoldsEverything);
  EXPECT_FALSE(distinct.repeated);
  EXPECT_TRUE(distinct.complete);
  EXPECT_EQ(distinct.bytes, 200u);
  EXPECT_EQ(distinct.presentBytes, 200u);
}

// Builds ISO boxes: a type and a payload, sized.
Bytes Box(std::string_view type, const Bytes& payload) {
  const auto size = static_cast<std::uint32_t>(8 + payload.size());
  Bytes box = {static_cast<std::uint8_t>(size >> 24), static_cast<std::uint8_t>(size >> 16),
               static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size)};
  box.insert(box.end(), type.begin(), type.end());
  box.insert(box.end(), payload.begin(), payload.end());
  return box;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Text(std::string_view text) { return {text.begin(), text.end()}; }

Bytes Track(std::string_view handler) {
  const Bytes hdlr = Box("hdlr", Cat({Bytes(8, 0), Text(handler), Bytes(12, 0), Text("name"), Bytes(1, 0)}));
  return Box("trak", Cat({Box("tkhd", Bytes(84, 0)), Box("mdia", Cat({Box("mdhd", Bytes(24, 0)), hdlr}))}));
}

Bytes Ftyp(std::string_view brand) { return Box("ftyp", Cat({Text(brand), Bytes(4, 0), Text("iso6dash")})); }

Bytes Init(std::initializer_list<Bytes> tracks, bool fragmented = true) {
  Bytes moov = Box("mvhd", Bytes(100, 0));
  for (const Bytes& track : tracks) moov = Cat({moov, track});
  if (fragmented) moov = Cat({moov, Box("mvex", Box("trex", Bytes(24, 0)))});
  return Cat({Ftyp("iso6"), Box("moov", moov)});
}

TEST(SegmentContentTest, ContainersAndTracksDecideTheExtension) {
  const Bytes videoAudio = Init({Track("vide"), Track("soun")});
  const Bytes audioOnly = Init({Track("soun")});
  const Bytes noTracks = Init({});
  SegmentContent content = SegmentContentOf(videoAudio);
  EXPECT_EQ(content.container, SegmentContainer::Fmp4Init);
  EXPECT_TRUE(content.hasVideo);
  EXPECT_TRUE(content.hasAudio);
  EXPECT_EQ(StreamJoinedExtension(content, StreamKind::Unknown), "mp4");
  content = SegmentContentOf(audioOnly);
  EXPECT_FALSE(content.hasVideo);
  EXPECT_EQ(StreamJoinedExtension(content, StreamKind::Video), "m4a");  // the tracks outweigh the playlist
  content = SegmentContentOf(noTracks);
  EXPECT_EQ(StreamJoinedExtension(content, StreamKind::Audio), "m4a");
  EXPECT_EQ(StreamJoinedExtension(content, StreamKind::Unknown), "mp4");
  // An init without ftyp, after free space.
  EXPECT_EQ(SegmentContentOf(Cat({Box("free", Bytes(3, 0)), Box("moov", Box("mvex", {}))})).container,
            SegmentContainer::Fmp4Init);

  Bytes ts(188 * 3, 0xFF);
  for (std::size_t i = 0; i < ts.size(); i += 188) ts[i] = 0x47;
  EXPECT_EQ(SegmentContentOf(ts).container, SegmentContainer::TransportStream);
  EXPECT_EQ(StreamJoinedExtension(SegmentContentOf(ts), StreamKind::Audio), "ts");
  ts[376] = 0;
  EXPECT_EQ(SegmentContentOf(ts).container, SegmentContainer::Unknown);

  for (const char* start : {"styp", "moof", "sidx", "emsg", "prft"})
    EXPECT_EQ(SegmentContentOf(Box(start, Bytes(16, 0))).container, SegmentContainer::Fmp4Fragment) << start;
  // A plain MP4 (no mvex) and a damaged box are no stream parts.
  EXPECT_EQ(SegmentContentOf(Init({Track("vide")}, false)).container, SegmentContainer::Unknown);
  EXPECT_EQ(StreamJoinedExtension(SegmentContentOf(Init({Track("vide")}, false)), StreamKind::Video), "");
  EXPECT_EQ(SegmentContentOf(Bytes{0, 0, 0, 4, 'm', 'o', 'o', 'v'}).container, SegmentContainer::Unknown);
}

TEST(SegmentContentTest, TheSignatureCallsAnInitSegmentAStreamPartAndAPlainMp4AVideo) {
  const Bytes init = Init({Track("vide"), Track("soun")});
  const MediaSignature signature = MediaSignatureOfBytes(init, true);
  EXPECT_EQ(signature.nature, MediaNature::Segment);
  EXPECT_TRUE(MediaSignatureIsStreamInit(signature));
  EXPECT_TRUE(MediaSignatureIsStreamInit(MediaSignatureOf("audio/mp4", Init({Track("soun")}), true)));
  EXPECT_FALSE(MediaSignatureIsStreamInit(MediaSignatureOfBytes(Box("moof", Bytes(8, 0)), true)));
  // While the body grows no verdict: what follows the moov decides.  Once
  // it is all there, an init segment.
  for (std::size_t n = 12; n < init.size(); ++n)
    EXPECT_EQ(MediaSignatureOfBytes(std::span(init.data(), n), false).nature, MediaNature::Unknown) << n;
  EXPECT_EQ(MediaSignatureOfBytes(init, true).nature, MediaNature::Segment);

  // A whole track in one file (its index or fragments right after the moov,
  // as a site fetches one track by byte ranges) is media: a video, or a
  // sound when every track is sound; the verdict comes with the next box's
  // header, and more bytes do not change it.
  const Bytes sidx = Box("sidx", Bytes(24, 0));
  const Bytes wholePicture = Cat({Init({Track("vide")}), sidx});
  const Bytes wholeSound = Cat({Init({Track("soun")}), Box("moof", Bytes(16, 0))});
  for (std::size_t n = 12; n <= wholePicture.size(); ++n) {
    const MediaSignature prefix = MediaSignatureOfBytes(std::span(wholePicture.data(), n), false);
    const bool headerIn = n >= wholePicture.size() - sidx.size() + 8;
    EXPECT_EQ(prefix.nature, headerIn ? MediaNature::Video : MediaNature::Unknown) << n;
  }
  EXPECT_EQ(MediaSignatureOfBytes(wholePicture, true).extension, "mp4");
  const MediaSignature sound = MediaSignatureOfBytes(wholeSound, false);
  EXPECT_EQ(sound.nature, MediaNature::Audio);
  EXPECT_EQ(sound.extension, "m4a");
  EXPECT_EQ(MediaSignatureOf("video/mp4", wholeSound, false).nature, MediaNature::Audio);
  // Picture and sound in one fragmented file is a video; an unknown box after
  // the moov leaves it an init segment, as before.
  EXPECT_EQ(MediaSignatureOfBytes(Cat({init, sidx}), false).nature, MediaNature::Video);
  EXPECT_EQ(MediaSignatureOfBytes(Cat({init, Box("free", Bytes(4, 0))}), false).nature, MediaNature::Segment);

  // A plain (fast start) MP4: tracks too long to see past are a video as soon
  // as their header shows it, without waiting for more bytes.
  Bytes plain =
      Cat({Ftyp("isom"), Box("moov", Cat({Box("mvhd", Bytes(100, 0)), Box("trak", Bytes(20000, 0))}))});
  const MediaSignature early = MediaSignatureOfBytes(std::span(plain.data(), 200), false);
  EXPECT_EQ(early.nature, MediaNature::Video);
  EXPECT_EQ(early.extension, "mp4");
  // A whole small plain MP4, and one whose mdat comes first.
  EXPECT_EQ(MediaSignatureOfBytes(Init({Track("vide")}, false), true).nature, MediaNature::Video);
  EXPECT_EQ(MediaSignatureOfBytes(Cat({Ftyp("isom"), Box("mdat", Bytes(10, 0))}), false).nature,
            MediaNature::Video);
  // An mvex beyond the bytes the signature looks at is not seen: a video,
  // the same verdict with any number of bytes.
  Bytes late =
      Cat({Ftyp("iso6"), Box("moov", Cat({Box("pssh", Bytes(kMediaSniffBytes, 0)), Box("mvex", {})}))});
  EXPECT_EQ(MediaSignatureOfBytes(late, true).nature, MediaNature::Video);
  EXPECT_EQ(MediaSignatureOfBytes(std::span(late.data(), 100), false).nature, MediaNature::Video);
}

}  // namespace
