// Reading a DASH manifest (MPD): one stream per Representation of each
// Period, with its initialisation segment and its media segments in order,
// addresses resolved through the BaseURL elements against the manifest's own
// address.  Segments come from SegmentTemplate ($Number$ or $Time$ with a
// SegmentTimeline), SegmentList or SegmentBase, inherited from the
// AdaptationSet and Period where the Representation has none.  The text is
// outside bytes: its size, its elements and the segments generated are capped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/streams/stream_budget.h"
#include "app/streams/stream_types.h"

constexpr std::size_t kDashMaxTextBytes = 16u << 20;
constexpr std::size_t kDashMaxSegmentsPerStream = 100'000;
constexpr std::size_t kDashMaxSegmentsTotal = 400'000;
constexpr std::size_t kDashMaxStreams = 1'000;

struct DashStream {
  SegmentedStream stream;
  std::size_t period = 0;  // index of its Period
  std::string representationId;
  std::string mimeType;  // the Representation's, else its AdaptationSet's
  std::string codecs;
  std::uint64_t bandwidth = 0;
  std::uint64_t width = 0;
  std::uint64_t height = 0;
  // SegmentBase: where the segment index (sidx) lies in the one resource.
  std::optional<ByteRange> indexRange;
  // A template by duration whose period has no known length (a live
  // stream): the manifest does not bound the segments, none are listed.
  bool segmentsOpen = false;
};

struct DashManifest {
  bool dynamic = false;  // type="dynamic": a live manifest, rewritten as it goes
  std::vector<DashStream> streams;
  bool protectedContent = false;  // some stream is DRM-protected
  bool truncated = false;         // elements, streams or segments beyond the caps were left out
  std::uint64_t heldBytes = 0;    // what its segments hold
};

// Nothing when the text is not an MPD (malformed XML, another root) or too large.
// Segments stop at `budgetBytes` held (their streams truncated); base URLs,
// templates and addresses longer than kStreamMaxAddressBytes are left out.
std::optional<DashManifest> DashManifestParse(std::string_view text, std::string_view ownAddress,
                                              std::uint64_t budgetBytes = kStreamPlaylistBudgetBytes);
