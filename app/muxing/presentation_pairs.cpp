#include "app/muxing/presentation_pairs.h"

#include <map>
#include <optional>

std::vector<StreamPair> DashStreamPairs(std::span<const CacheStream> streams) {
  struct Best {
    std::optional<std::size_t> video, audio;
  };
  std::map<std::string, Best> manifests;
  std::vector<std::string> order;  // manifests in the order of their first stream
  auto better = [&](const std::optional<std::size_t>& held, std::size_t candidate) {
    return !held || streams[candidate].plan.present > streams[*held].plan.present;
  };
  for (std::size_t i = 0; i < streams.size(); ++i) {
    const CacheStream& stream = streams[i];
    if (stream.origin != CacheStreamOrigin::Dash || stream.protectedContent) continue;
    auto [found, added] = manifests.try_emplace(stream.address);
    if (added) order.push_back(stream.address);
    std::optional<std::size_t>& held =
        stream.kind == StreamKind::Video ? found->second.video : found->second.audio;
    if (stream.kind != StreamKind::Video && stream.kind != StreamKind::Audio) continue;
    if (better(held, i)) held = i;
  }
  std::vector<StreamPair> pairs;
  for (const std::string& address : order) {
    const Best& best = manifests[address];
    if (best.video && best.audio) pairs.push_back({*best.video, *best.audio});
  }
  return pairs;
}

std::vector<HlsPresentation> HlsPresentations(const HlsPlaylist& playlist) {
  std::vector<HlsPresentation> presentations;
  for (const HlsVariant& variant : playlist.variants) {
    if (variant.audioGroup.empty()) continue;
    for (const HlsRendition& rendition : playlist.renditions) {
      if (rendition.kind != StreamKind::Audio || rendition.groupId != variant.audioGroup ||
          rendition.address.empty())
        continue;
      presentations.push_back({variant.address, rendition.address});
      break;
    }
  }
  return presentations;
}
