// Reading one HLS playlist (RFC 8216): either a variant (master) playlist
// that names the media playlists of its renditions, or a media playlist that
// lists the segments of one stream.  Addresses come out resolved against the
// playlist's own address.  The text is outside bytes: its size, its lines,
// each address, the segments kept and the bytes they hold are capped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/streams/stream_budget.h"
#include "app/streams/stream_types.h"

constexpr std::size_t kHlsMaxTextBytes = 16u << 20;
constexpr std::size_t kHlsMaxLines = 1'000'000;
constexpr std::size_t kHlsMaxSegments = 100'000;
constexpr std::size_t kHlsMaxVariants = 1'000;  // variant streams and renditions each

// EXT-X-KEY METHOD.
enum class HlsKeyMethod { None, Aes128, SampleAes, Other };

struct HlsSegment {
  SegmentRef ref;
  std::uint64_t sequence = 0;  // media sequence number
  double duration = 0;         // from EXTINF, seconds
  bool discontinuity = false;  // EXT-X-DISCONTINUITY before it
  bool encrypted = false;      // under a key whose method is not NONE
  // Index into HlsPlaylist::maps of the EXT-X-MAP in force; none: -1.
  int map = -1;
};

struct HlsVariant {
  std::string address;
  std::uint64_t bandwidth = 0;
  std::string codecs;      // as written ("avc1.4d401f,mp4a.40.2")
  std::string resolution;  // "1280x720"
  std::string audioGroup;  // AUDIO attribute: the GROUP-ID of its audio renditions
};

// An EXT-X-MEDIA of TYPE AUDIO or VIDEO that has its own media playlist.
struct HlsRendition {
  StreamKind kind = StreamKind::Audio;
  std::string address;
  std::string groupId;
  std::string name;
  std::string language;
};

struct HlsPlaylist {
  bool variant = false;  // a variant playlist: variants and renditions, no segments
  std::vector<HlsVariant> variants;
  std::vector<HlsRendition> renditions;

  std::vector<HlsSegment> segments;
  std::vector<SegmentRef> maps;  // EXT-X-MAP initialisation sections in order
  std::uint64_t mediaSequence = 0;
  HlsKeyMethod keyMethod = HlsKeyMethod::None;  // the first method other than NONE
  bool encrypted = false;                       // some segment is encrypted
  bool endList = false;                         // EXT-X-ENDLIST: the list is final
  bool truncated = false;                       // segments or lines beyond the caps were dropped
  std::uint64_t heldBytes = 0;                  // what its segments, variants and renditions hold
};

// Nothing when the text is no playlist (no #EXTM3U first) or is too large.
// What it keeps stops at `budgetBytes` (then it is truncated); addresses
// longer than kStreamMaxAddressBytes are left out (truncated too).
std::optional<HlsPlaylist> HlsPlaylistParse(std::string_view text, std::string_view ownAddress,
                                            std::uint64_t budgetBytes = kStreamPlaylistBudgetBytes);

// The stream of a media playlist: its segments under the first
// initialisation section.  A later, different EXT-X-MAP starts content that
// cannot follow in the same file, so the stream ends before it.
SegmentedStream HlsMediaStream(const HlsPlaylist& playlist);
