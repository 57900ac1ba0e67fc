// The layout is in chromium_block_layout.h.  Range answers
// (sparse_control.cc): the parent's stream 2 is a 64-byte header (signature,
// magic) and a bitmap of the 1 MiB children present; a child's stream 1
// holds its bytes and its stream 2 the same header and a bitmap of the
// 1 KiB blocks present, the last partly written block being named by the
// header.  The browser writes both bitmaps (and the parent's flag) only when
// it closes the entry.
#include "app/browser_caches/chromium_block_files.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>

#include "app/browser_caches/cache_bytes.h"
#include "app/browser_caches/cache_key.h"
#include "app/browser_caches/chromium_block_layout.h"
#include "app/browser_caches/http_headers.h"

namespace {

using namespace block_layout;

constexpr std::uint32_t kSparseMagic = kIndexMagic;  // checked on real caches
constexpr std::uint64_t kSparseHeaderSize = 64;
constexpr std::uint64_t kChildSize = 1u << 20;
constexpr std::uint64_t kChildBlockSize = 1024;
// Caps on what outside numbers may make us read, allocate or walk.
constexpr std::uint32_t kMaxTableLength = 1u << 22;
constexpr std::uint64_t kMaxKeyLength = 1u << 20;
constexpr std::uint64_t kMaxHeadersLength = 1u << 20;
constexpr std::uint64_t kMaxChildrenBitmap = 1u << 13;  // 65,536 children: 64 GiB
constexpr std::uint64_t kMaxChildren = kMaxChildrenBitmap * 8;
constexpr std::size_t kMaxEntriesWalked = 1u << 20;
constexpr std::size_t kMaxChainSteps = 1024;

// Where a record or stream lies: a file, an offset and the room there.
struct Location {
  std::string fileName;
  CacheFile* file = nullptr;
  std::uint64_t offset = 0;
  std::uint64_t room = 0;  // bytes available from `offset`
  bool external = false;
};

struct EntryRecord {
  Addr self;
  std::uint32_t hash = 0;
  Addr next;
  Addr rankings;
  std::uint32_t state = 0;
  std::uint32_t flags = 0;
  std::string key;
  std::uint32_t dataSize[kStreams] = {};
  Addr dataAddr[kStreams];
};

// The open files of one read, each opened once and checked once.
class BlockStore {
 public:
  explicit BlockStore(CacheFolder& folder) : folder_(folder) {}

