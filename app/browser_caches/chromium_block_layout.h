// The block-file store's layout on disk (net/disk_cache/blockfile/
// disk_format.h, addr.h), little-endian, for the two readers of it: the
// elements by key (chromium_block_files.cpp) and the owner of a new file
// (chromium_block_owner.cpp).
//   index:  368-byte header (magic, version, entries, ..., table length at
//           28), then the table of 32-bit cache addresses, one per bucket
//           (key hash & (length - 1)); entries of a bucket are chained by
//           their `next` address.
//   data_N: 8192-byte header (magic, version, file number, next file, block
//           size at 12, used blocks, max blocks at 20, allocation bitmap),
//           then blocks of one size.
//   address: bit 31 set when in use; bits 28-30 the file type (0 an
//           external file "f_%06x" numbered by the low 28 bits, 1 rankings
//           of 36 bytes, 2/3/4 blocks of 256/1024/4096 bytes); for blocks,
//           bits 24-25 the block count - 1, 16-23 the data_N number and
//           0-15 the first block.
//   entry (1-4 blocks of 256 in data_1): hash 0, next 4, rankings node 8,
//           state 20, key length 32, long key address 36, stream sizes 40,
//           stream addresses 56, flags 72 (1 parent of range children,
//           2 range child), key 96.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace block_layout {

constexpr std::uint32_t kIndexMagic = 0xC103CAC3u;
constexpr std::uint64_t kIndexHeaderSize = 368;
constexpr std::uint64_t kIndexTableLengthAt = 28;
constexpr std::uint32_t kDefaultTableLength = 0x10000;  // a length of 0 in the header

constexpr std::uint32_t kBlockMagic = 0xC104CAC3u;
constexpr std::uint64_t kBlockHeaderSize = 8192;
constexpr std::uint64_t kBlockSizeAt = 12;
constexpr std::uint64_t kMaxBlocksAt = 20;

constexpr std::uint64_t kEntrySize = 256;
constexpr std::uint64_t kMaxEntryBlocks = 4;
constexpr std::uint64_t kEntryHashAt = 0;
constexpr std::uint64_t kEntryNextAt = 4;
constexpr std::uint64_t kEntryRankingsAt = 8;
constexpr std::uint64_t kEntryStateAt = 20;
constexpr std::uint64_t kEntryKeyLengthAt = 32;
constexpr std::uint64_t kEntryLongKeyAt = 36;
constexpr std::uint64_t kEntryStreamSizesAt = 40;
constexpr std::uint64_t kEntryStreamAddressesAt = 56;
constexpr std::uint64_t kEntryFlagsAt = 72;
constexpr std::uint64_t kEntryKeyAt = 96;
constexpr int kStreams = 4;
constexpr std::uint32_t kParentEntry = 1;
constexpr std::uint32_t kChildEntry = 2;

constexpr std::uint64_t kRankingsSize = 36;
constexpr std::uint64_t kRankingsDirtyAt = 28;

enum FileType { kExternal = 0, kRankings = 1, kBlock256 = 2, kBlock1K = 3, kBlock4K = 4 };

// The size of the blocks a file type holds; 0 for external files and the
// index's own kinds (5-7), which never hold entry data.
constexpr std::uint64_t BlockSizeOf(int type) {
  switch (type) {
    case kRankings:
      return kRankingsSize;
    case kBlock256:
      return 256;
    case kBlock1K:
      return 1024;
    case kBlock4K:
      return 4096;
    default:
      return 0;
  }
}

constexpr std::uint32_t kAddressInUse = 0x80000000u;
constexpr std::uint32_t kMaxExternalNumber = 0x0FFFFFFFu;

struct Addr {
  std::uint32_t value = 0;
  bool Initialized() const { return (value & kAddressInUse) != 0; }
  int Type() const { return static_cast<int>((value >> 28) & 7); }
  std::uint32_t ExternalNumber() const { return value & kMaxExternalNumber; }
  std::uint64_t NumBlocks() const { return ((value >> 24) & 3) + 1; }
  int FileNumber() const { return static_cast<int>((value >> 16) & 0xFF); }
  std::uint64_t StartBlock() const { return value & 0xFFFF; }
};

// "f_00002a" for external file 42.
inline std::string ExternalFileName(std::uint32_t number) {
  char text[16];
  std::snprintf(text, sizeof text, "f_%06x", number);
  return text;
}

// "f_00002a" -> the cache address of that external file; 0 for other names.
inline std::uint32_t ExternalAddressOf(std::string_view name) {
  if (name.size() != 8 || name.substr(0, 2) != "f_") return 0;
  std::uint32_t number = 0;
  for (char c : name.substr(2)) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (digit < 0) return 0;
    number = number * 16 + static_cast<std::uint32_t>(digit);
  }
  if (number == 0 || number > kMaxExternalNumber) return 0;
  return kAddressInUse | number;
}

}  // namespace block_layout
