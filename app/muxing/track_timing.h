// A track's time span, gathered from its samples in a first pass before the
// muxer writes anything: the movie header, edit lists and fragment index
// need it, and a track whose times run backwards is refused up front.
#pragma once

#include <cstdint>
#include <limits>

#include "app/muxing/media_track.h"

struct TrackTiming {
  std::uint64_t samples = 0;
  std::int64_t firstDecode = 0;
  std::int64_t decodeEnd = 0;  // the last sample's decode time plus its duration
  std::int64_t presentStart = std::numeric_limits<std::int64_t>::max();  // earliest composition time
  std::int64_t presentEnd = std::numeric_limits<std::int64_t>::min();    // latest composition end
  bool backwards = false;  // a decode time before the previous sample's end

  void Add(const MediaSample& sample) {
    if (samples == 0)
      firstDecode = sample.decodeTime;
    else if (sample.decodeTime < decodeEnd)
      backwards = true;
    ++samples;
    decodeEnd = sample.decodeTime + sample.duration;
    const std::int64_t present = sample.decodeTime + sample.compositionOffset;
    if (present < presentStart) presentStart = present;
    if (present + static_cast<std::int64_t>(sample.duration) > presentEnd)
      presentEnd = present + sample.duration;
  }
  bool Usable() const { return samples > 0 && !backwards && presentEnd > presentStart; }
};
