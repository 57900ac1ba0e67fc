// What a mux came to, whichever container it wrote.
#pragma once

#include <cstdint>

#include "app/muxing/media_track.h"

enum class MuxOutcome {
  Done,
  TrackRefused,      // a track cannot be muxed: see fault and which
  NotAPair,          // not one video and one sound track
  ContainersDiffer,  // an MP4 track and a WebM track: no output carries both as they are
  ReadFailed,        // an input changed or was cut short while being copied
  WriteFailed,
};

struct MuxResult {
  MuxOutcome outcome = MuxOutcome::Done;
  TrackFault fault = TrackFault::None;
  int track = -1;           // 0 or 1: the input at fault
  std::uint64_t bytes = 0;  // written
};
