// What a cache's playlists may make the readers hold.  The caches are
// written from bytes any server chose: a 2 KB manifest can name 100,000
// segments under a long base, so besides counting items the readers count
// the bytes they keep, and stop (marking the stream cut short) when the
// bytes run out instead of growing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/streams/stream_types.h"

// One address, base URL or template, in bytes; longer ones are left out.
constexpr std::size_t kStreamMaxAddressBytes = 8 * 1024;
// What the segments of one playlist or manifest may hold.
constexpr std::uint64_t kStreamPlaylistBudgetBytes = 16u << 20;
// What one find over a cache folder (a scan's folder, a watched folder's
// parts) may hold: playlist texts read and segments kept, all streams together.
constexpr std::uint64_t kStreamFolderBudgetBytes = 64u << 20;

class StreamBudget {
 public:
  explicit StreamBudget(std::uint64_t bytes) : left_(bytes) {}

  // Takes `bytes` when that many are left; otherwise takes nothing, marks
  // the budget reached and says false.
  bool Spend(std::uint64_t bytes);
  void GiveBack(std::uint64_t bytes) { left_ += bytes; }
  std::uint64_t Left() const { return left_; }
  bool Reached() const { return reached_; }

 private:
  std::uint64_t left_;
  bool reached_ = false;
};

// What keeping the segment reference costs, its shared folder aside.
std::uint64_t SegmentRefCost(const SegmentRef& segment);
