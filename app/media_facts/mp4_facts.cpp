#include "app/media_facts/mp4_facts.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string_view>
#include <vector>

#include "app/browser_caches/iso_boxes.h"
#include "app/muxing/box_bytes.h"
#include "app/muxing/mp4_track_reader.h"

namespace {

using Bytes = std::span<const std::uint8_t>;

// The box's payload when the whole box lies in the bytes.
std::optional<Bytes> PayloadOf(Bytes bytes, const std::optional<IsoBox>& box) {
  if (!box || box->End() > bytes.size()) return std::nullopt;
  return bytes.subspan(static_cast<std::size_t>(box->offset) + box->headerSize,
                       static_cast<std::size_t>(box->size) - box->headerSize);
}

std::optional<IsoBox> Child(Bytes bytes, const std::optional<IsoBox>& parent, std::string_view type) {
  if (!parent) return std::nullopt;
  const auto child = IsoChildFind(bytes, *parent, type);
  if (!child || child->End() > bytes.size()) return std::nullopt;
  return child;
}

// A full box's fields: version 0 holds 32-bit times, version 1 64-bit ones.
std::uint64_t Field(Bytes payload, std::size_t at, std::size_t count) {
  if (payload.size() < at || payload.size() - at < count) return 0;
  return BigEndianAt(payload, at, count);
}

// Seconds of a duration in a timescale; nothing for "unknown" (all ones) or zero.
std::optional<double> SecondsOf(std::uint64_t duration, std::uint64_t timescale, bool wide) {
  const std::uint64_t unknown = wide ? UINT64_MAX : 0xffffffffu;
  if (timescale == 0 || duration == 0 || duration == unknown) return std::nullopt;
  return static_cast<double>(duration) / static_cast<double>(timescale);
}

// mvhd and mdhd share their layout up to the duration.
std::optional<double> HeaderSeconds(Bytes bytes, const std::optional<IsoBox>& box) {
  const auto payload = PayloadOf(bytes, box);
  if (!payload || payload->empty()) return std::nullopt;
  const bool wide = (*payload)[0] == 1;
  const std::size_t scaleAt = wide ? 20 : 12;
  if (payload->size() < scaleAt + (wide ? 12 : 8)) return std::nullopt;
  return SecondsOf(Field(*payload, scaleAt + 4, wide ? 8 : 4), Field(*payload, scaleAt, 4), wide);
}

// The length of an MPEG-4 descriptor (1 to 4 bytes of 7 bits) at `at`.
std::optional<std::size_t> DescriptorLength(Bytes bytes, std::size_t& at) {
  std::size_t length = 0;
  for (int i = 0; i < 4; ++i) {
    if (at >= bytes.size()) return std::nullopt;
    const std::uint8_t byte = bytes[at++];
    length = (length << 7) | (byte & 0x7f);
    if (!(byte & 0x80)) return length;
  }
  return std::nullopt;
}

// The object type of an esds box's decoder configuration: AAC and MP3
// both sit in an mp4a entry.
std::uint8_t EsdsObjectType(Bytes esds) {
  std::size_t at = 4;  // version and flags
  if (at >= esds.size() || esds[at++] != 0x03 || !DescriptorLength(esds, at)) return 0;
  if (esds.size() < at + 3) return 0;
  const std::uint8_t flags = esds[at + 2];
  at += 3;
  if (flags & 0x80) at += 2;  // depends on another stream
  if (flags & 0x40) {         // a URL
    if (at >= esds.size()) return 0;
    at += 1 + esds[at];
  }
  if (flags & 0x20) at += 2;  // OCR stream
  if (at >= esds.size() || esds[at++] != 0x04 || !DescriptorLength(esds, at) || at >= esds.size()) return 0;
  return esds[at];
}

// Where a sample entry's child boxes start, after its fixed fields.
std::size_t EntryChildrenAt(const IsoBox& entry, bool video, Bytes bytes) {
  std::size_t fixed = video ? 78 : 28;
  if (!video && entry.End() <= bytes.size() && entry.size >= entry.headerSize + 10) {
    const std::uint64_t version =
        BigEndianAt(bytes, static_cast<std::size_t>(entry.offset + entry.headerSize + 8), 2);
    if (version == 1) fixed += 16;
    if (version == 2) fixed += 36;
  }
  return fixed;
}

// The entry's child box of that type.
std::optional<IsoBox> EntryChild(Bytes bytes, const IsoBox& entry, bool video, std::string_view type) {
  IsoBox inner = entry;
  const std::size_t skip = EntryChildrenAt(entry, video, bytes);
  if (entry.size < entry.headerSize + skip) return std::nullopt;
  inner.headerSize = entry.headerSize + skip;
  return Child(bytes, inner, type);
}

struct TrackFacts {
  bool video = false;
  std::string codec;
  std::optional<double> seconds;
  std::uint32_t width = 0, height = 0;
};

std::optional<TrackFacts> TrakFacts(Bytes bytes, const IsoBox& trak) {
  const auto mdia = Child(bytes, trak, "mdia");
  const auto hdlr = PayloadOf(bytes, Child(bytes, mdia, "hdlr"));
  if (!hdlr || hdlr->size() < 12) return std::nullopt;
  const std::string_view handler(reinterpret_cast<const char*>(hdlr->data()) + 8, 4);
  if (handler != "vide" && handler != "soun") return std::nullopt;
  TrackFacts facts;
  facts.video = handler == "vide";
  facts.seconds = HeaderSeconds(bytes, Child(bytes, mdia, "mdhd"));
  if (const auto tkhd = PayloadOf(bytes, Child(bytes, trak, "tkhd")); tkhd && !tkhd->empty()) {
    const std::size_t sizeAt = (*tkhd)[0] == 1 ? 88 : 76;
    facts.width = static_cast<std::uint32_t>(Field(*tkhd, sizeAt, 4) >> 16);
    facts.height = static_cast<std::uint32_t>(Field(*tkhd, sizeAt + 4, 4) >> 16);
  }
  const auto stsd = Child(bytes, Child(bytes, Child(bytes, mdia, "minf"), "stbl"), "stsd");
  if (!stsd || stsd->size < stsd->headerSize + 8) return facts;
  const auto entry = IsoBoxAt(bytes, stsd->offset + stsd->headerSize + 8);
  if (!entry || entry->End() > stsd->End() || entry->End() > bytes.size()) return facts;
  std::string_view type = entry->type;
  if (type == "encv" || type == "enca") {
    // The protection scheme names the format underneath.
    const auto frma = PayloadOf(bytes, Child(bytes, EntryChild(bytes, *entry, facts.video, "sinf"), "frma"));
    if (frma && frma->size() >= 4) type = std::string_view(reinterpret_cast<const char*>(frma->data()), 4);
  }
  std::uint8_t objectType = 0;
  if (type == "mp4a") {
    if (const auto esds = PayloadOf(bytes, EntryChild(bytes, *entry, false, "esds")))
      objectType = EsdsObjectType(*esds);
  }
  facts.codec = Mp4CodecName(type, objectType);
  if (facts.video) {
    // The coded size, as decoders report it; tkhd's is the display size.
    const auto payload = PayloadOf(bytes, entry);
    const std::uint64_t width = payload ? Field(*payload, 24, 2) : 0;
    const std::uint64_t height = payload ? Field(*payload, 26, 2) : 0;
    if (width > 0 && height > 0) {
      facts.width = static_cast<std::uint32_t>(width);
      facts.height = static_cast<std::uint32_t>(height);
    }
  }
  return facts;
}

}  // namespace

