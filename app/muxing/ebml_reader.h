// EBML, the element syntax of Matroska and WebM: variable-length IDs and
// sizes, and the values of the few element types the track reader needs.
// Headers are read from the file one at a time; small masters (Info,
// Tracks) are read whole into memory, capped.  Outside bytes: every size is
// checked against the parent and the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "app/browser_caches/cache_files.h"

namespace ebml {

constexpr std::uint32_t kHeader = 0x1A45DFA3;
constexpr std::uint32_t kDocType = 0x4282;
constexpr std::uint32_t kSegment = 0x18538067;
constexpr std::uint32_t kSeekHead = 0x114D9B74;
constexpr std::uint32_t kInfo = 0x1549A966;
constexpr std::uint32_t kTimestampScale = 0x2AD7B1;
constexpr std::uint32_t kDuration = 0x4489;
constexpr std::uint32_t kTracks = 0x1654AE6B;
constexpr std::uint32_t kTrackEntry = 0xAE;
constexpr std::uint32_t kTrackNumber = 0xD7;
constexpr std::uint32_t kTrackUid = 0x73C5;
constexpr std::uint32_t kTrackType = 0x83;
constexpr std::uint32_t kCodecId = 0x86;
constexpr std::uint32_t kContentEncodings = 0x6D80;
constexpr std::uint32_t kCluster = 0x1F43B675;
constexpr std::uint32_t kClusterTimestamp = 0xE7;
constexpr std::uint32_t kSimpleBlock = 0xA3;
constexpr std::uint32_t kBlockGroup = 0xA0;
constexpr std::uint32_t kBlock = 0xA1;
constexpr std::uint32_t kBlockDuration = 0x9B;
constexpr std::uint32_t kReferenceBlock = 0xFB;
constexpr std::uint32_t kCues = 0x1C53BB6B;
constexpr std::uint32_t kCuePoint = 0xBB;
constexpr std::uint32_t kCueTime = 0xB3;
constexpr std::uint32_t kCueTrackPositions = 0xB7;
constexpr std::uint32_t kCueTrack = 0xF7;
constexpr std::uint32_t kCueClusterPosition = 0xF1;
constexpr std::uint32_t kSeek = 0x4DBB;
constexpr std::uint32_t kSeekId = 0x53AB;
constexpr std::uint32_t kSeekPosition = 0x53AC;
constexpr std::uint32_t kVoid = 0xEC;

}  // namespace ebml

struct EbmlElement {
  std::uint32_t id = 0;
  std::uint64_t offset = 0;           // of its header
  std::uint64_t dataOffset = 0;       // of its data
  std::optional<std::uint64_t> size;  // none: unknown (to the end of its parent)
  std::uint64_t DataEnd(std::uint64_t parentEnd) const { return size ? dataOffset + *size : parentEnd; }
};

// The element whose header starts at `at` in the bytes; nothing when the
// header is malformed or runs past `end` (or the bytes).
std::optional<EbmlElement> EbmlElementIn(std::span<const std::uint8_t> bytes, std::uint64_t at,
                                         std::uint64_t end);
// The same, reading the header from the file.
std::optional<EbmlElement> EbmlElementAt(CacheFile& file, std::uint64_t at, std::uint64_t end);

// Values of an element whose data lies in the bytes (checked by the caller).
std::optional<std::uint64_t> EbmlUint(std::span<const std::uint8_t> data);
std::optional<double> EbmlFloat(std::span<const std::uint8_t> data);
std::string EbmlString(std::span<const std::uint8_t> data);

// A block's track number (a size-style vint) at the start of the block's data.
std::optional<std::uint64_t> EbmlVint(std::span<const std::uint8_t> bytes, std::size_t& length);
