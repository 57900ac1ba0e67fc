// The muxer's track readers on hand-built boxes and elements: what they
// refuse (so a track is saved on its own rather than muxed wrong), the
// fragment fields that move samples and times, and EBML sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/browser_caches/cache_folder_memory.h"
#include "app/muxing/box_bytes.h"
#include "app/muxing/ebml_builder.h"
#include "app/muxing/ebml_reader.h"
#include "app/muxing/mp4_muxer.h"
#include "app/muxing/mp4_track_reader.h"
#include "app/muxing/track_headline.h"
#include "app/muxing/webm_track_reader.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct MoovShape {
  std::string handler = "soun";
  std::string entry = "mp4a";
  bool mvex = true;
  std::uint32_t moovSamples = 0;
  bool editList = false;
};

// A moov with one trak (track id 7, timescale 1000) as a fragmented file's init has it.
Bytes Moov(const MoovShape& shape) {
  BoxBuilder box;
  const auto moov = box.Open("moov");
  const auto mvhd = box.OpenFull("mvhd", 0, 0);
  box.Zeros(8);
  box.U32(600);  // movie timescale
  box.Zeros(80);
  box.Close(mvhd);
  const auto trak = box.Open("trak");
  const auto tkhd = box.OpenFull("tkhd", 0, 3);
  box.Zeros(8);
  box.U32(7);
  box.Zeros(4 + 4 + 8 + 8 + 36);
  box.U32(320 << 16);
  box.U32(240 << 16);
  box.Close(tkhd);
  if (shape.editList) {
    const auto edts = box.Open("edts");
    const auto elst = box.OpenFull("elst", 0, 0);
    box.U32(2);
    box.U32(300);  // an empty edit of half a second
    box.U32(0xFFFFFFFF);
    box.U32(0x10000);
    box.U32(6000);
    box.U32(40);  // presentation starts at media time 40
    box.U32(0x10000);
    box.Close(elst);
    box.Close(edts);
  }
  const auto mdia = box.Open("mdia");
  const auto mdhd = box.OpenFull("mdhd", 0, 0);
  box.Zeros(8);
  box.U32(1000);
  box.U32(0);
  box.U16(0x55c4);
  box.U16(0);
  box.Close(mdhd);
  const auto hdlr = box.OpenFull("hdlr", 0, 0);
  box.U32(0);
  for (char c : shape.handler) box.U8(static_cast<std::uint8_t>(c));
  box.Zeros(13);
  box.Close(hdlr);
  const auto minf = box.Open("minf");
  const auto stbl = box.Open("stbl");
  const auto stsd = box.OpenFull("stsd", 0, 0);
  box.U32(1);
  const auto entry = box.Open(shape.entry);
  box.Zeros(28);
  box.Close(entry);
  box.Close(stsd);
  const auto stsz = box.OpenFull("stsz", 0, 0);
  box.U32(0);
  box.U32(shape.moovSamples);
  for (std::uint32_t i = 0; i < shape.moovSamples; ++i) box.U32(10);
  box.Close(stsz);
  box.Close(stbl);
  box.Close(minf);
  box.Close(mdia);
  box.Close(trak);
  if (shape.mvex) {
    const auto mvex = box.Open("mvex");
    const auto trex = box.OpenFull("trex", 0, 0);
    box.U32(7);
    box.U32(1);
    box.U32(25);  // default duration
    box.U32(4);   // default size
    box.U32(0);
    box.Close(trex);
    box.Close(mvex);
  }
  box.Close(moov);
  return box.Bytes();
}

TEST(Mp4TrackReader, RefusesTracksThatWouldPlayWrong) {
  EXPECT_EQ(Mp4TrackFromMoov(Moov({})).fault, TrackFault::None);
  EXPECT_EQ(Mp4TrackFromMoov(Moov({.entry = "enca"})).fault, TrackFault::Encrypted);
  EXPECT_EQ(Mp4TrackFromMoov(Moov({.entry = "mp4v"})).fault, TrackFault::UnknownCodec);
  EXPECT_EQ(Mp4TrackFromMoov(Moov({.mvex = false})).fault, TrackFault::NotFragmented);
  // Samples in moov's own tables would be lost by a reader of fragments.
  EXPECT_EQ(Mp4TrackFromMoov(Moov({.moovSamples = 3})).fault, TrackFault::NotFragmented);
  EXPECT_EQ(Mp4TrackFromMoov(Moov({.handler = "text"})).fault, TrackFault::NotReadable);
  Bytes cut = Moov({});
  cut.resize(cut.size() - 20);
  EXPECT_EQ(Mp4TrackFromMoov(cut).fault, TrackFault::NotReadable);
}

