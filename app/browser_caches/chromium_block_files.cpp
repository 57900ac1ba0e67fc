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
#include "app/browser_caches/chromium_block_store.h"
#include "app/browser_caches/http_headers.h"

namespace {

using namespace block_layout;
using block_store::BlockStore;
using block_store::EntryRecord;
using block_store::EntryStatus;
using block_store::Location;

constexpr std::uint32_t kSparseMagic = kIndexMagic;  // checked on real caches
constexpr std::uint64_t kSparseHeaderSize = 64;
constexpr std::uint64_t kChildSize = 1u << 20;
constexpr std::uint64_t kChildBlockSize = 1024;
// Caps on what outside numbers may make us read, allocate or walk.
constexpr std::uint64_t kMaxHeadersLength = 1u << 20;
constexpr std::uint64_t kMaxChildrenBitmap = 1u << 13;  // 65,536 children: 64 GiB
constexpr std::uint64_t kMaxChildren = kMaxChildrenBitmap * 8;
constexpr std::size_t kMaxEntriesWalked = 1u << 20;
constexpr std::size_t kMaxChainSteps = 1024;

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
// piece where they touch in both the element and the file.  False when a new
// piece would pass the element's cap.
bool PieceAdd(std::vector<BodyPiece>& pieces, std::size_t maxPieces, const Location& location,
              std::uint64_t childStart, std::uint64_t from, std::uint64_t to) {
  if (from >= to) return true;
  if (!pieces.empty()) {
    BodyPiece& last = pieces.back();
    if (last.fileName == location.fileName && last.elementOffset + last.length == childStart + from &&
        last.fileOffset + last.length == location.offset + from) {
      last.length += to - from;
      return true;
    }
  }
  if (pieces.size() >= maxPieces) return false;
  pieces.push_back({location.fileName, location.offset + from, childStart + from, to - from});
  return true;
}

enum class ChildPieces { Added, Damaged, Cut };

// The present bytes of one child, from its block bitmap (or, while the
// browser still has the child open and wrote no bitmap yet, all of stream 1
// on disk from the child's start).
ChildPieces ChildPiecesAdd(BlockStore& store, const EntryRecord& child, std::uint64_t childIndex,
                           std::size_t maxPieces, std::vector<BodyPiece>& pieces) {
  std::uint64_t onDisk = 0;
  const auto location = store.StreamLocation(child, 1, onDisk);
  if (!location) return child.dataSize[1] == 0 ? ChildPieces::Added : ChildPieces::Damaged;
  onDisk = std::min(onDisk, kChildSize);
  const std::uint64_t childStart = childIndex * kChildSize;
  const auto bitmapBytes = store.StreamBytes(child, 2, kSparseHeaderSize + kChildSize / kChildBlockSize / 8);
  if (!bitmapBytes) return ChildPieces::Damaged;
  if (bitmapBytes->empty())
    return PieceAdd(pieces, maxPieces, *location, childStart, 0, onDisk) ? ChildPieces::Added : ChildPieces::Cut;
  const auto header = SparseHeaderParse(*bitmapBytes);
  if (!header || header->signature != child.childSignature) return ChildPieces::Damaged;
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
    if (!PieceAdd(pieces, maxPieces, *location, childStart, from, to)) return ChildPieces::Cut;
  }
  return ChildPieces::Added;
}

// Children by their index, their keys let go (each carries the parent's).
using ChildList = std::vector<std::pair<std::uint64_t, EntryRecord>>;
// The children a walk met, by index: records the walk itself holds.
using WalkedChildren = std::vector<std::pair<std::uint64_t, const EntryRecord*>>;

void ChildKeep(ChildList& children, std::uint64_t index, EntryRecord child) {
  child.key.clear();
  child.key.shrink_to_fit();
  children.emplace_back(index, std::move(child));
}

// Children of the newest answer only, one per index: the signature most
// children share (an older answer's children may linger until evicted).
ChildList WalkedChildrenOfOneAnswer(const WalkedChildren& walked, std::uint64_t& signature) {
  std::map<std::uint64_t, std::size_t> counts;
  for (const auto& [index, child] : walked) ++counts[child->childSignature];
  signature = 0;
  std::size_t best = 0;
  for (const auto& [candidate, count] : counts) {
    if (count > best) signature = candidate, best = count;
  }
  std::map<std::uint64_t, const EntryRecord*> byIndex;
  for (const auto& [index, child] : walked) {
    if (child->childSignature == signature) byIndex.emplace(index, child);
  }
  ChildList children;
  for (const auto& [index, child] : byIndex) ChildKeep(children, index, *child);
  return children;
}

using ChildFinder = std::function<std::optional<EntryRecord>(std::string_view childKey)>;

// Where the children of an entry come from, best first.
struct ChildSources {
  const ChildFinder& find;
  const WalkedChildren* walked = nullptr;  // met by the index walk (full reads)
  std::uint64_t signature = 0;             // of the answer's child keys, when the caller knows it
};

