#include "app/muxing/track_pairing.h"

#include <algorithm>
#include <cmath>

bool TracksFit(const PairCandidate& video, const PairCandidate& audio) {
  if (!video.complete || !audio.complete) return false;
  if (video.headline.kind != TrackKind::Video || audio.headline.kind != TrackKind::Audio) return false;
  if (video.headline.container != audio.headline.container) return false;
  if (video.topFrameSite.empty() || video.topFrameSite != audio.topFrameSite) return false;
  const std::uint64_t apart =
      video.cachedAt > audio.cachedAt ? video.cachedAt - audio.cachedAt : audio.cachedAt - video.cachedAt;
  if (apart > kPairWindow) return false;
  if (!video.headline.seconds || !audio.headline.seconds) return false;
  const double a = *video.headline.seconds;
  const double b = *audio.headline.seconds;
  if (!(a > 0) || !(b > 0)) return false;
  return std::fabs(a - b) <= kPairDurationTolerance * std::max(a, b);
}

std::vector<TrackPair> TrackPairsFind(std::span<const PairCandidate> candidates) {
  // Each candidate's partners, counted both ways.
  std::vector<std::size_t> partners(candidates.size(), 0);
  std::vector<std::size_t> partner(candidates.size(), 0);
  for (std::size_t v = 0; v < candidates.size(); ++v) {
    for (std::size_t a = 0; a < candidates.size(); ++a) {
      if (v == a || !TracksFit(candidates[v], candidates[a])) continue;
      ++partners[v];
      ++partners[a];
      partner[v] = a;
      partner[a] = v;
    }
  }
  std::vector<TrackPair> pairs;
  for (std::size_t v = 0; v < candidates.size(); ++v) {
    if (candidates[v].headline.kind != TrackKind::Video || partners[v] != 1) continue;
    const std::size_t a = partner[v];
    if (partners[a] == 1) pairs.push_back({v, a});
  }
  return pairs;
}