  bool Open() {
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

  std::uint32_t TableLength() const { return tableLength_; }

  std::optional<std::vector<std::uint8_t>> Table() {
    return ReadExact(*index_, kIndexHeaderSize, 4ull * tableLength_, 4ull * kMaxTableLength);
  }

  Addr Bucket(std::uint32_t hash) {
    const auto slot = ReadExact(*index_, kIndexHeaderSize + 4ull * (hash & (tableLength_ - 1)), 4, 4);
    return slot ? Addr{LoadU32(*slot, 0)} : Addr{};
  }

  // Checks an address against the file it names; empty when it is not valid.
  std::optional<Location> Locate(Addr addr) {
    if (!addr.Initialized()) return std::nullopt;
    Location location;
    if (addr.Type() == kExternal) {
      location.fileName = ExternalFileName(addr.ExternalNumber());
      location.file = FileOf(location.fileName);
      if (!location.file) return std::nullopt;
      location.room = location.file->Size();
      location.external = true;
      return location;
    }
    const std::uint64_t blockSize = BlockSizeOf(addr.Type());
    if (blockSize == 0) return std::nullopt;
    location.fileName = "data_" + std::to_string(addr.FileNumber());
    const BlockFile* blocks = BlockFileOf(location.fileName, blockSize);
    if (!blocks) return std::nullopt;
    const std::uint64_t end = addr.StartBlock() + addr.NumBlocks();
    if (end > blocks->maxBlocks) return std::nullopt;
    location.file = blocks->file.get();
    location.offset = kBlockHeaderSize + addr.StartBlock() * blockSize;
    location.room = addr.NumBlocks() * blockSize;
    // Block files may be shorter than their header allows (never grown that
    // far, or cut): the record must be inside what is there.
    if (location.offset + location.room > location.file->Size()) return std::nullopt;
    return location;
  }

  std::optional<EntryRecord> Entry(Addr addr) {
    if (addr.Type() != kBlock256) return std::nullopt;
    const auto location = Locate(addr);
    if (!location) return std::nullopt;
    const auto bytes =
        ReadExact(*location->file, location->offset, location->room, kMaxEntryBlocks * kEntrySize);
    if (!bytes) return std::nullopt;
    EntryRecord entry;
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
    if (keyLength == 0 || keyLength > kMaxKeyLength) return std::nullopt;
    if (longKey.Initialized()) {
      // Keys too long for the entry's blocks live in a record of their own.
      const auto keyLocation = Locate(longKey);
      if (!keyLocation || keyLength > keyLocation->room) return std::nullopt;
      const auto key = ReadExact(*keyLocation->file, keyLocation->offset, keyLength, kMaxKeyLength);
      if (!key) return std::nullopt;
      entry.key.assign(key->begin(), key->end());
    } else {
      if (keyLength > bytes->size() - kEntryKeyAt) return std::nullopt;
      entry.key.assign(bytes->begin() + kEntryKeyAt, bytes->begin() + static_cast<long>(kEntryKeyAt + keyLength));
    }
    return entry;
  }

  // The entry with this key, through its bucket's chain.
  std::optional<EntryRecord> Find(std::string_view key) {
    const std::uint32_t hash = BlockFileKeyHash(key);
    Addr addr = Bucket(hash);
    std::unordered_set<std::uint32_t> seen;
    for (std::size_t step = 0; addr.Initialized() && step < kMaxChainSteps; ++step) {
      if (!seen.insert(addr.value).second) break;  // a loop
      auto entry = Entry(addr);
      if (!entry) break;
      if (entry->hash == hash && entry->key == key) return entry;
      addr = entry->next;
    }
    return std::nullopt;
  }

  // A small stream (headers, sparse bitmaps) read whole.
  std::optional<std::vector<std::uint8_t>> StreamBytes(const EntryRecord& entry, int stream,
                                                       std::uint64_t cap) {
    const std::uint64_t size = entry.dataSize[stream];
    if (size == 0) return std::vector<std::uint8_t>();
    const auto location = Locate(entry.dataAddr[stream]);
    if (!location || size > location->room) return std::nullopt;
    return ReadExact(*location->file, location->offset, size, cap);
  }

  // Where a stream's bytes are and how many of them are on disk (an
  // external file may still be shorter than the size the entry records).
  std::optional<Location> StreamLocation(const EntryRecord& entry, int stream, std::uint64_t& onDisk) {
    const std::uint64_t size = entry.dataSize[stream];
    onDisk = 0;
    if (size == 0) return std::nullopt;
    auto location = Locate(entry.dataAddr[stream]);
    if (!location) return std::nullopt;
    if (!location->external && size > location->room) return std::nullopt;
    onDisk = std::min(size, location->room);
    return location;
  }

  // The browser has closed the entry: its rankings node is not dirty.
  bool Closed(const EntryRecord& entry) {
    if (entry.rankings.Type() != kRankings) return false;
    const auto location = Locate(entry.rankings);
    if (!location) return false;
    const auto node = ReadExact(*location->file, location->offset, kRankingsSize, kRankingsSize);
    return node && LoadU32(*node, kRankingsDirtyAt) == 0;
  }

 private:
  struct BlockFile {
    std::unique_ptr<CacheFile> file;
    std::uint64_t maxBlocks = 0;
  };

  CacheFile* FileOf(const std::string& name) {
    auto found = external_.find(name);
    if (found == external_.end()) found = external_.emplace(name, folder_.Open(name)).first;
    return found->second.get();
  }

  const BlockFile* BlockFileOf(const std::string& name, std::uint64_t blockSize) {
    auto found = blocks_.find(name);
    if (found == blocks_.end()) {
      BlockFile blocks;
      blocks.file = folder_.Open(name);
      if (blocks.file) {
        const auto header = ReadExact(*blocks.file, 0, kMaxBlocksAt + 4, kMaxBlocksAt + 4);
        if (header && LoadU32(*header, 0) == kBlockMagic) {
          blocks.maxBlocks = LoadU32(*header, kMaxBlocksAt);
          blockSizes_[name] = LoadU32(*header, kBlockSizeAt);
        }
      }
      found = blocks_.emplace(name, std::move(blocks)).first;
    }
    // The file's own block size must be the one the address says.
    if (!found->second.file || found->second.maxBlocks == 0 || blockSizes_[name] != blockSize) return nullptr;
    return &found->second;
  }

  CacheFolder& folder_;
  std::unique_ptr<CacheFile> index_;
  std::uint32_t tableLength_ = 0;
  std::map<std::string, std::unique_ptr<CacheFile>, std::less<>> external_;
  std::map<std::string, BlockFile, std::less<>> blocks_;
  std::map<std::string, std::uint64_t, std::less<>> blockSizes_;
};

struct SparseHeader {
  std::uint64_t signature = 0;
  std::int32_t lastBlock = -1;
  std::int32_t lastBlockLength = 0;
  std::vector<std::uint8_t> bitmap;
};

std::optional<SparseHeader> SparseHeaderParse(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() < kSparseHeaderSize || LoadU32(bytes, 8) != kSparseMagic) return std::nullopt;
  SparseHeader header;
  header.signature = LoadU64(bytes, 0);
  header.lastBlock = static_cast<std::int32_t>(LoadU32(bytes, 16));
  header.lastBlockLength = static_cast<std::int32_t>(LoadU32(bytes, 20));
  header.bitmap.assign(bytes.begin() + kSparseHeaderSize, bytes.end());
  return header;
}

bool BitSet(const std::vector<std::uint8_t>& bitmap, std::uint64_t bit) {
  return bit / 8 < bitmap.size() && (bitmap[bit / 8] >> (bit % 8) & 1) != 0;
}

// Adds [from, to) of a child's stream 1 to the pieces, merged with the last
// piece where they touch in both the element and the file.
void PieceAdd(std::vector<BodyPiece>& pieces, const Location& location, std::uint64_t childStart,
              std::uint64_t from, std::uint64_t to) {
  if (from >= to) return;
  if (!pieces.empty()) {
    BodyPiece& last = pieces.back();
    if (last.fileName == location.fileName && last.elementOffset + last.length == childStart + from &&
        last.fileOffset + last.length == location.offset + from) {
      last.length += to - from;
      return;
    }
  }
  pieces.push_back({location.fileName, location.offset + from, childStart + from, to - from});
}

// The present bytes of one child, from its block bitmap (or, while the
// browser still has the child open and wrote no bitmap yet, all of stream 1
// on disk from the child's start).
bool ChildPiecesAdd(BlockStore& store, const EntryRecord& child, std::uint64_t childIndex,
                    std::uint64_t signature, std::vector<BodyPiece>& pieces) {
  std::uint64_t onDisk = 0;
  const auto location = store.StreamLocation(child, 1, onDisk);
  if (!location) return child.dataSize[1] == 0;
  onDisk = std::min(onDisk, kChildSize);
  const std::uint64_t childStart = childIndex * kChildSize;
  const auto bitmapBytes = store.StreamBytes(child, 2, kSparseHeaderSize + kChildSize / kChildBlockSize / 8);
  if (!bitmapBytes) return false;
  if (bitmapBytes->empty()) {
    PieceAdd(pieces, *location, childStart, 0, onDisk);
    return true;
  }
  const auto header = SparseHeaderParse(*bitmapBytes);
  if (!header || header->signature != signature) return false;
  const std::uint64_t blocks = kChildSize / kChildBlockSize;
  for (std::uint64_t block = 0; block < blocks; ++block) {
    std::uint64_t length = 0;
    if (BitSet(header->bitmap, block)) {
      length = kChildBlockSize;
    } else if (header->lastBlock >= 0 && static_cast<std::uint64_t>(header->lastBlock) == block &&
               header->lastBlockLength > 0 &&
               header->lastBlockLength < static_cast<std::int32_t>(kChildBlockSize)) {
      length = static_cast<std::uint64_t>(header->lastBlockLength);
    }
    const std::uint64_t from = block * kChildBlockSize;
    const std::uint64_t to = std::min(from + length, onDisk);
    PieceAdd(pieces, *location, childStart, from, to);
  }
  return true;
}

using ChildList = std::vector<std::pair<std::uint64_t, EntryRecord>>;

// Children of the newest answer only, one per index: the signature most
// children share (an older answer's children may linger until evicted).
ChildList WalkedChildrenOfOneAnswer(const ChildList& walked, std::uint64_t& signature) {
  std::map<std::uint64_t, std::size_t> counts;
  for (const auto& [index, child] : walked) {
    if (const auto parsed = RangeChildKeyParse(child.key)) ++counts[parsed->signature];
  }
  signature = 0;
  std::size_t best = 0;
  for (const auto& [candidate, count] : counts) {
    if (count > best) signature = candidate, best = count;
  }
  std::map<std::uint64_t, EntryRecord> byIndex;
  for (const auto& [index, child] : walked) {
    const auto parsed = RangeChildKeyParse(child.key);
    if (parsed && parsed->signature == signature) byIndex.emplace(index, child);
  }
  return {byIndex.begin(), byIndex.end()};
}

using ChildFinder = std::function<std::optional<EntryRecord>(std::string_view childKey)>;

// Where the children of an entry come from, best first.
struct ChildSources {
  const ChildFinder& find;
  const ChildList* walked = nullptr;  // met by the index walk (full reads)
  std::uint64_t signature = 0;        // of the answer's child keys, when the caller knows it
};

// The children of a range answer.  The parent's list is written only when
// the browser closes the entry; until then the children are those the walk
// met, or those found by the keys a known signature gives, from child 0 to
// the first one missing (the media loader writes from where it starts).
// `listed` tells whether the parent's own list was there.
ChildList ChildrenFind(BlockStore& store, const EntryRecord& entry, const ChildSources& sources,
                       std::uint64_t& signature, bool& listed, bool& allFound) {
  ChildList children;
  signature = 0;
  listed = false;
  allFound = true;
  const auto listBytes = store.StreamBytes(entry, 2, kSparseHeaderSize + kMaxChildrenBitmap);
  if (const auto list = listBytes ? SparseHeaderParse(*listBytes) : std::nullopt) {
    listed = true;
    signature = list->signature;
    for (std::uint64_t index = 0; index < list->bitmap.size() * 8; ++index) {
      if (!BitSet(list->bitmap, index)) continue;
      auto child = sources.find(RangeChildKeyMake(entry.key, signature, index));
      if (child) {
        children.emplace_back(index, std::move(*child));
      } else {
        allFound = false;  // listed but gone or damaged
      }
    }
  } else if (sources.walked && !sources.walked->empty()) {
    children = WalkedChildrenOfOneAnswer(*sources.walked, signature);
  } else if (sources.signature != 0) {
    signature = sources.signature;
    for (std::uint64_t index = 0; index < kMaxChildren; ++index) {
      auto child = sources.find(RangeChildKeyMake(entry.key, signature, index));
      if (!child) break;
      children.emplace_back(index, std::move(*child));
    }
  }
  std::sort(children.begin(), children.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  return children;
}

// The element of a non-child entry.
std::optional<CacheElement> ElementAssemble(BlockStore& store, const EntryRecord& entry,
                                            const ChildSources& sources) {
  if (entry.state != 0) return std::nullopt;  // evicted or doomed
  CacheElement element;
  element.store = CacheStore::ChromiumBlockFiles;
  element.key = entry.key;
  element.id = entry.key;
  element.webAddress = CacheKeyAddress(entry.key);
  if (const auto headerBytes = store.StreamBytes(entry, 0, kMaxHeadersLength)) {
    if (const auto headers = ChromiumResponseInfoParse(*headerBytes)) {
      element.httpStatus = headers->status;
      element.contentType = headers->contentType;
      element.contentEncoding = headers->contentEncoding;
      element.fullLength = HttpFullLength(*headers);
      element.truncated = headers->truncated;
    }
  }
  bool finished = store.Closed(entry);

  // A range answer's parent holds no body of its own.  Its flag, like its
  // list, reaches the disk only when the browser closes it (seen on live
  // caches), so an entry without a body whose children are found is one too.
  const bool flagged = (entry.flags & kParentEntry) != 0;
  ChildList children;
  std::uint64_t signature = 0;
  bool listed = false;
  bool allFound = true;
  if (flagged || entry.dataSize[1] == 0)
    children = ChildrenFind(store, entry, sources, signature, listed, allFound);
  if (!flagged && !listed && children.empty()) {
    std::uint64_t onDisk = 0;
    if (const auto location = store.StreamLocation(entry, 1, onDisk)) {
      if (onDisk != 0) element.pieces.push_back({location->fileName, location->offset, 0, onDisk});
      finished = finished && onDisk == entry.dataSize[1];
    } else if (entry.dataSize[1] != 0) {
      return std::nullopt;
    }
    element.finished = finished;
    return element;
  }

  element.rangeSignature = signature;
  // Children found without the parent's list: the browser is still at it.
  finished = finished && listed && allFound;
  for (const auto& [index, child] : children) {
    if (child.state != 0) continue;
    const auto parsed = RangeChildKeyParse(child.key);
    if (!parsed) continue;
    if (!ChildPiecesAdd(store, child, index, parsed->signature, element.pieces)) {
      finished = false;
      continue;
    }
    finished = finished && store.Closed(child);
  }
  element.finished = finished;
  return element;
}

std::uint32_t Get16(const std::uint8_t* data) {
  return static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8;
}

}  // namespace

std::uint32_t BlockFileKeyHash(std::string_view key) {
  // Paul Hsieh's SuperFastHash as base/hash keeps it, with its signed-char
  // reads of the tail bytes.
  const auto* data = reinterpret_cast<const std::uint8_t*>(key.data());
  std::size_t length = key.size();
  if (length == 0) return 0;
  std::uint32_t hash = static_cast<std::uint32_t>(length);
  const std::size_t rest = length & 3;
  for (length >>= 2; length > 0; --length) {
    hash += Get16(data);
    const std::uint32_t tmp = (Get16(data + 2) << 11) ^ hash;
    hash = (hash << 16) ^ tmp;
    data += 4;
    hash += hash >> 11;
  }
  const auto signedByte = [](std::uint8_t byte) {
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<std::int8_t>(byte)));
  };
  switch (rest) {
    case 3:
      hash += Get16(data);
      hash ^= hash << 16;
      hash ^= signedByte(data[2]) << 18;
      hash += hash >> 11;
      break;
    case 2:
      hash += Get16(data);
      hash ^= hash << 11;
      hash += hash >> 17;
      break;
    case 1:
      hash += signedByte(data[0]);
      hash ^= hash << 10;
      hash += hash >> 1;
      break;
    default:
      break;
  }
  hash ^= hash << 3;
  hash += hash >> 5;
  hash ^= hash << 4;
  hash += hash >> 17;
  hash ^= hash << 25;
  hash += hash >> 6;
  return hash;
}

