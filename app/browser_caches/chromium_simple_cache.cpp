// Layout (net/disk_cache/simple/simple_entry_format.h), all little-endian:
//   file header (24 bytes): magic, version, key length, key hash, padding;
//   the key, without a NUL;
//   "_0": stream 1 (the body) from 24 + key length; once the entry is
//         closed, an end record for it (24 bytes: magic, flags, CRC, size),
//         stream 0 (the response info pickle), the key's SHA-256 when the
//         last record's flags say so, and an end record for stream 0;
//   "_s": records of a 32-byte range header (magic, offset, length, CRC)
//         followed by that many bytes, in write order.
#include "app/browser_caches/chromium_simple_cache.h"

#include <algorithm>
#include <map>
#include <span>
#include <string>

#include "app/browser_caches/cache_bytes.h"
#include "app/browser_caches/cache_key.h"
#include "app/browser_caches/http_headers.h"

namespace {

constexpr std::uint64_t kInitialMagic = 0xfcfb6d1ba7725c30ull;
constexpr std::uint64_t kFinalMagic = 0xf4fa6f45970d41d8ull;
constexpr std::uint64_t kSparseRangeMagic = 0xeb97bf016553676bull;
constexpr std::uint64_t kHeaderSize = 24;
constexpr std::uint64_t kEofSize = 24;
constexpr std::uint64_t kSparseRangeHeaderSize = 32;
constexpr std::uint32_t kEofHasKeySha256 = 2;
constexpr std::uint64_t kKeySha256Size = 32;
// Caps on what outside lengths may make us allocate.
constexpr std::uint64_t kMaxKeyLength = 1u << 20;
constexpr std::uint64_t kMaxStream0Length = 1u << 20;
// A sparse file holds at most this many ranges worth reading (64 KiB writes
// of a 4 GiB resource); past it the element is given up.
constexpr std::size_t kMaxSparseRanges = 1u << 16;
// First and last reads of an entry file: enough for the header and a long
// address as key (a small entry is read whole), and for both end records
// around the stored response of most answers.  Under Wine each read costs
// several microseconds whatever its size, so a few large reads beat many
// exact ones.
constexpr std::uint64_t kHeadRead = 8192;
constexpr std::uint64_t kTailRead = 8192;

struct EntryFile {
  std::unique_ptr<CacheFile> file;
  std::string name;
  std::uint64_t size = 0;
  std::string key;
  std::uint64_t dataStart = 0;     // 24 + key length
  std::vector<std::uint8_t> head;  // the file's first bytes as read at the open
};

// Opens "<entry><suffix>" and checks its header and key.
std::optional<EntryFile> EntryFileOpen(CacheFolder& folder, std::string_view entryName,
                                       std::string_view suffix) {
  EntryFile entry;
  entry.name = std::string(entryName) + std::string(suffix);
  entry.file = folder.Open(entry.name);
  if (!entry.file) return std::nullopt;
  entry.size = entry.file->Size();
  // The header and, but for a very long key, the key in one read.
  std::vector<std::uint8_t>& head = entry.head;
  head.resize(static_cast<std::size_t>(std::min(entry.size, kHeadRead)));
  head.resize(entry.file->ReadAt(0, head.data(), head.size()));
  if (head.size() < kHeaderSize || LoadU64(head, 0) != kInitialMagic) return std::nullopt;
  const std::uint64_t keyLength = LoadU32(head, 12);
  if (keyLength == 0 || keyLength > entry.size - kHeaderSize) return std::nullopt;
  if (kHeaderSize + keyLength <= head.size()) {
    entry.key.assign(head.begin() + kHeaderSize,
                     head.begin() + static_cast<std::ptrdiff_t>(kHeaderSize + keyLength));
  } else {
    const auto key = ReadExact(*entry.file, kHeaderSize, keyLength, kMaxKeyLength);
    if (!key) return std::nullopt;
    entry.key.assign(key->begin(), key->end());
  }
  entry.dataStart = kHeaderSize + keyLength;
  return entry;
}

// Reads the closed layout of "_0": the body's length and the headers.  Empty
// when the file does not end in a valid end record (still being written).
struct ClosedStreams {
  std::uint64_t bodyLength = 0;
  std::optional<HttpResponseSummary> headers;
};

std::optional<ClosedStreams> ClosedStreamsRead(EntryFile& entry) {
  if (entry.size < entry.dataStart + 2 * kEofSize) return std::nullopt;
  // Both end records and stream 0 between them are, but for long response
  // headers, within the file's last few KiB: one read, and a further one
  // only for what lies before it.
  // A small file was read whole at its open.
  std::uint64_t tailStart = 0;
  std::optional<std::vector<std::uint8_t>> tailRead;
  std::span<const std::uint8_t> tail = entry.head;
  if (entry.head.size() != entry.size) {
    tailStart = entry.size - std::min(entry.size - entry.dataStart, kTailRead);
    tailRead = ReadExact(*entry.file, tailStart, entry.size - tailStart, kTailRead);
    if (!tailRead) return std::nullopt;
    tail = *tailRead;
  }
  const auto bytesAt = [&](std::uint64_t offset, std::uint64_t count,
                           std::uint64_t cap) -> std::optional<std::vector<std::uint8_t>> {
    if (count > cap) return std::nullopt;
    if (offset < tailStart) return ReadExact(*entry.file, offset, count, cap);
    const auto from = tail.begin() + static_cast<std::ptrdiff_t>(offset - tailStart);
    return std::vector<std::uint8_t>(from, from + static_cast<std::ptrdiff_t>(count));
  };
  const auto last = bytesAt(entry.size - kEofSize, kEofSize, kEofSize);
  if (!last || LoadU64(*last, 0) != kFinalMagic) return std::nullopt;
  const std::uint32_t flags = LoadU32(*last, 8);
  const std::uint64_t stream0Length = LoadU32(*last, 16);
  const std::uint64_t sha = (flags & kEofHasKeySha256) ? kKeySha256Size : 0;
  const std::uint64_t trailer = kEofSize + sha + stream0Length + kEofSize;
  if (trailer > entry.size - entry.dataStart) return std::nullopt;
  const std::uint64_t stream0Start = entry.size - kEofSize - sha - stream0Length;
  const auto bodyEnd = bytesAt(stream0Start - kEofSize, kEofSize, kEofSize);
  if (!bodyEnd || LoadU64(*bodyEnd, 0) != kFinalMagic) return std::nullopt;
  ClosedStreams streams;
  streams.bodyLength = stream0Start - kEofSize - entry.dataStart;
  if (const auto pickle = bytesAt(stream0Start, stream0Length, kMaxStream0Length)) {
    streams.headers = ChromiumResponseInfoParse(*pickle);
  }
  return streams;
}

// The ranges of "_s" as pieces, sorted and without overlaps.  Empty optional
// when the file is damaged beyond its first records or holds too many.
std::optional<std::vector<BodyPiece>> SparseRangesRead(EntryFile& entry) {
  std::vector<BodyPiece> pieces;
  std::uint64_t at = entry.dataStart;
  while (entry.size - at >= kSparseRangeHeaderSize) {
    const auto header = ReadExact(*entry.file, at, kSparseRangeHeaderSize, kSparseRangeHeaderSize);
    if (!header || LoadU64(*header, 0) != kSparseRangeMagic) break;
    const std::uint64_t offset = LoadU64(*header, 8);
    const std::uint64_t length = LoadU64(*header, 16);
    const std::uint64_t dataAt = at + kSparseRangeHeaderSize;
    // Offsets and lengths are signed in the browser; a negative one is damage.
    if (offset >> 62 || length >> 62) break;
    // A record still being written: take what is on disk of it.
    const std::uint64_t onDisk = std::min(length, entry.size - dataAt);
    if (onDisk != 0) pieces.push_back({entry.name, dataAt, offset, onDisk});
    if (pieces.size() > kMaxSparseRanges) return std::nullopt;
    if (onDisk < length) break;
    at = dataAt + length;
  }
  std::sort(pieces.begin(), pieces.end(),
            [](const BodyPiece& a, const BodyPiece& b) { return a.elementOffset < b.elementOffset; });
  // The browser writes over a range in place, so ranges do not overlap; if a
  // damaged file says otherwise, the first range wins.
  std::vector<BodyPiece> merged;
  std::uint64_t end = 0;
  for (BodyPiece piece : pieces) {
    if (piece.elementOffset < end) {
      const std::uint64_t cut = end - piece.elementOffset;
      if (cut >= piece.length) continue;
      piece.elementOffset += cut;
      piece.fileOffset += cut;
      piece.length -= cut;
    }
    end = piece.elementOffset + piece.length;
    merged.push_back(piece);
  }
  return merged;
}

void HeadersApply(const HttpResponseSummary& headers, CacheElement& element) {
  element.httpStatus = headers.status;
  element.contentType = headers.contentType;
  element.contentEncoding = headers.contentEncoding;
  element.fullLength = HttpFullLength(headers);
  element.truncated = headers.truncated;
}

bool IsHex(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

}  // namespace

std::string_view SimpleCacheEntryNameOf(std::string_view fileName) {
  if (fileName.size() != 18 || fileName[16] != '_') return {};
  const char suffix = fileName[17];
  if (suffix != '0' && suffix != '1' && suffix != 's') return {};
  const std::string_view name = fileName.substr(0, 16);
  return IsHex(name) ? name : std::string_view();
}

std::optional<CacheElement> SimpleCacheEntryRead(CacheFolder& folder, std::string_view entryName) {
  auto main = EntryFileOpen(folder, entryName, "_0");
  auto sparse = EntryFileOpen(folder, entryName, "_s");
  if (!main && !sparse) return std::nullopt;
  // Both files name the same key; a mismatch means one was replaced midway.
  if (main && sparse && main->key != sparse->key) sparse.reset();

  CacheElement element;
  element.store = CacheStore::ChromiumSimple;
  element.key = main ? main->key : sparse->key;
  element.id = element.key;
  element.webAddress = CacheKeyAddress(element.key);

  std::optional<ClosedStreams> closed;
  if (main) closed = ClosedStreamsRead(*main);
  if (closed) {
    element.finished = true;
    if (closed->headers) HeadersApply(*closed->headers, element);
  }
  if (sparse) {
    auto pieces = SparseRangesRead(*sparse);
    if (!pieces) return std::nullopt;
    element.pieces = std::move(*pieces);
  }
  if (element.pieces.empty() && main) {
    // The body of "_0": up to its end record once closed, else all that
    // follows the key so far.
    const std::uint64_t length = closed ? closed->bodyLength : main->size - main->dataStart;
    if (length != 0) element.pieces.push_back({main->name, main->dataStart, 0, length});
  }
  return element;
}

void SimpleCacheElementsVisit(CacheFolder& folder, const CacheElementSink& sink) {
  // One element per entry name, with the newest write time of its files.
  std::map<std::string, std::uint64_t, std::less<>> entries;
  for (const CacheFileInfo& info : folder.List()) {
    const std::string_view entryName = SimpleCacheEntryNameOf(info.name);
    if (entryName.empty()) continue;
    std::uint64_t& newest = entries[std::string(entryName)];
    newest = std::max(newest, info.lastWritten);
  }
  for (const auto& [entryName, lastWritten] : entries) {
    auto element = SimpleCacheEntryRead(folder, entryName);
    if (!element) continue;
    element->lastWritten = lastWritten;
    sink(std::move(*element));
  }
}

std::vector<CacheElement> SimpleCacheElementsRead(CacheFolder& folder) {
  std::vector<CacheElement> elements;
  SimpleCacheElementsVisit(folder, [&](CacheElement&& element) { elements.push_back(std::move(element)); });
  return elements;
}
