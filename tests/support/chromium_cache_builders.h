// Hand-built Chromium caches: each layout feature of the two stores on its
// own, written as the browser's sources describe them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "app/browser_caches/cache_element.h"
#include "app/browser_caches/cache_folder_memory.h"

using ByteVector = std::vector<std::uint8_t>;

inline void PutU32(ByteVector& bytes, std::size_t at, std::uint32_t value) {
  if (bytes.size() < at + 4) bytes.resize(at + 4);
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void PutU64(ByteVector& bytes, std::size_t at, std::uint64_t value) {
  PutU32(bytes, at, static_cast<std::uint32_t>(value));
  PutU32(bytes, at + 4, static_cast<std::uint32_t>(value >> 32));
}

inline void Append(ByteVector& bytes, std::string_view text) {
  bytes.insert(bytes.end(), text.begin(), text.end());
}
inline void Append(ByteVector& bytes, const ByteVector& more) {
  bytes.insert(bytes.end(), more.begin(), more.end());
}

// Body bytes that tell every offset apart.
inline ByteVector Pattern(std::size_t length, std::uint32_t seed) {
  ByteVector bytes(length);
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

// An MP4 body: the pattern behind the first 12 bytes of an `ftyp` box.
inline ByteVector Mp4Head(std::size_t length, std::uint32_t seed) {
  ByteVector bytes = Pattern(length, seed);
  const char head[] =
      "\0\0\0\x20"
      "ftypisom";
  std::copy(head, head + 12, bytes.begin());
  return bytes;
}

// The simple cache's index file, as much of it as marks the folder as one.
inline ByteVector SimpleIndex() {
  ByteVector index;
  PutU64(index, 0, 0xfcfb6d1ba7725c30ull);
  PutU32(index, 8, 9);
  index.resize(24, 0);
  return index;
}

// What the readers give of an element's body from its start.
inline ByteVector BodyOf(CacheFolder& folder, const CacheElement& element) {
  ByteVector body(static_cast<std::size_t>(ContiguousLength(element)));
  CacheBodyReader reader(folder, element);
  body.resize(reader.Read(0, body.data(), body.size()));
  return body;
}

// The response info pickle as the current browser writes it.
// `flags` adds bits of the record's flags (1 << 12: truncated).
inline ByteVector ResponsePickle(std::string_view headerBlock, std::uint32_t flags = 0) {
  ByteVector payload;
  PutU32(payload, 0, 0x80000000u | flags | 3);  // version 3, extra flags follow
  PutU32(payload, 4, 4);                // the original response time is there
  PutU64(payload, 8, 1);
  PutU64(payload, 16, 2);
  PutU64(payload, 24, 3);
  PutU32(payload, 32, static_cast<std::uint32_t>(headerBlock.size()));
  Append(payload, headerBlock);
  while (payload.size() % 4 != 0) payload.push_back(0);
  ByteVector pickle;
  PutU32(pickle, 0, static_cast<std::uint32_t>(payload.size()));
  Append(pickle, payload);
  return pickle;
}

// "HTTP/1.1 200 OK\0Content-Type: ...\0...\0\0" from CRLF-free lines.
inline std::string HeaderBlock(std::initializer_list<std::string_view> lines) {
  std::string block;
  for (std::string_view line : lines) {
    block += line;
    block += '\0';
  }
  block += '\0';
  return block;
}

// ---- simple cache ----

inline ByteVector SimpleFileHeader(std::string_view key, std::uint32_t version) {
  ByteVector bytes;
  PutU64(bytes, 0, 0xfcfb6d1ba7725c30ull);
  PutU32(bytes, 8, version);
  PutU32(bytes, 12, static_cast<std::uint32_t>(key.size()));
  PutU32(bytes, 16, 0x12345678u);
  PutU32(bytes, 20, 0);
  Append(bytes, key);
  return bytes;
}

inline void SimpleEof(ByteVector& bytes, std::uint32_t flags, std::uint32_t streamSize) {
  const std::size_t at = bytes.size();
  PutU64(bytes, at, 0xf4fa6f45970d41d8ull);
  PutU32(bytes, at + 8, flags);
  PutU32(bytes, at + 12, 0);
  PutU32(bytes, at + 16, streamSize);
  PutU32(bytes, at + 20, 0);
}

// "_0": the body so far; with `pickle` the closing records follow.
inline ByteVector SimpleMainFile(std::string_view key, const ByteVector& body, const ByteVector* pickle,
                                 bool keySha256 = true) {
  ByteVector bytes = SimpleFileHeader(key, 5);
  Append(bytes, body);
  if (!pickle) return bytes;
  SimpleEof(bytes, 1, 0);
  Append(bytes, *pickle);
  if (keySha256) bytes.resize(bytes.size() + 32, 0xA5);
  SimpleEof(bytes, keySha256 ? 3 : 1, static_cast<std::uint32_t>(pickle->size()));
  return bytes;
}

struct SparseRange {
  std::uint64_t offset;
  ByteVector bytes;
};

inline ByteVector SimpleSparseFile(std::string_view key, const std::vector<SparseRange>& ranges) {
  ByteVector bytes = SimpleFileHeader(key, 9);
  for (const SparseRange& range : ranges) {
    const std::size_t at = bytes.size();
    PutU64(bytes, at, 0xeb97bf016553676bull);
    PutU64(bytes, at + 8, range.offset);
    PutU64(bytes, at + 16, range.bytes.size());
    PutU64(bytes, at + 24, 0);
    Append(bytes, range.bytes);
  }
  return bytes;
}

// ---- block files ----

// Writes index, data_0..3 and f_ files.  Streams up to 16 KiB go to blocks
// (data_1 / data_2 / data_3 by size), larger ones to external files.
class BlockCacheBuilder {
 public:
  static constexpr std::uint32_t kTableLength = 64;

  // A real cache's table has 65,536 buckets or more; the tests' small one
  // makes chains.
  explicit BlockCacheBuilder(std::uint32_t tableLength = kTableLength) : tableLength_(tableLength) {
    for (int i = 0; i < 4; ++i) {
      ByteVector& file = data_[i];
      file.resize(8192, 0);
      PutU32(file, 0, 0xC104CAC3u);
      PutU32(file, 4, 0x30000);
      PutU32(file, 8, static_cast<std::uint32_t>(i));
      PutU32(file, 12, kBlockSizes[i]);
      PutU32(file, 20, 0x4000);  // room for as many blocks as the tests use
    }
    table_.assign(tableLength_, 0);
  }

  // A record of `bytes` in blocks of data_N (1-4 blocks) or in a new f_
  // file; returns its address.
  std::uint32_t Store(const ByteVector& bytes, bool forceExternal = false) {
    if (forceExternal || bytes.size() > 4 * 4096) {
      const std::uint32_t number = ++externalCount_;
      char name[16];
      std::snprintf(name, sizeof name, "f_%06x", number);
      external_[name] = bytes;
      return 0x80000000u | number;
    }
    int file = 1;
    if (bytes.size() > 4 * 256) file = 2;
    if (bytes.size() > 4 * 1024) file = 3;
    return BlocksPut(file, bytes, 0);
  }

  std::uint32_t Rankings(bool dirty) {
    ByteVector node(36, 0);
    PutU32(node, 28, dirty ? 7 : 0);
    return BlocksPut(0, node, 0);
  }

  struct Entry {
    std::string key;
    std::uint32_t flags = 0;
    const ByteVector* streams[3] = {};
    bool dirty = false;
    bool longKeyElsewhere = false;
    bool forceExternalBody = false;
  };

  // Adds an entry to data_1 and to the end of its bucket's chain; returns
  // its address.
  std::uint32_t Add(const Entry& entry, std::uint32_t hash) {
    ByteVector record(256, 0);
    PutU32(record, 0, hash);
    const std::uint32_t rankings = Rankings(entry.dirty);
    PutU32(record, 8, rankings);
    PutU32(record, 32, static_cast<std::uint32_t>(entry.key.size()));
    if (entry.longKeyElsewhere) {
      ByteVector key(entry.key.begin(), entry.key.end());
      PutU32(record, 36, Store(key));
    } else {
      // Keys up to 160 bytes fit one block; longer ones take more blocks.
      record.resize(96 + entry.key.size() + 1 <= 256 ? 256 : ((96 + entry.key.size() + 1 + 255) / 256) * 256,
                    0);
      std::copy(entry.key.begin(), entry.key.end(), record.begin() + 96);
    }
    for (int i = 0; i < 3; ++i) {
      if (!entry.streams[i] || entry.streams[i]->empty()) continue;
      PutU32(record, 40 + 4 * i, static_cast<std::uint32_t>(entry.streams[i]->size()));
      PutU32(record, 56 + 4 * i, Store(*entry.streams[i], i == 1 && entry.forceExternalBody));
    }
    PutU32(record, 72, entry.flags);
    const std::uint32_t addr = BlocksPut(1, record, 0);
    ranked_.push_back({rankings, addr});
    // Chain: the bucket points at the first entry, each entry at the next.
    std::uint32_t* slot = &table_[hash % tableLength_];
    while (*slot != 0) slot = &nextOf_[*slot];
    *slot = addr;
    nextOf_[addr] = 0;
    return addr;
  }

  // Writes the files; entries' next fields are filled in here, and the
  // rankings list 0 (newest first, the oldest's next pointing at itself,
  // each entry used a millisecond after the one added before it).
  void Build(MemoryCacheFolder& folder) {
    for (const auto& [addr, next] : nextOf_) PutU32(data_[1], EntryOffset(addr) + 4, next);
    for (std::size_t i = 0; i < ranked_.size(); ++i) {
      const std::size_t at = 8192 + (ranked_[i].node & 0xFFFF) * 36;
      PutU64(data_[0], at, kFirstUse + 1000 * i);
      PutU32(data_[0], at + 16, i == 0 ? ranked_[i].node : ranked_[i - 1].node);
      PutU32(data_[0], at + 20, i + 1 == ranked_.size() ? ranked_[i].node : ranked_[i + 1].node);
      PutU32(data_[0], at + 24, ranked_[i].entry);
    }
    ByteVector index(368, 0);
    PutU32(index, 0, 0xC103CAC3u);
    PutU32(index, 4, 0x30000);
    PutU32(index, 8, static_cast<std::uint32_t>(ranked_.size()));
    PutU32(index, 28, tableLength_);
    if (!ranked_.empty()) {
      PutU32(index, 288, ranked_.back().node);
      PutU32(index, 308, ranked_.front().node);
    }
    for (std::uint32_t slot : table_) PutU32(index, index.size(), slot);
    folder.Put("index", index);
    for (int i = 0; i < 4; ++i) folder.Put("data_" + std::to_string(i), data_[i]);
    for (const auto& [name, bytes] : external_) folder.Put(name, bytes);
  }

  ByteVector& Data(int file) { return data_[file]; }
  static std::size_t EntryOffset(std::uint32_t addr) { return 8192 + (addr & 0xFFFF) * 256; }

 private:
  static constexpr std::uint32_t kBlockSizes[4] = {36, 256, 1024, 4096};
  static constexpr std::uint32_t kTypes[4] = {1, 2, 3, 4};

  std::uint32_t BlocksPut(int file, const ByteVector& bytes, int) {
    const std::uint32_t size = kBlockSizes[file];
    const std::uint32_t count = file == 0 ? 1 : static_cast<std::uint32_t>((bytes.size() + size - 1) / size);
    std::uint32_t& next = nextBlock_[file];
    // Records stay inside a group of four blocks, as the browser keeps them.
    if (file != 0 && (next & 3) + count > 4) next = (next + 3) & ~3u;
    const std::uint32_t start = next;
    next += count;
    ByteVector& data = data_[file];
    data.resize(8192 + next * size, 0);
    std::copy(bytes.begin(), bytes.end(), data.begin() + 8192 + start * size);
    return 0x80000000u | kTypes[file] << 28 | (count - 1) << 24 | static_cast<std::uint32_t>(file) << 16 |
           start;
  }

  static constexpr std::uint64_t kFirstUse = 13350000000000000ull;  // 2024, in microseconds since 1601
  struct Ranked {
    std::uint32_t node;
    std::uint32_t entry;
  };

  std::uint32_t tableLength_;
  std::vector<Ranked> ranked_;
  ByteVector data_[4];
  std::uint32_t nextBlock_[4] = {};
  std::uint32_t externalCount_ = 0;
  std::map<std::string, ByteVector> external_;
  std::vector<std::uint32_t> table_;
  std::map<std::uint32_t, std::uint32_t> nextOf_;
};

// A parent's or child's stream 2: the 64-byte sparse header, then a bitmap.
inline ByteVector SparseStream(std::uint64_t signature, std::int32_t lastBlock, std::int32_t lastBlockLength,
                               const ByteVector& bitmap) {
  ByteVector bytes(64, 0);
  PutU64(bytes, 0, signature);
  PutU32(bytes, 8, 0xC103CAC3u);
  PutU32(bytes, 16, static_cast<std::uint32_t>(lastBlock));
  PutU32(bytes, 20, static_cast<std::uint32_t>(lastBlockLength));
  Append(bytes, bitmap);
  return bytes;
}

// A bitmap with bits [from, to) set, `bits` long.
inline ByteVector Bits(std::size_t bits, std::initializer_list<std::pair<std::size_t, std::size_t>> runs) {
  ByteVector bitmap(bits / 8, 0);
  for (const auto& [from, to] : runs) {
    for (std::size_t bit = from; bit < to; ++bit)
      bitmap[bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
  }
  return bitmap;
}
