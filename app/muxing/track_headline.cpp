#include "app/muxing/track_headline.h"

#include <array>
#include <vector>

#include "app/muxing/box_bytes.h"
#include "app/muxing/mp4_track_reader.h"
#include "app/muxing/track_timing.h"
#include "app/muxing/webm_track_reader.h"

namespace {

constexpr std::uint64_t kMaxSidxBytes = 1u << 20;

// The sum of a sidx's subsegment durations, in seconds, when one lies at `at`.
std::optional<double> SidxSeconds(CacheFile& file, std::uint64_t at) {
  std::array<std::uint8_t, 8> header{};
  if (file.ReadAt(at, header.data(), header.size()) != header.size()) return std::nullopt;
  const std::uint64_t size = BigEndianAt(header, 0, 4);
  if (header[4] != 's' || header[5] != 'i' || header[6] != 'd' || header[7] != 'x') return std::nullopt;
  if (size < 32 || size > kMaxSidxBytes) return std::nullopt;
  std::vector<std::uint8_t> box(static_cast<std::size_t>(size));
  if (file.ReadAt(at, box.data(), box.size()) != box.size()) return std::nullopt;
  const bool wide = box[8] == 1;
  const std::size_t timescaleAt = 16;
  const std::uint64_t timescale = BigEndianAt(box, timescaleAt, 4);
  const std::size_t countAt = timescaleAt + 4 + (wide ? 16 : 8) + 2;
  if (timescale == 0 || countAt + 2 > box.size()) return std::nullopt;
  const std::uint64_t count = BigEndianAt(box, countAt, 2);
  if (countAt + 2 + count * 12 > box.size()) return std::nullopt;
  std::uint64_t total = 0;
  for (std::uint64_t i = 0; i < count; ++i) total += BigEndianAt(box, countAt + 2 + i * 12 + 4, 4);
  return static_cast<double>(total) / static_cast<double>(timescale);
}

TrackHeadline Mp4Headline(CacheFile& file, const Mp4Track& track) {
  TrackHeadline headline;
  headline.container = TrackContainer::Mp4;
  if (track.mediaTracks != 1) return headline;
  headline.kind = track.kind;
  if (track.fragmentDuration > 0) {
    headline.seconds =
        static_cast<double>(track.fragmentDuration) / static_cast<double>(track.movieTimescale);
  } else if (const auto sidx = SidxSeconds(file, track.fragmentsStart)) {
    headline.seconds = sidx;
  } else {
    TrackTiming timing;
    Mp4SampleCursor cursor(file, track);
    MediaSample sample;
    while (cursor.Next(sample)) timing.Add(sample);
    if (!cursor.Failed() && timing.Usable())
      headline.seconds = static_cast<double>(timing.decodeEnd - timing.firstDecode) / track.timescale;
  }
  return headline;
}

TrackHeadline WebmHeadline(CacheFile& file, const WebmTrack& track) {
  TrackHeadline headline;
  headline.container = TrackContainer::Webm;
  if (track.mediaTracks != 1) return headline;
  headline.kind = track.kind;
  if (track.duration > 0) {
    headline.seconds = track.duration * static_cast<double>(track.timestampScale) / 1e9;
    return headline;
  }
  WebmFrameCursor cursor(file, track);
  WebmFrame frame;
  std::optional<std::int64_t> first, last;
  while (cursor.Next(frame)) {
    if (!first) first = frame.timestamp;
    last = frame.timestamp;
  }
  if (!cursor.Failed() && first && *last > *first)
    headline.seconds = static_cast<double>(*last - *first) * static_cast<double>(track.timestampScale) / 1e9;
  return headline;
}

}  // namespace

TrackHeadline TrackHeadlineRead(CacheFile& file) {
  const Mp4Track mp4 = Mp4TrackRead(file);
  if (mp4.fault == TrackFault::None) return Mp4Headline(file, mp4);
  const WebmTrack webm = WebmTrackRead(file);
  if (webm.fault == TrackFault::None) return WebmHeadline(file, webm);
  // A track whose frames have not all arrived (the live watch asks while the
  // player fetches) still tells its kind and its duration in its headers.
  const WebmTrack headers = WebmTrackHeadersRead(file);
  if (headers.fault == TrackFault::None && headers.duration > 0) return WebmHeadline(file, headers);
  TrackHeadline none;
  if (mp4.fault != TrackFault::NotReadable) none.container = TrackContainer::Mp4;  // readable, not muxable
  return none;
}
