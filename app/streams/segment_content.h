// What a stream segment's bytes are: MPEG-TS packets, the initialisation
// segment of a fragmented MP4 (and whether its tracks hold video or only
// sound), or an MP4 fragment.  Decides the container of a joined stream.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "app/streams/stream_types.h"

enum class SegmentContainer {
  Unknown,
  TransportStream,  // the sync byte at every 188 bytes
  Fmp4Init,         // ftyp/moov with mvex
  Fmp4Fragment,     // starts with styp, moof, sidx, emsg or prft
};

struct SegmentContent {
  SegmentContainer container = SegmentContainer::Unknown;
  // Fmp4Init: the handlers of its tracks.
  bool hasVideo = false;
  bool hasAudio = false;
};

// Judged on the bytes given (a whole init segment, or a segment's start).
SegmentContent SegmentContentOf(std::span<const std::uint8_t> bytes);

// The extension of the joined file, without the dot: "ts" for TS segments,
// "mp4" for fragmented MP4 with a video track, "m4a" when it holds only
// sound.  `content` describes the init segment (for TS the first segment);
// where the tracks are unknown the playlist's kind decides.  Empty when the
// content is no stream container.
std::string_view StreamJoinedExtension(const SegmentContent& content, StreamKind kind);
