// What the pairing needs of a cached media element, from the track's own
// headers: whether it is an MP4 or a WebM holding only video or only sound,
// and how long it lasts.
#pragma once

#include <optional>

#include "app/browser_caches/cache_files.h"
#include "app/muxing/media_track.h"

enum class TrackContainer { None, Mp4, Webm };

struct TrackHeadline {
  TrackContainer container = TrackContainer::None;
  TrackKind kind = TrackKind::Unknown;  // Unknown: both kinds, neither, or not muxable
  std::optional<double> seconds;
};

// The duration comes from mehd or the sidx (MP4) or Info (WebM), else from
// the samples' times (reading only the fragments' headers).
TrackHeadline TrackHeadlineRead(CacheFile& file);
