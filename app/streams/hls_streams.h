// Following an HLS playlist to the streams it stands for: a media playlist
// is one stream; a variant playlist names media playlists (its variant
// streams and its audio and video renditions), looked up in turn.  Playlists
// that name each other in a loop, deep chains of variant playlists and
// playlists naming thousands of others are cut short by the caps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/streams/stream_budget.h"
#include "app/streams/stream_types.h"

constexpr std::size_t kHlsMaxNesting = 4;     // variant playlists above a media playlist
constexpr std::size_t kHlsMaxPlaylists = 64;  // playlists read for one address

// The text of the playlist at that address, where the caller holds it (not
// copied: a playlist may be 16 MiB); null where it does not.
using PlaylistTextLookup = std::function<const std::string*(const std::string& address)>;

struct HlsFoundStream {
  std::string playlistAddress;  // its media playlist
  SegmentedStream stream;       // kind from the variant's CODECS or the rendition's TYPE
  std::uint64_t bandwidth = 0;  // of the variant that named it; 0 for renditions
  std::string resolution;
  bool endList = false;  // the media playlist is final (not a live window)
};

struct HlsStreams {
  std::vector<HlsFoundStream> streams;  // in the order the playlists name them
  std::vector<std::string> missing;     // playlists named but not held, or not playlists
  bool protectedContent = false;        // some stream, or a variant's session key, is encrypted
  bool cut = false;                     // a cap or the budget was reached
  std::uint64_t heldBytes = 0;          // what the streams' segments hold
};

// The playlists read share `budgetBytes`: what one holds is gone for the next.
HlsStreams HlsStreamsFollow(const std::string& address, const PlaylistTextLookup& lookup,
                            std::uint64_t budgetBytes = kStreamPlaylistBudgetBytes);
