#include "app/media_facts/mpeg_audio_facts.h"

#include <algorithm>
#include <array>
#include <span>
#include <vector>

namespace {

using Bytes = std::span<const std::uint8_t>;

std::uint32_t BigEndian32(Bytes bytes, std::size_t at) {
  return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
         (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
}

// ---- MP3 and the other MPEG audio layers.

struct MpegFrame {
  int version = 1;  // 1: MPEG-1, 2: MPEG-2, 25: MPEG-2.5
  int layer = 3;
  std::uint32_t bitrate = 0;  // bits per second
  std::uint32_t sampleRate = 0;
  bool mono = false;
  std::uint32_t length = 0;  // bytes, header included
  std::uint32_t samples = 0;
};

std::optional<MpegFrame> MpegFrameAt(Bytes bytes, std::size_t at) {
  if (bytes.size() < at + 4 || bytes[at] != 0xFF || (bytes[at + 1] & 0xE0) != 0xE0) return std::nullopt;
  const int versionBits = (bytes[at + 1] >> 3) & 3;
  const int layerBits = (bytes[at + 1] >> 1) & 3;
  const int bitrateIndex = bytes[at + 2] >> 4;
  const int rateIndex = (bytes[at + 2] >> 2) & 3;
  if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
    return std::nullopt;
  static constexpr std::uint16_t kRates[3][16] = {
      {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},  // MPEG-1 layer I
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},     // MPEG-1 layer II
      {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}};     // MPEG-1 layer III
  static constexpr std::uint16_t kLowRates[2][16] = {
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},  // MPEG-2 layer I
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}};      // MPEG-2 layers II, III
  static constexpr std::uint32_t kSampleRates[3] = {44100, 48000, 32000};
  MpegFrame frame;
  frame.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
  frame.layer = 4 - layerBits;
  const std::uint32_t kbps = frame.version == 1 ? kRates[frame.layer - 1][bitrateIndex]
                                                : kLowRates[frame.layer == 1 ? 0 : 1][bitrateIndex];
  frame.bitrate = kbps * 1000;
  frame.sampleRate = kSampleRates[rateIndex] / (frame.version == 1 ? 1 : frame.version == 2 ? 2 : 4);
  frame.mono = (bytes[at + 3] >> 6) == 3;
  const std::uint32_t padding = (bytes[at + 2] >> 1) & 1;
  if (frame.layer == 1) {
    frame.samples = 384;
    frame.length = (12 * frame.bitrate / frame.sampleRate + padding) * 4;
  } else {
    frame.samples = frame.layer == 3 && frame.version != 1 ? 576 : 1152;
    frame.length = frame.samples / 8 * frame.bitrate / frame.sampleRate + padding;
  }
  if (frame.length < 4) return std::nullopt;
  return frame;
}

// A frame that another frame follows (or the bytes end after): a lone
// 0xFFE pattern in a tag or a picture is not taken for audio.
bool FrameConfirmed(Bytes bytes, std::size_t at, const MpegFrame& frame) {
  const std::size_t next = at + frame.length;
  if (next + 4 > bytes.size()) return next <= bytes.size() && at == 0;
  const auto following = MpegFrameAt(bytes, next);
  return following && following->version == frame.version && following->layer == frame.layer &&
         following->sampleRate == frame.sampleRate;
}

// The frame count an Xing/Info or VBRI frame holds.
std::optional<std::uint32_t> CountedFrames(Bytes bytes, std::size_t at, const MpegFrame& frame) {
  const std::size_t sideInfo = frame.version == 1 ? (frame.mono ? 17 : 32) : (frame.mono ? 9 : 17);
  const std::size_t xing = at + 4 + sideInfo;
  if (bytes.size() >= xing + 12) {
    const std::string_view tag(reinterpret_cast<const char*>(bytes.data()) + xing, 4);
    if ((tag == "Xing" || tag == "Info") && (BigEndian32(bytes, xing + 4) & 1))
      return BigEndian32(bytes, xing + 8);
  }
  const std::size_t vbri = at + 36;
  if (bytes.size() >= vbri + 18 &&
      std::string_view(reinterpret_cast<const char*>(bytes.data()) + vbri, 4) == "VBRI")
    return BigEndian32(bytes, vbri + 14);
  return std::nullopt;
}

std::size_t Id3v2Length(Bytes bytes) {
  if (bytes.size() < 10 || bytes[0] != 'I' || bytes[1] != 'D' || bytes[2] != '3') return 0;
  std::size_t size = 0;
  for (int i = 6; i < 10; ++i) size = (size << 7) | (bytes[i] & 0x7f);
  return 10 + size + ((bytes[5] & 0x10) ? 10 : 0);
}

// Where frames may start at most, looking past junk at the front.
constexpr std::size_t kMaxFrameSearch = 16u << 10;

