// The streams of one cache folder: the playlists among its elements (HLS
// media and variant playlists, DASH manifests) read with the stream readers,
// each stream's segments looked up among the elements by address and byte
// range, and the segments no playlist names grouped by their addresses.  The
// scan and the watch both use it; it reads the cache only through the
// elements' body readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/browser_caches/cache_element.h"
#include "app/browser_caches/cache_files.h"
#include "app/browser_caches/media_signature.h"
#include "app/streams/stream_budget.h"
#include "app/streams/stream_join.h"
#include "app/streams/stream_types.h"

// Largest init segment read to tell its tracks (large pssh boxes come first).
constexpr std::uint64_t kCacheStreamInitReadMax = 4u << 20;

enum class CacheStreamOrigin {
  Hls,           // a media playlist (perhaps named by a variant playlist)
  Dash,          // a Representation of a manifest
  SegmentGroup,  // segments no playlist in the folder names, grouped by address
};

// `length` bytes at `offset` of a source element's body.
struct CacheStreamPiece {
  std::size_t source = 0;  // index into CacheStream::sources
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  bool init = false;
};

struct CacheStream {
  CacheStreamOrigin origin = CacheStreamOrigin::Hls;
  // The media playlist (HLS), the manifest (DASH) or the group's first segment.
  std::string address;
  std::string representation;           // DASH: the Representation's id
  StreamKind kind = StreamKind::Video;  // Video or Audio: by the segments' content
  std::string extension;                // of the joined file: "mp4", "m4a" or "ts"
  std::string mediaType;                // of the joined file: "video/mp4", "audio/mp4", "video/mp2t"
  bool protectedContent = false;        // encrypted or DRM: reported, never written
  // Its playlist named more than the readers keep (a cap or a byte budget
  // was reached), or named cached bytes twice (the plan stops there): what
  // is listed and written is its beginning.
  bool cutShort = false;
  JoinPlan plan;                        // segments present of total, complete, the pieces
  std::uint64_t presentBytes = 0;       // the init and every media segment present, each span once
  std::uint64_t lastWritten = 0;        // newest of its playlist and segments
  std::optional<double> playlistSeconds;  // the whole stream's length as its playlist gives it
  // The elements the pieces are read from, and the plan's pieces as their bytes.
  std::vector<CacheElement> sources;
  std::vector<CacheStreamPiece> pieces;
};

struct CacheStreams {
  // In the order of their playlists among the elements, then the groups.
  std::vector<CacheStream> streams;
  // Per element given: a playlist that was read, or an init or media segment
  // of a stream above.  Such elements are not media of their own.
  std::vector<bool> partOfStream;
  // The folder's budget ran out: playlists were left unread or streams cut.
  bool budgetReached = false;
};

// `signatures` holds what the caller's sniffing said of each element (its
// MediaSignature, Unknown where it did not look).  Playlists are found by
// their stored type, their address's extension or their first bytes; a
// stream is listed when at least one of its media segments is in the folder.
// Playlist texts read and segments kept share `budgetBytes`; past it,
// playlists stay unread and streams are cut short.
CacheStreams CacheStreamsFind(CacheFolder& folder, std::span<const CacheElement> elements,
                              std::span<const MediaSignature> signatures,
                              std::uint64_t budgetBytes = kStreamFolderBudgetBytes);

// Receives the joined bytes in order; false stops the writing.
using StreamByteSink = std::function<bool(std::span<const std::uint8_t>)>;

// Writes the stream's pieces (the init, then the segments of the plan) from
// the cache through `sink`.  False when a protected stream is asked for, the
// cache gave fewer bytes than the plan says (the browser changed the entry
// meanwhile) or the sink refused.
bool CacheStreamWrite(CacheFolder& folder, const CacheStream& stream, const StreamByteSink& sink);
