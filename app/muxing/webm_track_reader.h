// Reading one track of a WebM or Matroska file: the Info and Tracks of its
// Segment, then its frames (SimpleBlock or BlockGroup) cluster by cluster.
// Only element headers and the small masters (EBML header, Info, Tracks)
// are held, so any length reads in bounded memory.  Clusters of unknown size
// (as a live recorder writes them) end at the next cluster or top-level
// element.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/browser_caches/cache_files.h"
#include "app/muxing/media_track.h"

constexpr std::size_t kWebmMaxHeadBytes = 1u << 20;  // EBML header, Info, Tracks each

struct WebmTrack {
  TrackFault fault = TrackFault::None;
  TrackKind kind = TrackKind::Unknown;
  bool webmCodec = false;  // a codec WebM allows (else only Matroska carries it)
  std::uint64_t trackNumber = 0;
  std::string codecId;  // V_VP9, A_OPUS...
  // The TrackEntry's children but its number and UID, copied to the output.
  std::vector<std::uint8_t> entryChildren;
  std::uint64_t defaultDuration = 0;       // ns per frame, 0 when not given
  std::uint64_t timestampScale = 1000000;  // ns per tick
  double duration = 0;                     // Info's, in ticks; 0 when absent
  std::uint64_t segmentEnd = 0;
  std::uint64_t clustersStart = 0;  // the first Cluster
  std::uint32_t mediaTracks = 0;    // video and sound tracks, this one included
};

struct WebmFrame {
  std::int64_t timestamp = 0;    // ticks of the track's scale
  std::uint64_t dataOffset = 0;  // the block's flags byte, then the frame data (laced as stored)
  std::uint64_t dataSize = 0;
  bool keyframe = false;
  // A BlockGroup: its children before and after the Block, copied as they are.
  bool group = false;
  std::uint64_t beforeOffset = 0, beforeSize = 0;
  std::uint64_t afterOffset = 0, afterSize = 0;
  std::optional<std::uint64_t> blockDuration;
};

WebmTrack WebmTrackRead(CacheFile& file);
// The same from the headers alone (EBML header, Info, Tracks): a file whose
// first Cluster has not arrived yet is readable, with no frames to read
// (`clustersStart` 0).  For what the headers tell: kind and duration.
WebmTrack WebmTrackHeadersRead(CacheFile& file);

// The TrackEntry's track from the Tracks master's data (its children), with
// the timestamp scale set by the caller; used by the reader and its fuzz target.
void WebmTrackFromTracks(std::span<const std::uint8_t> tracksData, WebmTrack& track);

class WebmFrameCursor {
 public:
  // The file and the track must outlive the cursor.
  WebmFrameCursor(CacheFile& file, const WebmTrack& track);
  bool Next(WebmFrame& frame);
  bool Failed() const { return failed_; }

 private:
  bool ReadBlock(std::uint64_t at, std::uint64_t end, WebmFrame& frame, bool& ours);
  bool ReadGroup(std::uint64_t at, std::uint64_t end, WebmFrame& frame, bool& ours);

  CacheFile& file_;
  const WebmTrack& track_;
  std::uint64_t at_ = 0;
  bool inCluster_ = false;
  std::uint64_t clusterEnd_ = 0;
  std::int64_t clusterTimestamp_ = 0;
  bool failed_ = false;
};
