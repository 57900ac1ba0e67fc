// The value types shared by the playlist readers and the join: a segment's
// address with its optional byte range, and one stream as an optional
// initialisation segment followed by its media segments in play order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/streams/segment_address.h"

// Bytes [offset, offset + length) of a resource; no length: to its end
// (a DASH SegmentBase resource after its initialisation bytes).
struct ByteRange {
  std::uint64_t offset = 0;
  std::optional<std::uint64_t> length;
  friend bool operator==(const ByteRange&, const ByteRange&) = default;
};

struct SegmentRef {
  SegmentAddress address;          // absolute, resolved against the playlist's address
  std::optional<ByteRange> range;  // absent: the whole resource
  friend bool operator==(const SegmentRef&, const SegmentRef&) = default;
};

enum class StreamKind {
  Unknown,  // the playlist does not say
  Video,    // video, perhaps with audio muxed in
  Audio,    // audio only
  Other,    // subtitles, images
};

struct SegmentedStream {
  StreamKind kind = StreamKind::Unknown;
  std::optional<SegmentRef> init;
  std::vector<SegmentRef> segments;
  // Encrypted (HLS EXT-X-KEY other than NONE) or DRM-protected (DASH
  // ContentProtection): the joined bytes would not play, so not saveable.
  bool protectedContent = false;
  // The playlist held more segments than the readers keep, or their bytes
  // ran past a budget (app/streams/stream_budget.h): the stream is cut short.
  bool truncated = false;
  // Its length as the playlist gives it (the segments' EXTINF durations,
  // the DASH period's); none when the playlist does not say.
  std::optional<double> seconds;
};