void BlockFileElementsVisit(CacheFolder& folder, const CacheElementSink& sink) {
  BlockStore store(folder);
  if (!store.Open()) return;
  const auto table = store.Table();
  if (!table) return;

  // Every entry reachable from the table, each address once.
  std::vector<EntryRecord> parents;
  std::map<std::string, EntryRecord, std::less<>> childrenByKey;
  std::map<std::string, ChildList, std::less<>> childrenByParent;
  std::unordered_set<std::uint32_t> seen;
  for (std::uint32_t bucket = 0; bucket < store.TableLength() && seen.size() < kMaxEntriesWalked; ++bucket) {
    Addr addr{LoadU32(*table, 4ull * bucket)};
    for (std::size_t step = 0; addr.Initialized() && step < kMaxChainSteps; ++step) {
      if (seen.size() >= kMaxEntriesWalked || !seen.insert(addr.value).second) break;
      auto entry = store.Entry(addr);
      if (!entry) break;
      addr = entry->next;
      // A range child by its key: the browser sets the child flag only
      // later (seen on live caches), and no other key starts "Range_".
      const auto child = RangeChildKeyParse(entry->key);
      if (child) {
        childrenByParent[std::string(child->parentKey)].emplace_back(child->childIndex, *entry);
        childrenByKey.emplace(entry->key, std::move(*entry));
      } else {
        parents.push_back(std::move(*entry));
      }
    }
  }

  std::map<std::string, std::uint64_t, std::less<>> written;
  for (const CacheFileInfo& info : folder.List()) written[info.name] = info.lastWritten;
  const ChildFinder find = [&](std::string_view key) -> std::optional<EntryRecord> {
    const auto found = childrenByKey.find(key);
    if (found == childrenByKey.end()) return std::nullopt;
    return found->second;
  };
  for (const EntryRecord& parent : parents) {
    const auto walked = childrenByParent.find(parent.key);
    const ChildSources sources{find, walked == childrenByParent.end() ? nullptr : &walked->second};
    auto element = ElementAssemble(store, parent, sources);
    if (!element) continue;
    for (const BodyPiece& piece : element->pieces) {
      const auto time = written.find(piece.fileName);
      if (time != written.end()) element->lastWritten = std::max(element->lastWritten, time->second);
    }
    sink(std::move(*element));
  }
}

std::vector<CacheElement> BlockFileElementsRead(CacheFolder& folder) {
  std::vector<CacheElement> elements;
  BlockFileElementsVisit(folder, [&](CacheElement&& element) { elements.push_back(std::move(element)); });
  return elements;
}

std::optional<CacheElement> BlockFileElementRead(CacheFolder& folder, std::string_view key,
                                                 std::uint64_t rangeSignature) {
  BlockStore store(folder);
  if (!store.Open()) return std::nullopt;
  const auto entry = store.Find(key);
  if (!entry || (entry->flags & kChildEntry) != 0 || RangeChildKeyParse(entry->key)) return std::nullopt;
  const ChildFinder find = [&](std::string_view childKey) { return store.Find(childKey); };
  return ElementAssemble(store, *entry, ChildSources{find, nullptr, rangeSignature});
}
