// Reading one track of a fragmented MP4 (an init segment followed by
// moof/mdat fragments, a whole file with sidx, or segments joined in order):
// the track's description from moov, then its samples fragment by fragment.
// Only the moov and one moof are held at a time, so any length reads in
// bounded memory.  The bytes are outside bytes: every box is checked
// against its parent and the file, and the boxes held are capped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/browser_caches/cache_files.h"
#include "app/browser_caches/iso_boxes.h"
#include "app/muxing/media_track.h"

constexpr std::size_t kMp4MaxMoovBytes = 8u << 20;
constexpr std::size_t kMp4MaxMoofBytes = 16u << 20;
constexpr std::uint32_t kMp4MaxFragmentSamples = 1u << 18;

struct Mp4Track {
  TrackFault fault = TrackFault::None;
  TrackKind kind = TrackKind::Unknown;
  std::uint32_t trackId = 0;
  std::uint32_t timescale = 0;
  std::uint64_t mediaDuration = 0;  // mdhd's, often 0 in fragmented files
  std::uint16_t language = 0x55c4;  // packed ISO 639-2 ("und")
  std::uint32_t width = 0;          // tkhd, 16.16 fixed point
  std::uint32_t height = 0;
  std::string codec;  // the first sample entry's type: avc1, hev1, av01, mp4a, Opus...
  std::vector<std::uint8_t> sampleDescriptions;  // the whole stsd box, copied to the output
  // The edit list: an empty edit first (in the movie timescale), then where
  // the presentation starts in the media.  Absent: presentation starts at 0.
  std::uint64_t movieTimescale = 1000;
  std::uint64_t emptyEdit = 0;
  std::optional<std::int64_t> editMediaTime;
  // trex defaults for samples whose fragments do not say.
  std::uint32_t defaultDescriptionIndex = 1;
  std::uint32_t defaultDuration = 0;
  std::uint32_t defaultSize = 0;
  std::uint32_t defaultFlags = 0;
  std::uint64_t fragmentsStart = 0;    // the first byte after moov
  std::uint32_t mediaTracks = 0;       // video and sound tracks in moov, this one included
  std::uint64_t fragmentDuration = 0;  // mehd's, in the movie timescale; 0 when absent
};

// The first video or sound track of the file's moov, with its fault when it
// cannot be muxed.
// The header of the top-level box at `at` of a file `fileSize` bytes long (a
// size of 0 runs to the file's end); none when no whole header is there.
// The box may claim more than the file holds.
std::optional<IsoBox> Mp4TopBoxAt(CacheFile& file, std::uint64_t at, std::uint64_t fileSize);
// A box's bytes, header included; none when it is larger than `cap` or not
// all in the file.
std::optional<std::vector<std::uint8_t>> Mp4BoxRead(CacheFile& file, const IsoBox& box, std::uint64_t cap);

Mp4Track Mp4TrackRead(CacheFile& file);

// The same from a moov box's bytes (header included); used by the reader
// and its fuzz target.
Mp4Track Mp4TrackFromMoov(std::span<const std::uint8_t> moov);

// The track's samples in decode order, read one fragment at a time.
class Mp4SampleCursor {
 public:
  // The file and the track must outlive the cursor.
  Mp4SampleCursor(CacheFile& file, const Mp4Track& track);
  // The next sample; false at the end or when the file turned out damaged
  // (then Failed()).
  bool Next(MediaSample& sample);
  bool Failed() const { return failed_; }

 private:
  bool LoadNextFragment();

  CacheFile& file_;
  const Mp4Track& track_;
  std::uint64_t size_ = 0;
  std::uint64_t next_ = 0;  // the next top-level box
  std::vector<MediaSample> fragment_;
  std::size_t index_ = 0;
  std::int64_t nextDecodeTime_ = 0;
  bool failed_ = false;
};

// The samples of one moof's trafs for a track (the moof's bytes, header
// included, and where it lies in the file).  False when the boxes do not
// add up.  Used by the cursor and its fuzz target.
bool Mp4FragmentSamples(std::span<const std::uint8_t> moof, std::uint64_t moofOffset, const Mp4Track& track,
                        std::int64_t& nextDecodeTime, std::vector<MediaSample>& samples);