std::optional<MediaFacts> Mp3Facts(CacheFile& file, Bytes head, std::uint64_t start, std::uint64_t total) {
  std::optional<MpegFrame> first;
  std::size_t at = 0;
  for (; at < std::min(head.size(), kMaxFrameSearch); ++at) {
    first = MpegFrameAt(head, at);
    if (first && FrameConfirmed(head, at, *first)) break;
    first.reset();
  }
  if (!first) return std::nullopt;
  MediaFacts facts;
  facts.codecs = first->layer == 3 ? "MP3" : first->layer == 2 ? "MP2" : "MP1";
  if (const auto frames = CountedFrames(head, at, *first); frames && *frames > 0) {
    facts.seconds = static_cast<double>(*frames) * first->samples / first->sampleRate;
    return facts;
  }
  // Constant bitrate: the bytes after the first frame's start, less an ID3v1 tag.
  std::uint64_t audio = total > start + at ? total - start - at : 0;
  std::array<std::uint8_t, 3> tag{};
  if (total >= 128 && file.ReadAt(total - 128, tag.data(), tag.size()) == tag.size() && tag[0] == 'T' &&
      tag[1] == 'A' && tag[2] == 'G' && audio >= 128)
    audio -= 128;
  facts.seconds = static_cast<double>(audio) * 8 / first->bitrate;
  return facts;
}

// ---- AAC in ADTS frames.

struct AdtsFrame {
  std::uint32_t length = 0;
  std::uint32_t sampleRate = 0;
  std::uint32_t samples = 0;
};

std::optional<AdtsFrame> AdtsFrameAt(Bytes bytes, std::size_t at) {
  if (bytes.size() < at + 7 || bytes[at] != 0xFF || (bytes[at + 1] & 0xF6) != 0xF0) return std::nullopt;
  static constexpr std::uint32_t kSampleRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                                     22050, 16000, 12000, 11025, 8000,  7350};
  const std::uint32_t rateIndex = (bytes[at + 2] >> 2) & 0xF;
  if (rateIndex >= 13) return std::nullopt;
  AdtsFrame frame;
  frame.sampleRate = kSampleRates[rateIndex];
  frame.length = ((bytes[at + 3] & 3u) << 11) | (std::uint32_t{bytes[at + 4]} << 3) | (bytes[at + 5] >> 5);
  frame.samples = 1024 * ((bytes[at + 6] & 3u) + 1);
  if (frame.length < 7) return std::nullopt;
  return frame;
}

bool FrameConfirmedAdts(Bytes bytes, const AdtsFrame& frame) {
  if (frame.length + 7 > bytes.size()) return frame.length <= bytes.size();
  const auto next = AdtsFrameAt(bytes, frame.length);
  return next && next->sampleRate == frame.sampleRate;
}

// Frames counted within this many bytes; past them the length is estimated.
constexpr std::uint64_t kAdtsCountBytes = 4 * kMediaFactsScanBytes;

std::optional<MediaFacts> AdtsFacts(CacheFile& file, Bytes head, std::uint64_t start, std::uint64_t total) {
  const auto first = AdtsFrameAt(head, 0);
  if (!first || !FrameConfirmedAdts(head, *first)) return std::nullopt;
  MediaFacts facts;
  facts.codecs = "AAC";
  const std::uint64_t present = file.Size();
  std::uint64_t at = start, samples = 0;
  std::vector<std::uint8_t> chunk(64u << 10);
  std::size_t have = 0;        // bytes in the chunk
  std::uint64_t chunkAt = at;  // where the chunk starts in the file
  while (at < present && at - start < kAdtsCountBytes) {
    if (at + 7 > chunkAt + have) {
      chunkAt = at;
      have = file.ReadAt(at, chunk.data(),
                         static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), present - at)));
      if (have < 7) break;
    }
    const auto frame = AdtsFrameAt(Bytes(chunk.data(), have), static_cast<std::size_t>(at - chunkAt));
    if (!frame || frame->sampleRate != first->sampleRate) break;
    samples += frame->samples;
    at += frame->length;
  }
  if (samples == 0) return facts;
  const double counted = static_cast<double>(samples) / first->sampleRate;
  if (at >= total) {
    facts.seconds = counted;
  } else if (at > start) {
    facts.seconds = counted * static_cast<double>(total - start) / static_cast<double>(at - start);
  }
  return facts;
}

}  // namespace

std::optional<MediaFacts> MpegAudioFactsRead(CacheFile& file, std::optional<std::uint64_t> fullLength) {
  const std::uint64_t present = file.Size();
  const std::uint64_t total = std::max(present, fullLength.value_or(0));
  std::vector<std::uint8_t> head(
      static_cast<std::size_t>(std::min<std::uint64_t>(present, kMediaFactsScanBytes)));
  head.resize(file.ReadAt(0, head.data(), head.size()));
  // A long ID3v2 tag (a cover picture) pushes the frames past the first read.
  const std::uint64_t start = Id3v2Length(head);
  if (start > 0) {
    if (start >= present) return std::nullopt;
    head.resize(static_cast<std::size_t>(std::min<std::uint64_t>(present - start, kMediaFactsScanBytes)));
    head.resize(file.ReadAt(start, head.data(), head.size()));
  }
  if (auto adts = AdtsFacts(file, head, start, total)) return adts;
  return Mp3Facts(file, head, start, total);
}
