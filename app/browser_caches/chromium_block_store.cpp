#include "app/browser_caches/chromium_block_store.h"

#include <algorithm>
#include <unordered_set>

#include "app/browser_caches/cache_bytes.h"
#include "app/browser_caches/cache_key.h"

namespace block_store {

using namespace block_layout;

namespace {

constexpr std::uint32_t kMaxTableLength = 1u << 22;
constexpr std::size_t kMaxChainSteps = 1024;

}  // namespace

bool BlockStore::Open() {
  index_ = folder_.Open("index");
  if (!index_) return false;
  const auto header = ReadExact(*index_, 0, kIndexHeaderSize, kIndexHeaderSize);
  if (!header || LoadU32(*header, 0) != kIndexMagic) return false;
  std::uint32_t length = LoadU32(*header, kIndexTableLengthAt);
  if (length == 0) length = kDefaultTableLength;
  // A power of two (the bucket is a mask of the hash) that fits the file.
  if (length > kMaxTableLength || (length & (length - 1)) != 0) return false;
  if (index_->Size() < kIndexHeaderSize + 4ull * length) return false;
  tableLength_ = length;
  return true;
}

std::optional<std::vector<std::uint8_t>> BlockStore::Table() {
  return ReadExact(*index_, kIndexHeaderSize, 4ull * tableLength_, 4ull * kMaxTableLength);
}

Addr BlockStore::Bucket(std::uint32_t hash) {
  const auto slot = ReadExact(*index_, kIndexHeaderSize + 4ull * (hash & (tableLength_ - 1)), 4, 4);
  return slot ? Addr{LoadU32(*slot, 0)} : Addr{};
}

std::optional<std::vector<std::uint8_t>> BlockStore::IndexHeader() {
  return ReadExact(*index_, 0, kIndexHeaderSize, kIndexHeaderSize);
}

std::shared_ptr<CacheFile> BlockStore::FileOf(const std::string& name, FileList& files, std::size_t limit) {
  const auto found =
      std::find_if(files.begin(), files.end(), [&](const auto& file) { return file.first == name; });
  std::shared_ptr<CacheFile> file;
  if (found != files.end()) {
    file = found->second;
    files.erase(found);
  } else {
    file = folder_.Open(name);
    if (!file) return nullptr;
  }
  files.emplace_back(name, file);
  if (files.size() > limit) files.pop_front();
  return file;
}

const BlockStore::BlockHeader* BlockStore::BlockHeaderOf(const std::string& name,
                                                         const std::shared_ptr<CacheFile>& file) {
  auto found = blockHeaders_.find(name);
  if (found == blockHeaders_.end()) {
    BlockHeader header;
    const auto bytes = ReadExact(*file, 0, kMaxBlocksAt + 4, kMaxBlocksAt + 4);
    if (bytes && LoadU32(*bytes, 0) == kBlockMagic) {
      header.maxBlocks = LoadU32(*bytes, kMaxBlocksAt);
      header.blockSize = LoadU32(*bytes, kBlockSizeAt);
    }
    found = blockHeaders_.emplace(name, header).first;
  }
  return found->second.maxBlocks == 0 ? nullptr : &found->second;
}

std::optional<Location> BlockStore::Locate(Addr addr) {
  if (!addr.Initialized()) return std::nullopt;
  Location location;
  if (addr.Type() == kExternal) {
    location.fileName = ExternalFileName(addr.ExternalNumber());
    location.file = FileOf(location.fileName, external_, kMaxOpenExternalFiles);
    if (!location.file) return std::nullopt;
    location.room = location.file->Size();
    location.external = true;
    return location;
  }
  const std::uint64_t blockSize = BlockSizeOf(addr.Type());
  if (blockSize == 0) return std::nullopt;
  location.fileName = "data_" + std::to_string(addr.FileNumber());
  location.file = FileOf(location.fileName, blocks_, kMaxOpenBlockFiles);
  if (!location.file) return std::nullopt;
  const BlockHeader* header = BlockHeaderOf(location.fileName, location.file);
  // The file's own block size must be the one the address says.
  if (!header || header->blockSize != blockSize) return std::nullopt;
  const std::uint64_t end = addr.StartBlock() + addr.NumBlocks();
  if (end > header->maxBlocks) return std::nullopt;
  location.offset = kBlockHeaderSize + addr.StartBlock() * blockSize;
  location.room = addr.NumBlocks() * blockSize;
  // Block files may be shorter than their header allows (never grown that
  // far, or cut): the record must be inside what is there.
  if (location.offset + location.room > location.file->Size()) return std::nullopt;
  return location;
}

EntryStatus BlockStore::Entry(Addr addr, EntryRecord& entry) {
  if (addr.Type() != kBlock256) return EntryStatus::Damaged;
  const auto location = Locate(addr);
  if (!location) return EntryStatus::Damaged;
  const auto bytes =
      ReadExact(*location->file, location->offset, location->room, kMaxEntryBlocks * kEntrySize);
  if (!bytes) return EntryStatus::Damaged;
  entry = EntryRecord{};
  entry.self = addr;
  entry.hash = LoadU32(*bytes, kEntryHashAt);
  entry.next = Addr{LoadU32(*bytes, kEntryNextAt)};
  entry.rankings = Addr{LoadU32(*bytes, kEntryRankingsAt)};
  entry.state = LoadU32(*bytes, kEntryStateAt);
  const std::uint64_t keyLength = LoadU32(*bytes, kEntryKeyLengthAt);
  const Addr longKey{LoadU32(*bytes, kEntryLongKeyAt)};
  for (int i = 0; i < kStreams; ++i) {
    entry.dataSize[i] = LoadU32(*bytes, kEntryStreamSizesAt + 4 * i);
    entry.dataAddr[i] = Addr{LoadU32(*bytes, kEntryStreamAddressesAt + 4 * i)};
  }
  entry.flags = LoadU32(*bytes, kEntryFlagsAt);
  if (keyLength == 0) return EntryStatus::Damaged;
  if (keyLength > kMaxKeyLength) return EntryStatus::KeySkipped;
  if (longKey.Initialized()) {
    // Keys too long for the entry's blocks live in a record of their own.
    if (longKeysOnce_ && !longKeysRead_.insert(longKey.value).second) return EntryStatus::KeySkipped;
    const auto keyLocation = Locate(longKey);
    if (!keyLocation || keyLength > keyLocation->room) return EntryStatus::Damaged;
    const auto key = ReadExact(*keyLocation->file, keyLocation->offset, keyLength, kMaxKeyLength);
    if (!key) return EntryStatus::Damaged;
    entry.key.assign(key->begin(), key->end());
  } else {
    if (keyLength > bytes->size() - kEntryKeyAt) return EntryStatus::Damaged;
    entry.key.assign(bytes->begin() + kEntryKeyAt,
                     bytes->begin() + static_cast<long>(kEntryKeyAt + keyLength));
  }
  // A range child by its key: the browser sets the child flag only later
  // (seen on live caches), and no other key starts "Range_".
  if (const auto child = RangeChildKeyParse(entry.key)) {
    entry.rangeChild = true;
    entry.childSignature = child->signature;
  }
  return EntryStatus::Read;
}

std::optional<EntryRecord> BlockStore::Find(std::string_view key, std::uint32_t hash) {
  if (key.size() > kMaxKeyLength) return std::nullopt;
  Addr addr = Bucket(hash);
  std::unordered_set<std::uint32_t> seen;
  EntryRecord entry;
  for (std::size_t step = 0; addr.Initialized() && step < kMaxChainSteps; ++step) {
    if (!seen.insert(addr.value).second) break;  // a loop
    const EntryStatus status = Entry(addr, entry);
    if (status == EntryStatus::Damaged) break;
    if (status == EntryStatus::Read && entry.hash == hash && entry.key == key) return entry;
    addr = entry.next;
  }
  return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> BlockStore::StreamBytes(const EntryRecord& entry, int stream,
                                                                 std::uint64_t cap) {
  const std::uint64_t size = entry.dataSize[stream];
  if (size == 0) return std::vector<std::uint8_t>();
  const auto location = Locate(entry.dataAddr[stream]);
  if (!location || size > location->room) return std::nullopt;
  return ReadExact(*location->file, location->offset, size, cap);
}

std::optional<Location> BlockStore::StreamLocation(const EntryRecord& entry, int stream,
                                                   std::uint64_t& onDisk) {
  const std::uint64_t size = entry.dataSize[stream];
  onDisk = 0;
  if (size == 0) return std::nullopt;
  auto location = Locate(entry.dataAddr[stream]);
  if (!location) return std::nullopt;
  if (!location->external && size > location->room) return std::nullopt;
  onDisk = std::min(size, location->room);
  return location;
}

bool BlockStore::Closed(const EntryRecord& entry) {
  if (entry.rankings.Type() != kRankings) return false;
  const auto location = Locate(entry.rankings);
  if (!location) return false;
  const auto node = ReadExact(*location->file, location->offset, kRankingsSize, kRankingsSize);
  return node && LoadU32(*node, kRankingsDirtyAt) == 0;
}

}  // namespace block_store
