#include "app/muxing/webm_track_reader.h"

#include <algorithm>
#include <array>
#include <limits>

#include "app/muxing/ebml_reader.h"

namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::array<std::string_view, 5> kWebmCodecs = {"V_VP8", "V_VP9", "V_AV1", "A_VORBIS", "A_OPUS"};
// Matroska codecs whose frames are the same bytes in any Matroska file.
constexpr std::array<std::string_view, 8> kMatroskaCodecs = {"V_MPEG4/ISO/AVC", "V_MPEGH/ISO/HEVC", "A_AAC",
                                                             "A_AC3",           "A_EAC3",           "A_FLAC",
                                                             "A_MPEG/L3",       "A_PCM/INT/LIT"};

Bytes DataOf(Bytes bytes, const EbmlElement& element) {
  return bytes.subspan(static_cast<std::size_t>(element.dataOffset), static_cast<std::size_t>(*element.size));
}

// Calls visit(child) for each child of known size within [at, end).
template <typename Visit>
bool ForEachElement(Bytes bytes, std::uint64_t at, std::uint64_t end, Visit visit) {
  while (at < end) {
    const auto element = EbmlElementIn(bytes, at, end);
    if (!element || !element->size) return false;
    visit(*element);
    at = element->dataOffset + *element->size;
  }
  return true;
}

bool HasElement(Bytes bytes, std::uint64_t at, std::uint64_t end, std::uint32_t id, int depth) {
  bool found = false;
  ForEachElement(bytes, at, end, [&](const EbmlElement& element) {
    if (element.id == id)
      found = true;
    else if (depth > 0 && !found)
      found = HasElement(bytes, element.dataOffset, element.dataOffset + *element.size, id, depth - 1);
  });
  return found;
}

void ReadEntry(Bytes bytes, const EbmlElement& entry, WebmTrack& track) {
  std::uint64_t type = 0;
  WebmTrack read;
  bool encodings = false;
  bool encrypted = false;
  const std::uint64_t end = entry.dataOffset + *entry.size;
  const bool whole = ForEachElement(bytes, entry.dataOffset, end, [&](const EbmlElement& child) {
    const Bytes data = DataOf(bytes, child);
    switch (child.id) {
      case ebml::kTrackType:
        type = EbmlUint(data).value_or(0);
        break;
      case ebml::kTrackNumber:
        read.trackNumber = EbmlUint(data).value_or(0);
        break;
      case ebml::kCodecId:
        read.codecId = EbmlString(data);
        break;
      case 0x23E383:
        read.defaultDuration = EbmlUint(data).value_or(0);
        break;  // DefaultDuration
      case ebml::kContentEncodings:
        encodings = true;
        encrypted = HasElement(bytes, child.dataOffset, child.dataOffset + *child.size, 0x5035, 2);
        break;
      default:
        break;
    }
    if (child.id != ebml::kTrackNumber && child.id != ebml::kTrackUid) {
      const Bytes raw =
          bytes.subspan(static_cast<std::size_t>(child.offset),
                        static_cast<std::size_t>(child.dataOffset + *child.size - child.offset));
      read.entryChildren.insert(read.entryChildren.end(), raw.begin(), raw.end());
    }
  });
  if (type != 1 && type != 2) return;  // neither video nor sound: not the one we want
  track.trackNumber = read.trackNumber;
  track.codecId = std::move(read.codecId);
  track.defaultDuration = read.defaultDuration;
  track.entryChildren = std::move(read.entryChildren);
  track.kind = type == 1 ? TrackKind::Video : TrackKind::Audio;
  if (!whole || track.trackNumber == 0 || track.trackNumber > 126) {
    track.fault = TrackFault::NotReadable;
  } else if (encrypted) {
    track.fault = TrackFault::Encrypted;
  } else if (encodings) {
    track.fault = TrackFault::UnknownCodec;  // compressed frames: not the codec's own bytes
  } else {
    track.webmCodec = std::find(kWebmCodecs.begin(), kWebmCodecs.end(), track.codecId) != kWebmCodecs.end();
    if (!track.webmCodec &&
        std::find(kMatroskaCodecs.begin(), kMatroskaCodecs.end(), track.codecId) == kMatroskaCodecs.end())
      track.fault = TrackFault::UnknownCodec;
  }
}