TEST(Mp4TrackReader, ReadsTheDescriptionEditListAndDefaults) {
  const Mp4Track track = Mp4TrackFromMoov(Moov({.handler = "vide", .entry = "avc1", .editList = true}));
  ASSERT_EQ(track.fault, TrackFault::None);
  EXPECT_EQ(track.kind, TrackKind::Video);
  EXPECT_EQ(track.trackId, 7u);
  EXPECT_EQ(track.timescale, 1000u);
  EXPECT_EQ(track.codec, "avc1");
  EXPECT_EQ(track.width, 320u << 16);
  EXPECT_EQ(track.movieTimescale, 600u);
  EXPECT_EQ(track.emptyEdit, 300u);
  EXPECT_EQ(track.editMediaTime, 40);
  EXPECT_EQ(track.defaultDuration, 25u);
  EXPECT_EQ(track.defaultSize, 4u);
  ASSERT_GE(track.sampleDescriptions.size(), 16u);
  EXPECT_EQ(std::string(track.sampleDescriptions.begin() + 4, track.sampleDescriptions.begin() + 8), "stsd");
}

struct TrunShape {
  std::uint32_t trackId = 7;
  std::uint8_t version = 0;
  std::uint32_t flags = 0x1 | 0x4 | 0x200 | 0x800;  // data offset, first flags, sizes, composition offsets
  std::vector<std::int32_t> offsets = {2, -1, 0};
  std::uint64_t decodeTime = 5000;
};

// A moof with one traf of three samples (sizes 10, 20, 30), data offset 100.
Bytes Moof(const TrunShape& shape) {
  BoxBuilder box;
  const auto moof = box.Open("moof");
  const auto traf = box.Open("traf");
  const auto tfhd = box.OpenFull("tfhd", 0, 0x020000);
  box.U32(shape.trackId);
  box.Close(tfhd);
  const auto tfdt = box.OpenFull("tfdt", 1, 0);
  box.U64(shape.decodeTime);
  box.Close(tfdt);
  const auto trun = box.OpenFull("trun", shape.version, shape.flags);
  box.U32(3);
  box.U32(100);
  if (shape.flags & 0x4) box.U32(0x02000000);  // first sample: depends on no other
  for (int i = 0; i < 3; ++i) {
    box.U32(static_cast<std::uint32_t>(10 * (i + 1)));
    if (shape.flags & 0x800) box.U32(static_cast<std::uint32_t>(shape.offsets[i]));
  }
  box.Close(trun);
  box.Close(traf);
  box.Close(moof);
  return box.Bytes();
}

TEST(Mp4TrackReader, FragmentSamplesTakeTimesOffsetsAndFlagsFromTheirBoxes) {
  Mp4Track track = Mp4TrackFromMoov(Moov({.handler = "vide", .entry = "avc1"}));
  track.defaultFlags = 0x01010000;  // non-sync, depends on others
  std::int64_t next = 0;
  std::vector<MediaSample> samples;
  ASSERT_TRUE(Mp4FragmentSamples(Moof({.version = 1}), 1000, track, next, samples));
  ASSERT_EQ(samples.size(), 3u);
  EXPECT_EQ(samples[0].offset, 1100u);  // the moof's own offset plus the data offset
  EXPECT_EQ(samples[1].offset, 1110u);
  EXPECT_EQ(samples[2].offset, 1130u);
  EXPECT_EQ(samples[0].decodeTime, 5000);
  EXPECT_EQ(samples[1].decodeTime, 5025);  // trex's default duration
  EXPECT_EQ(next, 5075);
  EXPECT_EQ(samples[1].compositionOffset, -1);  // version 1: signed
  EXPECT_TRUE(samples[0].sync);
  EXPECT_FALSE(samples[1].sync);

  // Version 0 offsets are unsigned; another track's traf adds nothing.
  samples.clear();
  ASSERT_TRUE(Mp4FragmentSamples(Moof({.version = 0}), 0, track, next, samples));
  EXPECT_EQ(samples[1].compositionOffset, 0xFFFFFFFFll);
  samples.clear();
  ASSERT_TRUE(Mp4FragmentSamples(Moof({.trackId = 8}), 0, track, next, samples));
  EXPECT_TRUE(samples.empty());

  // A trun whose samples run past its box is damaged, not short.
  Bytes cut = Moof({});
  cut[3] = static_cast<std::uint8_t>(cut[3] - 8);
  samples.clear();
  EXPECT_FALSE(Mp4FragmentSamples(cut, 0, track, next, samples));
}

