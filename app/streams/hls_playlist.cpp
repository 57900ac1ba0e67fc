#include "app/streams/hls_playlist.h"

#include <limits>

#include "app/streams/playlist_text.h"
#include "app/streams/web_address.h"

namespace {

// The value of NAME in an attribute list (RFC 8216 4.2): NAME=VALUE pairs
// separated by commas, where a quoted value may hold commas.
std::optional<std::string_view> Attribute(std::string_view list, std::string_view name) {
  std::size_t at = 0;
  while (at < list.size()) {
    const std::size_t equals = list.find('=', at);
    if (equals == std::string_view::npos) return std::nullopt;
    const std::string_view key = PlaylistTrimmed(list.substr(at, equals - at));
    std::size_t end = equals + 1;
    std::string_view value;
    if (end < list.size() && list[end] == '"') {
      const std::size_t close = list.find('"', end + 1);
      const std::size_t valueEnd = close == std::string_view::npos ? list.size() : close;
      value = list.substr(end + 1, valueEnd - end - 1);
      end = list.find(',', valueEnd);
    } else {
      const std::size_t comma = list.find(',', end);
      value = PlaylistTrimmed(list.substr(end, comma == std::string_view::npos ? list.npos : comma - end));
      end = comma;
    }
    if (key == name) return value;
    if (end == std::string_view::npos) return std::nullopt;
    at = end + 1;
  }
  return std::nullopt;
}

std::string AttributeText(std::string_view list, std::string_view name) {
  return std::string(Attribute(list, name).value_or(std::string_view()));
}

// "<n>[@<o>]"; the offset is absent when not written.
struct RangeText {
  std::uint64_t length = 0;
  std::optional<std::uint64_t> offset;
};

std::optional<RangeText> RangeTextParse(std::string_view text) {
  const std::size_t at = text.find('@');
  RangeText range;
  const auto length = PlaylistUnsigned(PlaylistTrimmed(text.substr(0, at)));
  if (!length) return std::nullopt;
  range.length = *length;
  if (at != std::string_view::npos) {
    range.offset = PlaylistUnsigned(PlaylistTrimmed(text.substr(at + 1)));
    if (!range.offset) return std::nullopt;
  }
  // A range past the 64-bit space names no bytes of any resource.
  if (range.offset && *range.offset > std::numeric_limits<std::uint64_t>::max() - range.length)
    return std::nullopt;
  return range;
}

HlsKeyMethod KeyMethodOf(std::string_view method) {
  if (method == "NONE") return HlsKeyMethod::None;
  if (method == "AES-128") return HlsKeyMethod::Aes128;
  if (method == "SAMPLE-AES" || method == "SAMPLE-AES-CTR" || method == "SAMPLE-AES-CENC")
    return HlsKeyMethod::SampleAes;
  return HlsKeyMethod::Other;
}

// What the tags before a URI line say about the segment it names.
struct PendingSegment {
  double duration = 0;
  std::optional<RangeText> range;
  bool discontinuity = false;
};

class HlsReader {
 public:
  HlsReader(std::string_view ownAddress, HlsPlaylist& playlist, std::uint64_t budgetBytes)
      : ownAddress_(ownAddress), out_(playlist), budget_(budgetBytes) {
    addresses_.SetBase(ownAddress);
  }

  std::uint64_t Held(std::uint64_t budgetBytes) const { return budgetBytes - budget_.Left(); }

  void Line(std::string_view line) {
    if (line.empty()) return;
    if (line.front() != '#') return Uri(line);
    if (!line.starts_with("#EXT")) return;  // a comment
    const std::size_t colon = line.find(':');
    const std::string_view tag = line.substr(0, colon);
    const std::string_view value =
        colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
    Tag(tag, value);
  }

 private:
  void Tag(std::string_view tag, std::string_view value) {
    if (tag == "#EXTINF") {
      pending_.duration = PlaylistDecimal(PlaylistTrimmed(value.substr(0, value.find(',')))).value_or(0);
    } else if (tag == "#EXT-X-BYTERANGE") {
      pending_.range = RangeTextParse(PlaylistTrimmed(value));
    } else if (tag == "#EXT-X-DISCONTINUITY") {
      pending_.discontinuity = true;
    } else if (tag == "#EXT-X-MEDIA-SEQUENCE") {
      if (out_.segments.empty()) out_.mediaSequence = PlaylistUnsigned(PlaylistTrimmed(value)).value_or(0);
    } else if (tag == "#EXT-X-KEY" || tag == "#EXT-X-SESSION-KEY") {
      Key(tag, Attribute(value, "METHOD").value_or("NONE"));
    } else if (tag == "#EXT-X-MAP") {
      Map(value);
    } else if (tag == "#EXT-X-ENDLIST") {
      out_.endList = true;
    } else if (tag == "#EXT-X-STREAM-INF") {
      out_.variant = true;
      streamInf_ = std::string(value);
      awaitingVariant_ = true;
    } else if (tag == "#EXT-X-I-FRAME-STREAM-INF") {
      out_.variant = true;  // trick-play streams of key frames only: not a stream to save
    } else if (tag == "#EXT-X-MEDIA") {
      out_.variant = true;
      Rendition(value);
    }
  }

