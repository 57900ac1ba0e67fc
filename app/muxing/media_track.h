// What the muxer knows of one input track, whatever its container: its kind,
// codec and clock, and its samples (MP4) or frames (Matroska) in decode order.
#pragma once

#include <cstdint>
#include <string>

enum class TrackKind { Unknown, Video, Audio };

struct MediaSample {
  std::int64_t decodeTime = 0;         // in the track's timescale
  std::uint32_t duration = 0;          // in the track's timescale
  std::int64_t compositionOffset = 0;  // presentation time minus decode time
  std::uint64_t offset = 0;            // where its bytes start in the input
  std::uint32_t size = 0;
  std::uint32_t flags = 0;  // MP4 sample flags as stored (sync, dependencies)
  std::uint32_t descriptionIndex = 1;
  bool sync = false;  // a random access point
};

// Why a track cannot be muxed; the messages say it to the user.
enum class TrackFault {
  None,
  NotReadable,    // the container is damaged or is not the kind expected
  NotFragmented,  // an MP4 whose samples are not in fragments
  Encrypted,      // protected sample entries (encv/enca) or content encoding
  UnknownCodec,   // a codec the output containers do not carry
  BadTiming,      // no samples, a zero timescale, or times that run backwards
};
