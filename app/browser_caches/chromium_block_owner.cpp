#include "app/browser_caches/chromium_block_owner.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "app/browser_caches/cache_bytes.h"

namespace {

constexpr std::uint32_t kBlockMagic = 0xC104CAC3u;
constexpr std::uint64_t kBlockHeaderSize = 8192;
constexpr std::uint64_t kEntrySize = 256;
constexpr std::uint64_t kKeyOffset = 96;
constexpr std::uint64_t kKeyLengthOffset = 32;
constexpr std::uint64_t kLongKeyOffset = 36;
constexpr std::uint64_t kStreamAddressOffset = 56;
constexpr std::uint64_t kMaxRecordBlocks = 4;
// Blocks read at once, and in all (data_1 of 256 MiB).
constexpr std::uint64_t kChunkBlocks = 4096;
constexpr std::uint64_t kMaxBlocks = 1u << 20;
constexpr std::uint32_t kExternalInitialised = 0x80000000u;
constexpr std::uint32_t kMaxFileNumber = 0x0FFFFFFFu;

// "f_00002a" -> the cache address of that external file; 0 for other names.
std::uint32_t ExternalAddressOf(std::string_view name) {
  if (name.size() != 8 || name.substr(0, 2) != "f_") return 0;
  std::uint32_t number = 0;
  for (char c : name.substr(2)) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (digit < 0) return 0;
    number = number * 16 + static_cast<std::uint32_t>(digit);
  }
  if (number == 0 || number > kMaxFileNumber) return 0;
  return kExternalInitialised | number;
}

// "Range_<parent key>:<signature hex>:<index hex>" -> the parent key.
std::string_view ElementKeyOf(std::string_view key) {
  constexpr std::string_view kRangePrefix = "Range_";
  if (key.substr(0, kRangePrefix.size()) != kRangePrefix) return key;
  const std::size_t indexColon = key.rfind(':');
  if (indexColon == std::string_view::npos || indexColon <= kRangePrefix.size()) return key;
  const std::size_t signatureColon = key.rfind(':', indexColon - 1);
  if (signatureColon == std::string_view::npos || signatureColon <= kRangePrefix.size()) return key;
  return key.substr(kRangePrefix.size(), signatureColon - kRangePrefix.size());
}

}  // namespace

std::map<std::string, std::string> BlockFileOwnersFind(CacheFolder& folder,
                                                       const std::set<std::string>& fileNames) {
  std::map<std::string, std::string> owners;
  std::map<std::uint32_t, std::string> wanted;
  for (const std::string& name : fileNames) {
    if (const std::uint32_t address = ExternalAddressOf(name)) wanted.emplace(address, name);
  }
  if (wanted.empty()) return owners;
  const auto file = folder.Open("data_1");
  if (!file) return owners;
  const auto header = ReadExact(*file, 0, 16, 16);
  if (!header || LoadU32(*header, 0) != kBlockMagic || LoadU32(*header, 12) != kEntrySize) return owners;
  const std::uint64_t size = file->Size();
  if (size <= kBlockHeaderSize) return owners;
  const std::uint64_t blocks = std::min<std::uint64_t>((size - kBlockHeaderSize) / kEntrySize, kMaxBlocks);

  std::vector<std::uint8_t> chunk;
  for (std::uint64_t first = 0; first < blocks && owners.size() < wanted.size(); first += kChunkBlocks) {
    // A chunk reads on by the blocks a record's key may run into.
    const std::uint64_t count = std::min(kChunkBlocks + kMaxRecordBlocks - 1, blocks - first);
    chunk.resize(static_cast<std::size_t>(count * kEntrySize));
    chunk.resize(file->ReadAt(kBlockHeaderSize + first * kEntrySize, chunk.data(), chunk.size()));
    const std::uint64_t present = chunk.size() / kEntrySize;
    for (std::uint64_t block = 0; block < std::min(kChunkBlocks, present); ++block) {
      const std::size_t at = static_cast<std::size_t>(block * kEntrySize);
      const std::span<const std::uint8_t> record(chunk.data() + at, chunk.size() - at);
      const std::string* fileName = nullptr;
      for (std::uint64_t stream = 0; stream < 4 && fileName == nullptr; ++stream) {
        auto match = wanted.find(LoadU32(record, kStreamAddressOffset + 4 * stream));
        if (match != wanted.end()) fileName = &match->second;
      }
      if (fileName == nullptr || owners.count(*fileName) != 0) continue;
      const std::uint64_t keyLength = LoadU32(record, kKeyLengthOffset);
      if (LoadU32(record, kLongKeyOffset) != 0 || keyLength == 0 ||
          kKeyOffset + keyLength > kMaxRecordBlocks * kEntrySize || kKeyOffset + keyLength > record.size())
        continue;
      const std::string_view key(reinterpret_cast<const char*>(record.data() + kKeyOffset),
                                 static_cast<std::size_t>(keyLength));
      owners.emplace(*fileName, std::string(ElementKeyOf(key)));
    }
    if (present < count && present <= kChunkBlocks) break;  // the file ended (or shrank)
  }
  return owners;
}