// An init and one fragment whose mdat is cut short: the muxer refuses it
// rather than writing samples that are not there.
TEST(Mp4TrackReader, FragmentDataPastTheFileIsRefused) {
  MemoryCacheFolder folder;
  Bytes file = Moov({});
  const Bytes moof = Moof({.flags = 0x1 | 0x200, .offsets = {0, 0, 0}});
  const std::size_t moofAt = file.size();
  file.insert(file.end(), moof.begin(), moof.end());
  file.resize(moofAt + 100 + 40);  // the mdat's 60 bytes of samples, 20 missing
  folder.Put("sound", file);
  auto sound = folder.Open("sound");
  const Mp4Track track = Mp4TrackRead(*sound);
  ASSERT_EQ(track.fault, TrackFault::None);
  Mp4SampleCursor cursor(*sound, track);
  MediaSample sample;
  EXPECT_FALSE(cursor.Next(sample));
  EXPECT_TRUE(cursor.Failed());

  Bytes whole = Moov({.handler = "vide", .entry = "avc1"});
  whole.insert(whole.end(), moof.begin(), moof.end());
  whole.resize(moofAt + 100 + 60);
  folder.Put("picture", whole);
  auto picture = folder.Open("picture");
  MuxMemoryOutput output;
  const MuxResult result = Mp4MuxTracks(*picture, *sound, output);
  EXPECT_EQ(result.outcome, MuxOutcome::TrackRefused);
  EXPECT_EQ(result.track, 1);
  EXPECT_EQ(result.fault, TrackFault::NotReadable);
  EXPECT_TRUE(output.Bytes().empty());
}

TEST(EbmlReader, SizesIdsAndUnknownSizes) {
  const Bytes bytes = {0x1A, 0x45, 0xDF, 0xA3, 0x84, 1,    2,    3,    4,  // EBML header, 4 bytes
                       0x1F, 0x43, 0xB6, 0x75, 0x01, 0xFF, 0xFF, 0xFF, 0xFF,
                       0xFF, 0xFF, 0xFF,  // unknown size
                       0xA3, 0x85, 0};    // 5 bytes, 1 there
  const auto header = EbmlElementIn(bytes, 0, bytes.size());
  ASSERT_TRUE(header);
  EXPECT_EQ(header->id, ebml::kHeader);
  EXPECT_EQ(header->dataOffset, 5u);
  EXPECT_EQ(header->size, 4u);
  const auto cluster = EbmlElementIn(bytes, 9, bytes.size());
  ASSERT_TRUE(cluster);
  EXPECT_EQ(cluster->id, ebml::kCluster);
  EXPECT_FALSE(cluster->size);
  EXPECT_EQ(cluster->DataEnd(1000), 1000u);
  EXPECT_FALSE(EbmlElementIn(bytes, 21, bytes.size()));  // runs past its parent
  const Bytes badLength = {0x00, 0x81};                  // no length marker in the first byte
  EXPECT_FALSE(EbmlElementIn(badLength, 0, badLength.size()));
}

// A WebM of one track whose clusters have unknown sizes, as a live recorder
// writes them; `encodings` adds a ContentEncodings with ContentEncryption,
// `seconds` an Info/Duration; `sized` gives the Segment its size, as a
// recorder that seeks back writes it.
Bytes Webm(bool encodings, double seconds = 0, bool sized = false) {
  EbmlBuilder b;
  const auto header = b.Open(ebml::kHeader);
  b.String(ebml::kDocType, "webm");
  b.Close(header);
  std::optional<decltype(b.Open(ebml::kSegment))> segment;
  if (sized) {
    segment = b.Open(ebml::kSegment);
  } else {
    b.Id(ebml::kSegment);
    b.Byte(0x01);
    for (int i = 0; i < 7; ++i) b.Byte(0xFF);
  }
  const auto info = b.Open(ebml::kInfo);
  b.Uint(ebml::kTimestampScale, 1000000);
  if (seconds > 0) b.Float(ebml::kDuration, seconds * 1000);
  b.Close(info);
  const auto tracks = b.Open(ebml::kTracks);
  const auto entry = b.Open(ebml::kTrackEntry);
  b.Uint(ebml::kTrackNumber, 2);
  b.Uint(ebml::kTrackType, 2);
  b.String(ebml::kCodecId, "A_OPUS");
  if (encodings) {
    const auto encodingsAt = b.Open(ebml::kContentEncodings);
    const auto encoding = b.Open(0x6240);
    const auto encryption = b.Open(0x5035);
    b.Close(encryption);
    b.Close(encoding);
    b.Close(encodingsAt);
  }
  b.Close(entry);
  b.Close(tracks);
  for (int cluster = 0; cluster < 2; ++cluster) {
    b.Id(ebml::kCluster);
    b.Byte(0xFF);  // unknown size
    b.Uint(ebml::kClusterTimestamp, 1000u * cluster);
    for (int frame = 0; frame < 2; ++frame) {
      b.Id(ebml::kSimpleBlock);
      b.Size(6);
      b.Byte(0x82);
      b.Byte(0);
      b.Byte(static_cast<std::uint8_t>(20 * frame));
      b.Byte(0x80);
      b.Byte(0xAA);
      b.Byte(0xBB);
    }
  }
  if (segment) b.Close(*segment);
  return b.Bytes();
}

