// The files of one read of a block-file cache, for its two readers (the
// elements, chromium_block_files.cpp, and the entries new since a mark,
// chromium_block_news.cpp): addresses checked against the files they name,
// entry records parsed, and a few files open at a time.  A page that fetched
// thousands of bodies over 16 KiB names thousands of "f_" files; holding them
// all until the read ends would keep their names from the browser (a deleted
// name stays pending while a handle is open), so the least recently used
// ones are closed as the read moves on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/browser_caches/cache_files.h"
#include "app/browser_caches/chromium_block_layout.h"

namespace block_store {

// Files open at once besides the index: block files (data_0..3 in a real
// cache) and "f_" files, each kept apart so that a walk through many "f_"
// files does not close and open data_1 again for every entry.
constexpr std::size_t kMaxOpenBlockFiles = 6;
constexpr std::size_t kMaxOpenExternalFiles = 2;
constexpr std::size_t kMaxOpenFiles = 1 + kMaxOpenBlockFiles + kMaxOpenExternalFiles;
// Keys longer than this are not read (the watch followed only such keys
// already; nothing a page plays has a longer one).
constexpr std::uint64_t kMaxKeyLength = 8192;

// Where a record or stream lies: a file, an offset and the room there.  It
// holds its file open for as long as it is kept, whatever the store closes.
struct Location {
  std::string fileName;
  std::shared_ptr<CacheFile> file;
  std::uint64_t offset = 0;
  std::uint64_t room = 0;  // bytes available from `offset`
  bool external = false;
};

struct EntryRecord {
  block_layout::Addr self;
  std::uint32_t hash = 0;
  block_layout::Addr next;
  block_layout::Addr rankings;
  std::uint32_t state = 0;
  std::uint32_t flags = 0;
  std::string key;
  std::uint32_t dataSize[block_layout::kStreams] = {};
  block_layout::Addr dataAddr[block_layout::kStreams];
  // A range child: the signature its key carries (kept when the key itself
  // is let go, so that many children do not hold many copies of the parent's key).
  bool rangeChild = false;
  std::uint64_t childSignature = 0;
};

enum class EntryStatus {
  Read,
  Damaged,     // not an entry record, or one pointing outside the files
  KeySkipped,  // sound, but its key is over kMaxKeyLength or another entry's long-key record
};

class BlockStore {
 public:
  explicit BlockStore(CacheFolder& folder) : folder_(folder) {}

  // Opens and checks the index; false when the folder holds no usable one.
  bool Open();
  std::uint32_t TableLength() const { return tableLength_; }
  std::optional<std::vector<std::uint8_t>> Table();
  block_layout::Addr Bucket(std::uint32_t hash);
  // The index header as it is now (kIndexHeaderSize bytes).
  std::optional<std::vector<std::uint8_t>> IndexHeader();

  // Checks an address against the file it names; empty when it is not valid.
  std::optional<Location> Locate(block_layout::Addr addr);
  // The entry record at `addr`.  `entry.next` is filled whenever the record
  // could be read at all (KeySkipped too), so a chain walk goes on past it.
  EntryStatus Entry(block_layout::Addr addr, EntryRecord& entry);
  // The entry with this key and hash (BlockFileKeyHash), through its bucket's chain.
  std::optional<EntryRecord> Find(std::string_view key, std::uint32_t hash);
  // A small stream (headers, sparse bitmaps) read whole.
  std::optional<std::vector<std::uint8_t>> StreamBytes(const EntryRecord& entry, int stream,
                                                       std::uint64_t cap);
  // Where a stream's bytes are and how many of them are on disk (an
  // external file may still be shorter than the size the entry records).
  std::optional<Location> StreamLocation(const EntryRecord& entry, int stream, std::uint64_t& onDisk);
  // The browser has closed the entry: its rankings node is not dirty.
  bool Closed(const EntryRecord& entry);

  // Long-key records are read once per store: a crafted folder may point
  // any number of entries at one record of 8 KiB.
  void LongKeysOncePerRead() { longKeysOnce_ = true; }
  // Files open now (for the tests of the bound).
  std::size_t OpenFiles() const { return blocks_.size() + external_.size() + (index_ ? 1 : 0); }

 private:
  struct BlockHeader {
    std::uint64_t maxBlocks = 0;
    std::uint64_t blockSize = 0;
  };
  // The file by name: one of the few kept open, or opened again.
  using FileList = std::deque<std::pair<std::string, std::shared_ptr<CacheFile>>>;
  std::shared_ptr<CacheFile> FileOf(const std::string& name, FileList& files, std::size_t limit);
  // The header of a data_N file, read once per store; null when unusable.
  const BlockHeader* BlockHeaderOf(const std::string& name, const std::shared_ptr<CacheFile>& file);

  CacheFolder& folder_;
  std::unique_ptr<CacheFile> index_;
  std::uint32_t tableLength_ = 0;
  // Most recently used at the back.
  FileList blocks_;
  FileList external_;
  std::map<std::string, BlockHeader, std::less<>> blockHeaders_;
  bool longKeysOnce_ = false;
  std::set<std::uint32_t> longKeysRead_;
};

}  // namespace block_store
