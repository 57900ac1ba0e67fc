// The boxes that open and close the muxed MP4: ftyp and moov (one trak per
// input track, with its edit list and its copied sample entries, and mvex),
// and the fragment index (mfra) at the end.
#pragma once

#include <cstdint>
#include <vector>

#include "app/muxing/mp4_track_reader.h"
#include "app/muxing/track_timing.h"

constexpr std::uint32_t kMuxMovieTimescale = 1000;

// One output track: its source's description and what its edit list says.
struct MuxTrackPlan {
  const Mp4Track* source = nullptr;
  TrackTiming timing;
  std::uint64_t emptyEdit = 0;        // movie timescale: the wait before the track starts
  std::int64_t mediaStart = 0;        // the first presented media time
  std::uint64_t presentedLength = 0;  // movie timescale, from mediaStart to the end
};

struct FragmentIndexEntry {
  std::int64_t decodeTime = 0;
  std::uint64_t moofOffset = 0;
  std::uint8_t trafNumber = 1;  // the track's traf within that moof, from 1
};

std::vector<std::uint8_t> Mp4FileTypeBox();
std::vector<std::uint8_t> Mp4MovieBox(const std::vector<MuxTrackPlan>& tracks);
// tfra per track (entries: fragments whose first sample of the track is a
// random access point), then mfro.
std::vector<std::uint8_t> Mp4FragmentIndexBox(const std::vector<std::vector<FragmentIndexEntry>>& entries);