  // The reference resolved, unless it or the result is longer than an
  // address may be (then the playlist is marked cut).
  std::optional<std::string> Resolved(std::string_view reference) {
    if (reference.size() <= kStreamMaxAddressBytes) {
      std::string address = WebAddressResolve(ownAddress_, reference);
      if (address.size() <= kStreamMaxAddressBytes) return address;
    }
    out_.truncated = true;
    return std::nullopt;
  }

  // A segment's or map's address, as Resolved but sharing its folder.
  std::optional<SegmentAddress> SegmentAt(std::string_view reference) {
    if (reference.size() <= kStreamMaxAddressBytes) {
      if (std::optional<SegmentAddress> address = addresses_.MakeRelative(reference)) {
        if (address->size() <= kStreamMaxAddressBytes) return address;
        out_.truncated = true;
        return std::nullopt;
      }
    }
    std::optional<std::string> address = Resolved(reference);
    if (!address) return std::nullopt;
    return addresses_.Make(std::move(*address));
  }

  // Takes what keeping an item costs from the playlist's budget, with the
  // folders made for addresses since the last item.
  bool Spend(std::uint64_t bytes) {
    const std::uint64_t folders = addresses_.FolderBytes() - foldersCounted_;
    foldersCounted_ = addresses_.FolderBytes();
    if (budget_.Spend(bytes + folders)) return true;
    out_.truncated = true;
    return false;
  }

  void Key(std::string_view tag, std::string_view methodText) {
    const HlsKeyMethod method = KeyMethodOf(PlaylistTrimmed(methodText));
    if (method != HlsKeyMethod::None && out_.keyMethod == HlsKeyMethod::None) out_.keyMethod = method;
    if (tag == "#EXT-X-SESSION-KEY") {
      // A variant playlist announcing the key its media playlists use.
      out_.encrypted = out_.encrypted || method != HlsKeyMethod::None;
      return;
    }
    keyInForce_ = method != HlsKeyMethod::None;
  }

  void Map(std::string_view attributes) {
    const auto uri = Attribute(attributes, "URI");
    if (!uri) return;
    std::optional<SegmentAddress> address = SegmentAt(*uri);
    if (!address) return;
    SegmentRef map{std::move(*address), std::nullopt};
    if (const auto rangeText = Attribute(attributes, "BYTERANGE")) {
      if (const auto range = RangeTextParse(*rangeText))
        map.range = ByteRange{range->offset.value_or(0), range->length};
    }
    if (!out_.maps.empty() && out_.maps.back() == map) return;  // repeated after a discontinuity
    if (out_.maps.size() >= kHlsMaxVariants) {
      out_.truncated = true;
      return;
    }
    if (!Spend(SegmentRefCost(map))) return;
    out_.maps.push_back(std::move(map));
  }

  void Rendition(std::string_view attributes) {
    const std::string_view type = PlaylistTrimmed(Attribute(attributes, "TYPE").value_or(""));
    const auto uri = Attribute(attributes, "URI");
    // Renditions without a URI are carried in the variant streams themselves;
    // subtitles and captions are no media.
    if (!uri || (type != "AUDIO" && type != "VIDEO")) return;
    if (out_.renditions.size() >= kHlsMaxVariants) {
      out_.truncated = true;
      return;
    }
    std::optional<std::string> address = Resolved(*uri);
    if (!address) return;
    HlsRendition rendition;
    rendition.kind = type == "AUDIO" ? StreamKind::Audio : StreamKind::Video;
    rendition.address = std::move(*address);
    rendition.groupId = AttributeText(attributes, "GROUP-ID");
    rendition.name = AttributeText(attributes, "NAME");
    rendition.language = AttributeText(attributes, "LANGUAGE");
    if (!Spend(sizeof rendition + rendition.address.size() + rendition.groupId.size() + rendition.name.size() +
               rendition.language.size()))
      return;
    out_.renditions.push_back(std::move(rendition));
  }

