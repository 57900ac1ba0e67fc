#include "app/streams/segment_content.h"

#include <algorithm>
#include <optional>

#include "app/browser_caches/iso_boxes.h"
#include "app/browser_caches/media_signature.h"

namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::size_t kPacket = kTransportPacketSize;
constexpr std::size_t kPacketsChecked = 64;

bool IsTransportStream(Bytes bytes) {
  if (bytes.size() < kPacket) return false;
  const std::size_t packets = std::min(bytes.size() / kPacket, kPacketsChecked);
  for (std::size_t i = 0; i < packets; ++i) {
    if (bytes[i * kPacket] != kTransportSyncByte) return false;
  }
  return true;
}

// The handler type of a trak (trak/mdia/hdlr: version and flags, a
// pre-defined word, then the type).
std::string_view TrackHandler(Bytes bytes, const IsoBox& trak) {
  const auto mdia = IsoChildFind(bytes, trak, "mdia");
  if (!mdia) return {};
  const auto hdlr = IsoChildFind(bytes, *mdia, "hdlr");
  if (!hdlr) return {};
  const std::uint64_t at = hdlr->offset + hdlr->headerSize + 8;
  if (at + 4 > hdlr->End() || at + 4 > bytes.size()) return {};
  return {reinterpret_cast<const char*>(bytes.data()) + at, 4};
}

SegmentContent InitContent(Bytes bytes, const IsoBox& moov) {
  SegmentContent content;
  if (!IsoChildFind(bytes, moov, "mvex")) return content;  // a plain MP4's header
  content.container = SegmentContainer::Fmp4Init;
  std::uint64_t at = moov.offset + moov.headerSize;
  while (at < moov.End()) {
    const std::optional<IsoBox> child = IsoBoxAt(bytes, at);
    if (!child || child->End() > moov.End()) break;
    if (child->type == "trak") {
      const std::string_view handler = TrackHandler(bytes, *child);
      content.hasVideo = content.hasVideo || handler == "vide";
      content.hasAudio = content.hasAudio || handler == "soun";
    }
    at = child->End();
  }
  return content;
}

}  // namespace

SegmentContent SegmentContentOf(std::span<const std::uint8_t> bytes) {
  SegmentContent content;
  if (IsTransportStream(bytes)) {
    content.container = SegmentContainer::TransportStream;
    return content;
  }
  const std::optional<IsoBox> first = IsoBoxAt(bytes, 0);
  if (!first) return content;
  static constexpr std::string_view kFragmentStarts[] = {"styp", "moof", "sidx", "emsg", "prft"};
  for (const std::string_view type : kFragmentStarts) {
    if (first->type == type) {
      content.container = SegmentContainer::Fmp4Fragment;
      return content;
    }
  }
  // The moov follows the ftyp, perhaps after free space; some packagers
  // leave the ftyp out.
  std::uint64_t at = 0;
  for (int boxes = 0; boxes < 8; ++boxes) {
    const std::optional<IsoBox> box = IsoBoxAt(bytes, at);
    if (!box) break;
    if (box->type == "moov") return InitContent(bytes, *box);
    if (box->type != "ftyp" && box->type != "free" && box->type != "skip") break;
    at = box->End();
  }
  return content;
}

std::string_view StreamJoinedExtension(const SegmentContent& content, StreamKind kind) {
  switch (content.container) {
    case SegmentContainer::TransportStream:
      return "ts";
    case SegmentContainer::Fmp4Init:
      if (content.hasVideo) return "mp4";
      if (content.hasAudio) return "m4a";
      return kind == StreamKind::Audio ? "m4a" : "mp4";
    case SegmentContainer::Fmp4Fragment:
    case SegmentContainer::Unknown:
      break;
  }
  return {};
}
