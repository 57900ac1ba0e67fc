// The media-facts readers on hand-built bytes, for what ffmpeg does not
// make: a VBRI frame, a tag larger than the scan, a body only partly
// present, a clock that wraps, and headers that lie.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app/browser_caches/cache_folder_memory.h"
#include "app/media_facts/h264_picture_size.h"
#include "app/media_facts/media_facts_read.h"
#include "app/media_facts/transport_stream_facts.h"
#include "app/muxing/box_bytes.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

MediaFacts FactsOf(Bytes bytes, std::optional<std::uint64_t> fullLength = std::nullopt) {
  MemoryCacheFolder folder;
  folder.Put("body", std::move(bytes));
  auto file = folder.Open("body");
  return MediaFactsRead(*file, fullLength);
}

// MPEG-1 layer III frames at 128 kbit/s, 44.1 kHz: 417 bytes each.
Bytes Mp3Frames(int count) {
  Bytes bytes;
  for (int i = 0; i < count; ++i) {
    const Bytes frame = {0xFF, 0xFB, 0x90, 0x00};
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    bytes.resize(bytes.size() + 413, 0x55);
  }
  return bytes;
}

TEST(MediaFactsMp3, VbriFrameCountGivesTheLength) {
  Bytes bytes = Mp3Frames(3);
  const Bytes vbri = {'V', 'B', 'R', 'I', 0, 1, 0, 0, 0, 50, 0, 0, 0x10, 0, 0, 0, 0x03, 0xE8};  // 1000 frames
  std::copy(vbri.begin(), vbri.end(), bytes.begin() + 36);
  const MediaFacts facts = FactsOf(bytes);
  ASSERT_TRUE(facts.seconds);
  EXPECT_NEAR(*facts.seconds, 1000.0 * 1152 / 44100, 1e-6);
  EXPECT_EQ(facts.codecs, "MP3");
}

TEST(MediaFactsMp3, ConstantBitrateCountsTheWholeBodyAfterALongTagAndWithoutTheTrailingTag) {
  // A cover picture larger than the first read: the frames start past it.
  const std::size_t tagSize = 400000;
  Bytes bytes = {'I',
                 'D',
                 '3',
                 3,
                 0,
                 0,
                 static_cast<std::uint8_t>((tagSize >> 21) & 0x7f),
                 static_cast<std::uint8_t>((tagSize >> 14) & 0x7f),
                 static_cast<std::uint8_t>((tagSize >> 7) & 0x7f),
                 static_cast<std::uint8_t>(tagSize & 0x7f)};
  bytes.resize(10 + tagSize, 0xFF);  // 0xFF filler would look like sync bytes if the tag were not skipped
  const Bytes frames = Mp3Frames(20);
  bytes.insert(bytes.end(), frames.begin(), frames.end());
  // Only the beginning is present; the whole body is 16,000 bytes of audio more.
  const std::uint64_t fullLength = bytes.size() + 16000 * 100;
  const MediaFacts partial = FactsOf(bytes, fullLength);
  ASSERT_TRUE(partial.seconds);
  EXPECT_NEAR(*partial.seconds, (frames.size() + 1600000.0) * 8 / 128000, 1e-6);

  Bytes tagged = bytes;
  const Bytes id3v1 = {'T', 'A', 'G'};
  tagged.insert(tagged.end(), id3v1.begin(), id3v1.end());
  tagged.resize(tagged.size() + 125, ' ');
  const MediaFacts whole = FactsOf(tagged);
  ASSERT_TRUE(whole.seconds);
  EXPECT_NEAR(*whole.seconds, frames.size() * 8.0 / 128000, 1e-6);
}

TEST(MediaFactsMp3, ALoneSyncPatternIsNotAudio) {
  Bytes bytes = {0xFF, 0xFB, 0x90, 0x00};
  bytes.resize(2000, 0x20);  // no second frame where the first ends
  EXPECT_EQ(FactsOf(bytes).codecs, "");
  EXPECT_FALSE(FactsOf(bytes).seconds);
}

// A transport packet of `pid` starting a PES with that presentation time.
Bytes PesPacket(std::uint16_t pid, std::uint64_t pts) {
  Bytes packet = {0x47,
                  static_cast<std::uint8_t>(0x40 | (pid >> 8)),
                  static_cast<std::uint8_t>(pid),
                  0x10,
                  0,
                  0,
                  1,
                  0xE0,
                  0,
                  0,
                  0x80,
                  0x80,
                  5,
                  static_cast<std::uint8_t>(0x21 | ((pts >> 29) & 0x0E)),
                  static_cast<std::uint8_t>(pts >> 22),
                  static_cast<std::uint8_t>(((pts >> 14) & 0xFE) | 1),
                  static_cast<std::uint8_t>(pts >> 7),
                  static_cast<std::uint8_t>(((pts << 1) & 0xFE) | 1)};
  packet.resize(188, 0xFF);
  return packet;
}