std::string Mp4CodecName(std::string_view entryType, std::uint8_t objectType) {
  struct Name {
    std::string_view type, name;
  };
  static constexpr Name kNames[] = {
      {"avc1", "H.264"},  {"avc3", "H.264"}, {"hev1", "H.265"},  {"hvc1", "H.265"}, {"av01", "AV1"},
      {"vp09", "VP9"},    {"vp08", "VP8"},   {"mp4v", "MPEG-4"}, {"Opus", "Opus"},  {"ac-3", "AC-3"},
      {"ec-3", "E-AC-3"}, {"fLaC", "FLAC"},  {".mp3", "MP3"},    {"alac", "ALAC"}};
  if (entryType == "mp4a") return objectType == 0x69 || objectType == 0x6b ? "MP3" : "AAC";
  for (const Name& known : kNames) {
    if (known.type == entryType) return std::string(known.name);
  }
  // Another format: its four characters, when they are printable.
  std::string name;
  for (const char c : entryType) {
    if (c <= ' ' || c > '~') break;
    name += c;
  }
  return name;
}

MediaFacts Mp4FactsFromMoov(std::span<const std::uint8_t> bytes) {
  MediaFacts facts;
  const std::optional<IsoBox> moov = IsoBoxAt(bytes, 0);
  if (!moov || moov->type != "moov" || moov->End() > bytes.size()) return facts;
  facts.seconds = HeaderSeconds(bytes, Child(bytes, moov, "mvhd"));
  std::vector<TrackFacts> tracks;
  for (std::uint64_t at = moov->headerSize; at < moov->End();) {
    const std::optional<IsoBox> child = IsoBoxAt(bytes, at);
    if (!child || child->End() > moov->End()) break;
    if (child->type == "trak") {
      if (auto track = TrakFacts(bytes, *child)) tracks.push_back(std::move(*track));
    }
    at = child->End();
  }
  if (!facts.seconds) {
    // A fragmented file's movie header leaves the length open; mehd may say it.
    const auto mvhdScale = [&]() -> std::uint64_t {
      const auto payload = PayloadOf(bytes, Child(bytes, moov, "mvhd"));
      if (!payload || payload->empty()) return 0;
      return Field(*payload, (*payload)[0] == 1 ? 20 : 12, 4);
    }();
    if (const auto mehd = PayloadOf(bytes, Child(bytes, Child(bytes, moov, "mvex"), "mehd"));
        mehd && !mehd->empty()) {
      const bool wide = (*mehd)[0] == 1;
      facts.seconds = SecondsOf(Field(*mehd, 4, wide ? 8 : 4), mvhdScale, wide);
    }
  }
  if (!facts.seconds) {
    for (const TrackFacts& track : tracks) {
      if (track.seconds && (!facts.seconds || *track.seconds > *facts.seconds)) facts.seconds = track.seconds;
    }
  }
  CodecList codecs;
  for (const bool video : {true, false}) {
    for (const TrackFacts& track : tracks) {
      if (track.video != video) continue;
      codecs.Add(track.codec);
      if (video && !facts.width && track.width > 0 && track.height > 0) {
        facts.width = track.width;
        facts.height = track.height;
      }
    }
  }
  facts.codecs = codecs.Text();
  return facts;
}

