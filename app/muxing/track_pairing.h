// Which cached elements are one presentation's picture and sound when no
// manifest says so.  Two complete elements pair when one holds only video
// and the other only sound, in the same container, from the same top-frame
// site (the cache key's partition), cached within a minute of each other,
// and their durations agree within 1 %.  Only a pair where each is the
// other's one fitting partner is offered: two candidates for one track
// would be a guess.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/muxing/track_headline.h"

struct PairCandidate {
  TrackHeadline headline;
  std::string topFrameSite;    // empty: unknown, never pairs
  std::uint64_t cachedAt = 0;  // 100 ns units since 1601 (UTC)
  bool complete = false;
};

struct TrackPair {
  std::size_t video = 0;  // indexes into the candidates
  std::size_t audio = 0;
};

constexpr std::uint64_t kPairWindow = 60ull * 10'000'000;  // a minute in 100 ns units
constexpr double kPairDurationTolerance = 0.01;

bool TracksFit(const PairCandidate& video, const PairCandidate& audio);

// Pairs in the order of their video candidates.
std::vector<TrackPair> TrackPairsFind(std::span<const PairCandidate> candidates);