// The children of a range answer.  The parent's list is written only when
// the browser closes the entry; until then the children are those the walk
// met, or those found by the keys a known signature gives, from child 0 to
// the first one missing (the media loader writes from where it starts).
// `listed` tells whether the parent's own list was there; no more than
// `maxChildren` are taken (`allFound` false when more were listed).
ChildList ChildrenFind(BlockStore& store, const EntryRecord& entry, const ChildSources& sources,
                       std::size_t maxChildren, std::uint64_t& signature, bool& listed, bool& allFound) {
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
      if (children.size() >= maxChildren) {
        allFound = false;
        break;
      }
      auto child = sources.find(RangeChildKeyMake(entry.key, signature, index));
      if (child) {
        ChildKeep(children, index, std::move(*child));
      } else {
        allFound = false;  // listed but gone or damaged
      }
    }
  } else if (sources.walked && !sources.walked->empty()) {
    children = WalkedChildrenOfOneAnswer(*sources.walked, signature);
  } else if (sources.signature != 0) {
    signature = sources.signature;
    for (std::uint64_t index = 0; index < std::min<std::uint64_t>(kMaxChildren, maxChildren); ++index) {
      auto child = sources.find(RangeChildKeyMake(entry.key, signature, index));
      if (!child) break;
      ChildKeep(children, index, std::move(*child));
    }
  }
  std::sort(children.begin(), children.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  return children;
}

// The element of a non-child entry.
std::optional<CacheElement> ElementAssemble(BlockStore& store, const EntryRecord& entry,
                                            const ChildSources& sources, const BlockFileBudget& budget) {
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
    children = ChildrenFind(store, entry, sources, budget.piecesPerElement, signature, listed, allFound);
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
    if (child.state != 0 || !child.rangeChild) continue;
    const ChildPieces added = ChildPiecesAdd(store, child, index, budget.piecesPerElement, element.pieces);
    if (added == ChildPieces::Cut) {
      // More holes than an element may have: what came before is kept, and
      // the element never counts as whole.
      finished = false;
      break;
    }
    if (added == ChildPieces::Damaged) {
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

void BlockFileElementsVisit(CacheFolder& folder, const CacheElementSink& sink, const BlockFileBudget& budget) {
  BlockStore store(folder);
  if (!store.Open()) return;
  store.LongKeysOncePerRead();
  const auto table = store.Table();
  if (!table) return;

  // Every entry reachable from the table, each address once, as far as the
  // walk's budget goes (what is held is counted: records and keys).
  std::vector<EntryRecord> parents;
  std::vector<EntryRecord> children;
  std::unordered_set<std::uint32_t> seen;
  std::uint64_t held = 0;
  bool spent = false;
  for (std::uint32_t bucket = 0; bucket < store.TableLength() && !spent && seen.size() < kMaxEntriesWalked;
       ++bucket) {
    Addr addr{LoadU32(*table, 4ull * bucket)};
    for (std::size_t step = 0; addr.Initialized() && step < kMaxChainSteps; ++step) {
      if (seen.size() >= kMaxEntriesWalked || !seen.insert(addr.value).second) break;
      EntryRecord entry;
      const EntryStatus status = store.Entry(addr, entry);
      if (status == EntryStatus::Damaged) break;
      addr = entry.next;
      if (status == EntryStatus::KeySkipped) continue;
      held += sizeof(EntryRecord) + entry.key.size();
      if (held > budget.walkBytes) {
        spent = true;
        break;
      }
      (entry.rangeChild ? children : parents).push_back(std::move(entry));
    }
  }

  // The children by key and by parent, as views of the records above.
  std::map<std::string_view, const EntryRecord*> childrenByKey;
  std::map<std::string_view, WalkedChildren> childrenByParent;
  for (const EntryRecord& child : children) {
    const auto parsed = RangeChildKeyParse(child.key);
    childrenByKey.emplace(child.key, &child);
    childrenByParent[parsed->parentKey].emplace_back(parsed->childIndex, &child);
  }

  std::map<std::string, std::uint64_t, std::less<>> written;
  for (const CacheFileInfo& info : folder.List()) written[info.name] = info.lastWritten;
  const ChildFinder find = [&](std::string_view key) -> std::optional<EntryRecord> {
    const auto found = childrenByKey.find(key);
    if (found == childrenByKey.end()) return std::nullopt;
    return *found->second;
  };
  for (const EntryRecord& parent : parents) {
    const auto walked = childrenByParent.find(parent.key);
    const ChildSources sources{find, walked == childrenByParent.end() ? nullptr : &walked->second};
    auto element = ElementAssemble(store, parent, sources, budget);
    if (!element) continue;
    for (const BodyPiece& piece : element->pieces) {
      const auto time = written.find(piece.fileName);
      if (time != written.end()) element->lastWritten = std::max(element->lastWritten, time->second);
    }
    sink(std::move(*element));
  }
}

std::vector<CacheElement> BlockFileElementsRead(CacheFolder& folder, const BlockFileBudget& budget) {
  std::vector<CacheElement> elements;
  BlockFileElementsVisit(
      folder, [&](CacheElement&& element) { elements.push_back(std::move(element)); }, budget);
  return elements;
}

std::optional<CacheElement> BlockFileElementRead(CacheFolder& folder, std::string_view key,
                                                 std::uint64_t rangeSignature, const BlockFileBudget& budget) {
  BlockStore store(folder);
  if (!store.Open()) return std::nullopt;
  const auto entry = store.Find(key, BlockFileKeyHash(key));
  if (!entry || (entry->flags & kChildEntry) != 0 || entry->rangeChild) return std::nullopt;
  const ChildFinder find = [&](std::string_view childKey) { return store.Find(childKey, BlockFileKeyHash(childKey)); };
  return ElementAssemble(store, *entry, ChildSources{find, nullptr, rangeSignature}, budget);
}
