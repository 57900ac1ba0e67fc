#include "app/browser_caches/chromium_block_owner.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "app/browser_caches/cache_bytes.h"
#include "app/browser_caches/cache_key.h"
#include "app/browser_caches/chromium_block_layout.h"

namespace {

using namespace block_layout;

// Blocks read at once, and in all (data_1 of 256 MiB).
constexpr std::uint64_t kChunkBlocks = 4096;
constexpr std::uint64_t kMaxBlocks = 1u << 20;

BlockFileOwner OwnerOf(std::string_view key) {
  if (const auto child = RangeChildKeyParse(key)) return {std::string(child->parentKey), child->signature};
  return {std::string(key), 0};
}

}  // namespace

std::map<std::string, BlockFileOwner> BlockFileOwnersFind(CacheFolder& folder,
                                                          const std::set<std::string>& fileNames) {
  std::map<std::string, BlockFileOwner> owners;
  std::map<std::uint32_t, std::string> wanted;
  for (const std::string& name : fileNames) {
    if (const std::uint32_t address = ExternalAddressOf(name)) wanted.emplace(address, name);
  }
  if (wanted.empty()) return owners;
  const auto file = folder.Open("data_1");
  if (!file) return owners;
  const auto header = ReadExact(*file, 0, kBlockSizeAt + 4, kBlockSizeAt + 4);
  if (!header || LoadU32(*header, 0) != kBlockMagic || LoadU32(*header, kBlockSizeAt) != kEntrySize)
    return owners;
  const std::uint64_t size = file->Size();
  if (size <= kBlockHeaderSize) return owners;
  const std::uint64_t blocks = std::min<std::uint64_t>((size - kBlockHeaderSize) / kEntrySize, kMaxBlocks);

  std::vector<std::uint8_t> chunk;
  for (std::uint64_t first = 0; first < blocks && owners.size() < wanted.size(); first += kChunkBlocks) {
    // A chunk reads on by the blocks a record's key may run into.
    const std::uint64_t count = std::min(kChunkBlocks + kMaxEntryBlocks - 1, blocks - first);
    chunk.resize(static_cast<std::size_t>(count * kEntrySize));
    chunk.resize(file->ReadAt(kBlockHeaderSize + first * kEntrySize, chunk.data(), chunk.size()));
    const std::uint64_t present = chunk.size() / kEntrySize;
    for (std::uint64_t block = 0; block < std::min(kChunkBlocks, present); ++block) {
      const std::size_t at = static_cast<std::size_t>(block * kEntrySize);
      const std::span<const std::uint8_t> record(chunk.data() + at, chunk.size() - at);
      const std::string* fileName = nullptr;
      for (int stream = 0; stream < kStreams && fileName == nullptr; ++stream) {
        auto match = wanted.find(LoadU32(record, kEntryStreamAddressesAt + 4 * stream));
        if (match != wanted.end()) fileName = &match->second;
      }
      if (fileName == nullptr || owners.count(*fileName) != 0) continue;
      const std::uint64_t keyLength = LoadU32(record, kEntryKeyLengthAt);
      if (LoadU32(record, kEntryLongKeyAt) != 0 || keyLength == 0 ||
          kEntryKeyAt + keyLength > kMaxEntryBlocks * kEntrySize || kEntryKeyAt + keyLength > record.size())
        continue;
      const std::string_view key(reinterpret_cast<const char*>(record.data() + kEntryKeyAt),
                                 static_cast<std::size_t>(keyLength));
      owners.emplace(*fileName, OwnerOf(key));
    }
    if (present < count && present <= kChunkBlocks) break;  // the file ended (or shrank)
  }
  return owners;
}
