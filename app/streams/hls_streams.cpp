#include "app/streams/hls_streams.h"

#include <algorithm>

#include "app/streams/hls_playlist.h"
#include "app/streams/stream_kind.h"

namespace {

// What the variant playlist said about a playlist it names.
struct Naming {
  StreamKind kind = StreamKind::Unknown;
  std::uint64_t bandwidth = 0;
  std::string resolution;
};

class Follower {
 public:
  Follower(const PlaylistTextLookup& lookup, HlsStreams& out, std::uint64_t budgetBytes)
      : lookup_(lookup), out_(out), budget_(budgetBytes) {}

  void Follow(const std::string& address, const Naming& naming, std::size_t nesting) {
    if (std::find(visited_.begin(), visited_.end(), address) != visited_.end()) return;  // a loop or a repeat
    if (visited_.size() >= kHlsMaxPlaylists || nesting > kHlsMaxNesting) {
      out_.cut = true;
      return;
    }
    visited_.push_back(address);
    const std::string* text = lookup_(address);
    std::optional<HlsPlaylist> playlist =
        text ? HlsPlaylistParse(*text, address, std::min(budget_.Left(), kStreamPlaylistBudgetBytes)) : std::optional<HlsPlaylist>();
    if (!playlist) {
      out_.missing.push_back(address);
      return;
    }
    budget_.Spend(playlist->heldBytes);  // never more than was left
    out_.heldBytes += playlist->heldBytes;
    out_.cut = out_.cut || playlist->truncated;
    if (!playlist->variant) {
      HlsFoundStream found{address, HlsMediaStream(*playlist), naming.bandwidth, naming.resolution,
                           playlist->endList};
      found.stream.kind = naming.kind;
      out_.protectedContent = out_.protectedContent || found.stream.protectedContent;
      out_.streams.push_back(std::move(found));
      return;
    }
    out_.protectedContent = out_.protectedContent || playlist->encrypted;
    for (const HlsVariant& variant : playlist->variants)
      Follow(variant.address, {StreamKindOfCodecs(variant.codecs), variant.bandwidth, variant.resolution},
             nesting + 1);
    for (const HlsRendition& rendition : playlist->renditions)
      Follow(rendition.address, {rendition.kind, 0, {}}, nesting + 1);
  }

 private:
  const PlaylistTextLookup& lookup_;
  HlsStreams& out_;
  StreamBudget budget_;
  std::vector<std::string> visited_;  // at most kHlsMaxPlaylists
};

}  // namespace

HlsStreams HlsStreamsFollow(const std::string& address, const PlaylistTextLookup& lookup,
                            std::uint64_t budgetBytes) {
  HlsStreams streams;
  Follower(lookup, streams, budgetBytes).Follow(address, Naming{}, 0);
  return streams;
}