TEST(MediaFactsTransportStream, LengthAcrossTheClockWrap) {
  const std::uint64_t wrap = std::uint64_t{1} << 33;
  Bytes head, tail;
  for (int i = 0; i < 4; ++i) {
    const Bytes a = PesPacket(0x100, wrap - 90000 + i * 3600);
    head.insert(head.end(), a.begin(), a.end());
    const Bytes b = PesPacket(0x100, 90000 + i * 3600);
    tail.insert(tail.end(), b.begin(), b.end());
  }
  const MediaFacts facts = TransportStreamFacts(head, tail);
  ASSERT_TRUE(facts.seconds);
  EXPECT_NEAR(*facts.seconds, 2.0 + 3 * 3600 / 90000.0, 1e-9);
  // The tail starting mid-packet still syncs on the packets after the cut.
  const MediaFacts shifted = TransportStreamFacts(head, std::span(tail).subspan(50));
  ASSERT_TRUE(shifted.seconds);
  EXPECT_NEAR(*shifted.seconds, *facts.seconds, 1e-9);
}

TEST(MediaFactsH264, SizeAfterCroppingAndEmulationPrevention) {
  // Baseline, 1920x1080: 120x68 macroblocks cropped by 8 lines (crop_bottom 4 in 4:2:0 units),
  // written by hand bit by bit, then escaped where three bytes would read as a start code.
  // profile 66, flags 0, level 40, then: sps_id ue(0)=1, log2_max_frame_num-4 ue(0)=1, poc type ue(2)=011,
  // refs ue(1)=010, gaps 0, width_mbs-1 ue(119), height_units-1 ue(67), frames_only 1, direct 1, crop 1,
  // crop ue(0) ue(0) ue(0) ue(4), then a stop bit.
  struct Writer {
    Bytes bytes;
    int bits = 0;
    void Bit(int b) {
      if (bits % 8 == 0) bytes.push_back(0);
      if (b) bytes.back() |= static_cast<std::uint8_t>(0x80 >> (bits % 8));
      ++bits;
    }
    void Ue(std::uint32_t v) {
      const std::uint64_t code = std::uint64_t{v} + 1;
      int length = 0;
      while ((code >> length) > 1) ++length;
      for (int i = 0; i < length; ++i) Bit(0);
      for (int i = length; i >= 0; --i) Bit(static_cast<int>((code >> i) & 1));
    }
  } w;
  for (const std::uint8_t byte : {66, 0, 40}) {
    for (int i = 7; i >= 0; --i) w.Bit((byte >> i) & 1);
  }
  for (const std::uint32_t v : {0u, 0u, 2u, 1u}) w.Ue(v);
  w.Bit(0);
  w.Ue(119);
  w.Ue(67);
  w.Bit(1);
  w.Bit(1);
  w.Bit(1);
  for (const std::uint32_t v : {0u, 0u, 0u, 4u}) w.Ue(v);
  w.Bit(1);
  Bytes stream = {0, 0, 0, 1, 0x09, 0xF0, 0, 0, 1, 0x67};  // an access unit delimiter, then the SPS
  for (std::size_t i = 0; i < w.bytes.size(); ++i) {
    if (stream.size() >= 2 && stream[stream.size() - 1] == 0 && stream[stream.size() - 2] == 0 &&
        w.bytes[i] <= 3)
      stream.push_back(3);
    stream.push_back(w.bytes[i]);
  }
  const auto size = H264PictureSizeFind(stream);
  ASSERT_TRUE(size);
  EXPECT_EQ(size->width, 1920u);
  EXPECT_EQ(size->height, 1080u);
  // Cut inside the unit: no size rather than a wrong one.
  EXPECT_FALSE(H264PictureSizeFind(std::span(stream).first(14)));
}

// A moov whose headers lie: an "unknown" movie length (all ones), a zero
// timescale, and a track box running past its parent.
TEST(MediaFactsMp4, LyingHeadersGiveNoFactsRatherThanWrongOnes) {
  BoxBuilder box;
  box.Open("ftyp");
  box.Close(0);
  const auto moov = box.Open("moov");
  const auto mvhd = box.OpenFull("mvhd", 0, 0);
  box.Zeros(8);
  box.U32(1000);
  box.U32(0xffffffff);
  box.Zeros(80);
  box.Close(mvhd);
  const auto trak = box.Open("trak");
  const auto mdia = box.Open("mdia");
  const auto mdhd = box.OpenFull("mdhd", 0, 0);
  box.Zeros(8);
  box.U32(0);  // timescale
  box.U32(5000);
  box.Zeros(4);
  box.Close(mdhd);
  const auto hdlr = box.OpenFull("hdlr", 0, 0);
  box.Zeros(4);
  for (char c : std::string("vide")) box.U8(static_cast<std::uint8_t>(c));
  box.Zeros(13);
  box.Close(hdlr);
  box.Close(mdia);
  box.Close(trak);
  const auto broken = box.Open("trak");
  box.Zeros(8);
  box.Close(broken);
  box.PatchU32(broken, 0x7fffffff);  // past moov and the file
  box.Close(moov);
  const MediaFacts facts = FactsOf(box.Bytes());
  EXPECT_FALSE(facts.seconds);
  EXPECT_FALSE(facts.width);
  EXPECT_EQ(facts.codecs, "");
}

TEST(MediaFactsTexts, SecondsAndResolution) {
  MediaFacts facts;
  EXPECT_EQ(MediaFactsSecondsText(facts), "");
  EXPECT_EQ(MediaFactsResolutionText(facts), "");
  facts.seconds = 12.3456;
  facts.width = 1280;
  facts.height = 720;
  EXPECT_EQ(MediaFactsSecondsText(facts), "12.346");
  EXPECT_EQ(MediaFactsResolutionText(facts), "1280x720");
}

}  // namespace
