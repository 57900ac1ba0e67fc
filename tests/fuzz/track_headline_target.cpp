// The pairing's duration readers: a duration, when one is read, is a length
// of time, and only a track of one known kind has one to pair with.
#include <cmath>

#include "app/browser_caches/cache_folder_memory.h"
#include "app/muxing/track_headline.h"
#include "tests/fuzz/fuzz_targets.h"

void FuzzTrackHeadline(const std::uint8_t* data, std::size_t size) {
  MemoryCacheFolder folder;
  folder.Put("track", {data, data + size});
  auto file = folder.Open("track");
  const TrackHeadline headline = TrackHeadlineRead(*file);
  if (headline.seconds) FUZZ_CHECK(!std::isnan(*headline.seconds) && *headline.seconds >= 0);
  if (headline.container == TrackContainer::None) FUZZ_CHECK(headline.kind == TrackKind::Unknown);
}