std::optional<std::vector<std::uint8_t>> ReadData(CacheFile& file, const EbmlElement& element) {
  if (!element.size || *element.size > kWebmMaxHeadBytes) return std::nullopt;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(*element.size));
  if (file.ReadAt(element.dataOffset, bytes.data(), bytes.size()) != bytes.size()) return std::nullopt;
  return bytes;
}

void ReadInfo(Bytes info, WebmTrack& track) {
  ForEachElement(info, 0, info.size(), [&](const EbmlElement& child) {
    if (child.id == ebml::kTimestampScale) track.timestampScale = EbmlUint(DataOf(info, child)).value_or(0);
    if (child.id == ebml::kDuration) track.duration = EbmlFloat(DataOf(info, child)).value_or(0);
  });
}

// Top-level elements that end a Cluster of unknown size.
bool EndsCluster(std::uint32_t id) {
  return id == ebml::kCluster || id == ebml::kCues || id == ebml::kInfo || id == ebml::kTracks ||
         id == ebml::kSeekHead || id == 0x1254C367 /* Tags */ || id == 0x1043A770 /* Chapters */ ||
         id == 0x1941A469 /* Attachments */;
}

}  // namespace

void WebmTrackFromTracks(std::span<const std::uint8_t> tracks, WebmTrack& track) {
  bool found = false;
  ForEachElement(tracks, 0, tracks.size(), [&](const EbmlElement& entry) {
    if (entry.id != ebml::kTrackEntry) return;
    if (found) {
      WebmTrack other;
      ReadEntry(tracks, entry, other);
      if (other.kind != TrackKind::Unknown) ++track.mediaTracks;
      return;
    }
    ReadEntry(tracks, entry, track);
    found = track.kind != TrackKind::Unknown;
    if (found) track.mediaTracks = 1;
  });
  if (!found) track.fault = TrackFault::NotReadable;
}

namespace {

WebmTrack TrackRead(CacheFile& file, bool needClusters) {
  WebmTrack track;
  track.fault = TrackFault::NotReadable;
  const std::uint64_t size = file.Size();
  const auto header = EbmlElementAt(file, 0, size);
  if (!header || header->id != ebml::kHeader || !header->size) return track;
  // From the headers alone a file still being fetched is read too: its
  // Segment may be declared longer than the bytes there so far.
  const std::uint64_t segmentLimit = needClusters ? size : std::numeric_limits<std::uint64_t>::max();
  const auto segment = EbmlElementAt(file, header->dataOffset + *header->size, segmentLimit);
  if (!segment || segment->id != ebml::kSegment) return track;
  const std::uint64_t end = std::min(segment->DataEnd(size), size);
  std::optional<std::vector<std::uint8_t>> info, tracks;
  for (std::uint64_t at = segment->dataOffset; at < end;) {
    const auto element = EbmlElementAt(file, at, end);
    if (!element) break;
    if (element->id == ebml::kCluster) {  // perhaps of unknown size
      track.clustersStart = at;
      break;
    }
    if (!element->size) break;
    if (element->id == ebml::kInfo) info = ReadData(file, *element);
    if (element->id == ebml::kTracks) tracks = ReadData(file, *element);
    at = element->dataOffset + *element->size;
  }
  if (!info || !tracks || (needClusters && track.clustersStart == 0)) return track;
  track.fault = TrackFault::None;
  ReadInfo(*info, track);
  WebmTrackFromTracks(*tracks, track);
  track.segmentEnd = end;
  if (track.fault == TrackFault::None && track.timestampScale == 0) track.fault = TrackFault::BadTiming;
  return track;
}

}  // namespace

WebmTrack WebmTrackRead(CacheFile& file) { return TrackRead(file, true); }

WebmTrack WebmTrackHeadersRead(CacheFile& file) { return TrackRead(file, false); }

WebmFrameCursor::WebmFrameCursor(CacheFile& file, const WebmTrack& track)
    : file_(file), track_(track), at_(track.clustersStart) {}