namespace {

// The sum of a sidx's subsegment durations.
std::optional<double> SidxSeconds(Bytes box) {
  const auto payload = PayloadOf(box, IsoBoxAt(box, 0));
  if (!payload || payload->size() < 12) return std::nullopt;
  const bool wide = (*payload)[0] == 1;
  const std::uint64_t timescale = Field(*payload, 8, 4);
  const std::size_t countAt = 12 + (wide ? 16 : 8) + 2;
  if (payload->size() < countAt + 2) return std::nullopt;
  const std::uint64_t count = Field(*payload, countAt, 2);
  if ((payload->size() - countAt - 2) / 12 < count) return std::nullopt;
  std::uint64_t total = 0;
  for (std::uint64_t i = 0; i < count; ++i) total += Field(*payload, countAt + 2 + i * 12 + 4, 4);
  return SecondsOf(total, timescale, true);
}

// The first track's samples of one moof: its first decode time and the end
// of its last sample.  A moof without tfdt says nothing of where it stands.
std::optional<std::pair<std::int64_t, std::int64_t>> FragmentTimes(CacheFile& file, const IsoBox& box,
                                                                   const Mp4Track& track) {
  const auto moof = Mp4BoxRead(file, box, kMediaFactsMaxHeaderBytes);
  if (!moof) return std::nullopt;
  std::int64_t next = -1;
  std::vector<MediaSample> samples;
  if (!Mp4FragmentSamples(*moof, box.offset, track, next, samples) || samples.empty()) return std::nullopt;
  if (samples.front().decodeTime < 0) return std::nullopt;
  return std::pair{samples.front().decodeTime, next};
}

// Top-level boxes walked after moov at most: their headers only.
constexpr int kMaxTopBoxes = 200000;

// The length of a fragmented file from its sidx, else from its first and last fragments.
std::optional<double> FragmentedSeconds(CacheFile& file, std::span<const std::uint8_t> moov,
                                        std::uint64_t from, std::uint64_t size) {
  std::optional<IsoBox> first, last;
  int walked = 0;
  for (std::uint64_t at = from; at < size && walked < kMaxTopBoxes; ++walked) {
    const auto box = Mp4TopBoxAt(file, at, size);
    if (!box || box->End() > size) break;
    if (box->type == "sidx" && !first) {
      if (const auto sidx = Mp4BoxRead(file, *box, kMediaFactsScanBytes)) {
        if (const auto seconds = SidxSeconds(*sidx)) return seconds;
      }
    }
    if (box->type == "moof") {
      if (!first) first = box;
      last = box;
    }
    at = box->End();
  }
  if (!first) return std::nullopt;
  Mp4Track track = Mp4TrackFromMoov(moov);
  if (track.trackId == 0 || track.timescale == 0) return std::nullopt;
  const auto head = FragmentTimes(file, *first, track);
  const auto tail = FragmentTimes(file, *last, track);
  if (!head || !tail || tail->second <= head->first) return std::nullopt;
  return static_cast<double>(tail->second - head->first) / track.timescale;
}

}  // namespace

std::optional<MediaFacts> Mp4FactsRead(CacheFile& file) {
  const std::uint64_t size = file.Size();
  for (std::uint64_t at = 0; at < size;) {
    const auto box = Mp4TopBoxAt(file, at, size);
    if (!box) return std::nullopt;
    if (box->type == "moov") {
      const auto moov = Mp4BoxRead(file, *box, kMediaFactsMaxHeaderBytes);
      if (!moov) return std::nullopt;
      MediaFacts facts = Mp4FactsFromMoov(*moov);
      if (!facts.seconds) facts.seconds = FragmentedSeconds(file, *moov, box->End(), size);
      return facts;
    }
    if (box->type == "moof") return std::nullopt;  // a fragment before any moov: a segment
    at = box->End();
  }
  return std::nullopt;
}