TEST(WebmTrackReader, ClustersOfUnknownSizeEndAtTheNextCluster) {
  MemoryCacheFolder folder;
  folder.Put("sound", Webm(false));
  auto file = folder.Open("sound");
  const WebmTrack track = WebmTrackRead(*file);
  ASSERT_EQ(track.fault, TrackFault::None);
  EXPECT_EQ(track.kind, TrackKind::Audio);
  EXPECT_EQ(track.trackNumber, 2u);
  EXPECT_TRUE(track.webmCodec);
  WebmFrameCursor cursor(*file, track);
  std::vector<std::int64_t> times;
  WebmFrame frame;
  while (cursor.Next(frame)) {
    times.push_back(frame.timestamp);
    EXPECT_EQ(frame.dataSize, 3u);
    EXPECT_TRUE(frame.keyframe);
  }
  EXPECT_FALSE(cursor.Failed());
  EXPECT_EQ(times, (std::vector<std::int64_t>{0, 20, 1000, 1020}));

  folder.Put("protected", Webm(true));
  auto protectedFile = folder.Open("protected");
  EXPECT_EQ(WebmTrackRead(*protectedFile).fault, TrackFault::Encrypted);
}

// A track fetched by byte ranges is looked at while its player still
// fetches: with only its headers cached (no Cluster yet), it has no frames
// to mux, but its headers tell its kind and, where Info has one, its
// duration, which is what pairing it needs.
TEST(WebmTrackReader, HeadersAloneTellTheHeadlineButNoFrames) {
  MemoryCacheFolder folder;
  for (const double seconds : {6.0, 0.0}) {
    SCOPED_TRACE(seconds);
    Bytes bytes = Webm(false, seconds);
    const Bytes cluster = {0x1F, 0x43, 0xB6, 0x75};
    bytes.resize(std::search(bytes.begin(), bytes.end(), cluster.begin(), cluster.end()) - bytes.begin());
    folder.Put("headers", bytes);
    auto file = folder.Open("headers");
    EXPECT_EQ(WebmTrackRead(*file).fault, TrackFault::NotReadable);
    const WebmTrack headers = WebmTrackHeadersRead(*file);
    EXPECT_EQ(headers.fault, TrackFault::None);
    EXPECT_EQ(headers.clustersStart, 0u);
    WebmFrameCursor cursor(*file, headers);
    WebmFrame frame;
    EXPECT_FALSE(cursor.Next(frame));
    const TrackHeadline headline = TrackHeadlineRead(*file);
    if (seconds > 0) {
      EXPECT_EQ(headline.kind, TrackKind::Audio);
      EXPECT_EQ(headline.container, TrackContainer::Webm);
      ASSERT_TRUE(headline.seconds);
      EXPECT_DOUBLE_EQ(*headline.seconds, 6.0);
    } else {
      // Without a duration the frames would have to tell it: nothing yet.
      EXPECT_FALSE(headline.seconds);
    }
  }
  // A sized Segment of which only a part is cached yet (cut inside its
  // second cluster): the frames there are not muxed as if whole, but the
  // headline is told.
  Bytes part = Webm(false, 6.0, true);
  part.resize(part.size() - 5);
  folder.Put("part", part);
  auto file = folder.Open("part");
  EXPECT_EQ(WebmTrackRead(*file).fault, TrackFault::NotReadable);
  const TrackHeadline headline = TrackHeadlineRead(*file);
  EXPECT_EQ(headline.kind, TrackKind::Audio);
  ASSERT_TRUE(headline.seconds);
  EXPECT_DOUBLE_EQ(*headline.seconds, 6.0);
}

}  // namespace