bool WebmFrameCursor::ReadBlock(std::uint64_t at, std::uint64_t end, WebmFrame& frame, bool& ours) {
  std::array<std::uint8_t, 12> head{};
  const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(head.size(), end - at));
  if (file_.ReadAt(at, head.data(), want) != want) return false;
  std::size_t length = 0;
  const auto number = EbmlVint(std::span(head.data(), want), length);
  if (!number || length + 3 > want) return false;
  ours = *number == track_.trackNumber;
  const auto relative = static_cast<std::int16_t>((head[length] << 8) | head[length + 1]);
  frame.timestamp = clusterTimestamp_ + relative;
  frame.dataOffset = at + length + 2;
  frame.dataSize = end - frame.dataOffset;
  frame.keyframe = (head[length + 2] & 0x80) != 0;
  return true;
}

bool WebmFrameCursor::ReadGroup(std::uint64_t at, std::uint64_t end, WebmFrame& frame, bool& ours) {
  const std::uint64_t start = at;
  bool block = false;
  bool referenced = false;
  while (at < end) {
    const auto child = EbmlElementAt(file_, at, end);
    if (!child || !child->size) return false;
    const std::uint64_t childEnd = child->dataOffset + *child->size;
    if (child->id == ebml::kBlock && !block) {
      if (!ReadBlock(child->dataOffset, childEnd, frame, ours)) return false;
      block = true;
      frame.beforeOffset = start;
      frame.beforeSize = child->offset - start;
      frame.afterOffset = childEnd;
      frame.afterSize = end - childEnd;
    } else if (child->id == ebml::kReferenceBlock) {
      referenced = true;
    } else if (child->id == ebml::kBlockDuration && *child->size <= 8) {
      std::array<std::uint8_t, 8> value{};
      const auto count = static_cast<std::size_t>(*child->size);
      if (file_.ReadAt(child->dataOffset, value.data(), count) != count) return false;
      frame.blockDuration = EbmlUint(std::span(value.data(), count));
    }
    at = childEnd;
  }
  frame.group = true;
  frame.keyframe = !referenced;
  return block;
}

bool WebmFrameCursor::Next(WebmFrame& frame) {
  while (!failed_ && at_ < track_.segmentEnd) {
    const std::uint64_t end = inCluster_ ? clusterEnd_ : track_.segmentEnd;
    if (inCluster_ && at_ >= clusterEnd_) {
      inCluster_ = false;
      continue;
    }
    const auto element = EbmlElementAt(file_, at_, end);
    if (!element) break;
    if (!inCluster_) {
      if (element->id == ebml::kCluster) {
        inCluster_ = true;
        clusterEnd_ = element->DataEnd(track_.segmentEnd);
        clusterTimestamp_ = 0;
        at_ = element->dataOffset;
      } else if (element->size) {
        at_ = element->dataOffset + *element->size;
      } else {
        break;
      }
      continue;
    }
    if (EndsCluster(element->id)) {  // the end of a cluster of unknown size
      inCluster_ = false;
      continue;
    }
    if (!element->size) break;
    const std::uint64_t elementEnd = element->dataOffset + *element->size;
    at_ = elementEnd;
    if (element->id == ebml::kClusterTimestamp && *element->size <= 8) {
      std::array<std::uint8_t, 8> value{};
      const auto count = static_cast<std::size_t>(*element->size);
      if (file_.ReadAt(element->dataOffset, value.data(), count) != count) break;
      const std::uint64_t timestamp = *EbmlUint(std::span(value.data(), count));
      if (timestamp > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max() / 2)) break;
      clusterTimestamp_ = static_cast<std::int64_t>(timestamp);
      continue;
    }
    bool ours = false;
    frame = WebmFrame{};
    if (element->id == ebml::kSimpleBlock) {
      if (!ReadBlock(element->dataOffset, elementEnd, frame, ours)) break;
    } else if (element->id == ebml::kBlockGroup) {
      if (!ReadGroup(element->dataOffset, elementEnd, frame, ours)) break;
    }
    if (ours) return true;
  }
  if (at_ < track_.segmentEnd) failed_ = true;
  return false;
}
