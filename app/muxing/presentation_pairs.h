// Which tracks a cached manifest says belong together: a DASH manifest's
// video and sound Representations, an HLS variant and the audio group it
// names.  The streams of a cache folder come one per Representation or media
// playlist; these say which two to mux.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "app/streams/cache_streams.h"
#include "app/streams/hls_playlist.h"

struct StreamPair {
  std::size_t video = 0;  // indexes into the streams
  std::size_t audio = 0;
};

// Per DASH manifest with a video and a sound stream among `streams`: the
// video and the sound stream with the most segments present (the first on a
// tie: a player that switched quality left several).  Protected streams
// never pair.
std::vector<StreamPair> DashStreamPairs(std::span<const CacheStream> streams);

struct HlsPresentation {
  std::string video;  // the variant's media playlist
  std::string audio;  // the media playlist of the first rendition of its audio group
};

// Per variant of a variant (master) playlist that names an audio group with
// a rendition of its own playlist.
std::vector<HlsPresentation> HlsPresentations(const HlsPlaylist& variantPlaylist);