  void Uri(std::string_view uri) {
    if (out_.variant) {
      if (!awaitingVariant_) return;
      awaitingVariant_ = false;
      if (out_.variants.size() >= kHlsMaxVariants) {
        out_.truncated = true;
        return;
      }
      std::optional<std::string> address = Resolved(uri);
      if (!address) return;
      HlsVariant variant;
      variant.address = std::move(*address);
      variant.bandwidth =
          PlaylistUnsigned(PlaylistTrimmed(Attribute(streamInf_, "BANDWIDTH").value_or(""))).value_or(0);
      variant.codecs = AttributeText(streamInf_, "CODECS");
      variant.resolution = AttributeText(streamInf_, "RESOLUTION");
      variant.audioGroup = AttributeText(streamInf_, "AUDIO");
      if (!Spend(sizeof variant + variant.address.size() + variant.codecs.size() + variant.resolution.size() +
                 variant.audioGroup.size()))
        return;
      out_.variants.push_back(std::move(variant));
      return;
    }
    const PendingSegment pending = pending_;
    pending_ = {};
    if (out_.segments.size() >= kHlsMaxSegments) {
      out_.truncated = true;
      return;
    }
    std::optional<SegmentAddress> address = SegmentAt(uri);
    if (!address) return;
    HlsSegment segment;
    segment.ref.address = std::move(*address);
    if (pending.range) {
      // Without an offset the range follows the previous segment's range in
      // the same resource (RFC 8216 4.3.2.2); where there is none, from 0.
      std::uint64_t offset = 0;
      if (pending.range->offset) {
        offset = *pending.range->offset;
      } else if (!out_.segments.empty()) {
        const SegmentRef& previous = out_.segments.back().ref;
        if (previous.address == segment.ref.address && previous.range && previous.range->length)
          offset = previous.range->offset + *previous.range->length;
      }
      if (offset <= std::numeric_limits<std::uint64_t>::max() - pending.range->length)
        segment.ref.range = ByteRange{offset, pending.range->length};
    }
    segment.sequence = out_.mediaSequence + out_.segments.size();
    segment.duration = pending.duration;
    segment.discontinuity = pending.discontinuity;
    segment.encrypted = keyInForce_;
    segment.map = static_cast<int>(out_.maps.size()) - 1;
    if (!Spend(sizeof segment + segment.ref.address.OwnBytes())) return;
    out_.encrypted = out_.encrypted || keyInForce_;
    out_.segments.push_back(std::move(segment));
  }

  std::string_view ownAddress_;
  HlsPlaylist& out_;
  PendingSegment pending_;
  bool keyInForce_ = false;
  std::string streamInf_;
  bool awaitingVariant_ = false;
  StreamBudget budget_;
  SegmentAddressMaker addresses_;
  std::uint64_t foldersCounted_ = 0;
};

}  // namespace

std::optional<HlsPlaylist> HlsPlaylistParse(std::string_view text, std::string_view ownAddress,
                                            std::uint64_t budgetBytes) {
  if (text.size() > kHlsMaxTextBytes) return std::nullopt;
  PlaylistLines lines(text);
  std::string_view line;
  // The first line is the tag (after a byte order mark some servers add).
  while (lines.Next(line) && PlaylistTrimmed(line).empty()) {
  }
  if (!PlaylistTrimmed(line).starts_with("#EXTM3U")) return std::nullopt;
  HlsPlaylist playlist;
  HlsReader reader(ownAddress, playlist, budgetBytes);
  std::size_t count = 1;
  while (lines.Next(line)) {
    if (++count > kHlsMaxLines) {
      playlist.truncated = true;
      break;
    }
    reader.Line(PlaylistTrimmed(line));
  }
  if (playlist.variant) playlist.segments.clear();
  playlist.heldBytes = reader.Held(budgetBytes);
  return playlist;
}

SegmentedStream HlsMediaStream(const HlsPlaylist& playlist) {
  SegmentedStream stream;
  stream.protectedContent = playlist.encrypted;
  stream.truncated = playlist.truncated;
  if (playlist.segments.empty()) return stream;
  const int firstMap = playlist.segments.front().map;
  if (firstMap >= 0) stream.init = playlist.maps[static_cast<std::size_t>(firstMap)];
  double seconds = 0;
  bool timed = true;
  for (const HlsSegment& segment : playlist.segments) {
    if (segment.map != firstMap) break;
    stream.segments.push_back(segment.ref);
    timed = timed && segment.duration > 0;
    seconds += segment.duration;
  }
  // A cut list gives only the length of what it kept.
  if (timed && !playlist.truncated) stream.seconds = seconds;
  return stream;
}
