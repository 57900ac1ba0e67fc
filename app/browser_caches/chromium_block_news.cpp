#include "app/browser_caches/chromium_block_news.h"

#include <algorithm>
#include <set>
#include <unordered_set>

#include "app/browser_caches/cache_bytes.h"
#include "app/browser_caches/cache_key.h"
#include "app/browser_caches/chromium_block_layout.h"
#include "app/browser_caches/chromium_block_store.h"

namespace {

using namespace block_layout;

// Index header: the LRU data at 256, its list heads at 288 (net/disk_cache/
// blockfile/disk_format.h).  Lists 0-2 hold live entries (new ones go to 0;
// with the newer eviction a used one moves to 1 or 2), 3 is unused and 4
// holds deleted ones.
constexpr std::uint64_t kListHeadsAt = 288;
constexpr int kLiveLists = 3;
// Rankings node: time of last use at 0, next (older) node at 16, the entry at 24.
constexpr std::uint64_t kRankingsLastUsedAt = 0;
constexpr std::uint64_t kRankingsNextAt = 16;
constexpr std::uint64_t kRankingsContentsAt = 24;

}  // namespace

BlockFileNews BlockFileNewsRead(CacheFolder& folder, BlockFileNewsMark& mark, bool fromStart,
                                std::size_t maxEntries) {
  BlockFileNews news;
  block_store::BlockStore store(folder);
  if (!store.Open()) return news;
  const auto header = store.IndexHeader();
  if (!header) return news;
  news.readable = true;
  if (mark.set && *header == mark.header) return news;
  news.changed = true;
  const bool walk = mark.set || fromStart;
  const std::uint64_t since = mark.set ? mark.newestUse : 0;
  const std::uint32_t sinceNode = mark.set ? mark.newestNode : 0;
  mark.set = true;
  mark.header = *header;

  std::unordered_set<std::uint32_t> seen;
  std::set<std::string> keys;
  for (int list = 0; list < kLiveLists; ++list) {
    Addr addr{LoadU32(*header, kListHeadsAt + 4 * list)};
    while (addr.Initialized() && addr.Type() == kRankings && seen.insert(addr.value).second) {
      const auto location = store.Locate(addr);
      if (!location) break;
      const auto node = ReadExact(*location->file, location->offset, kRankingsSize, kRankingsSize);
      if (!node) break;
      const std::uint64_t lastUsed = LoadU64(*node, kRankingsLastUsedAt);
      if (lastUsed > mark.newestUse || mark.newestNode == 0) {
        mark.newestUse = std::max(mark.newestUse, lastUsed);
        mark.newestNode = addr.value;
      }
      // Without a walk only the newest time counts: the heads give it.  The
      // last look's newest entry, unchanged, ends the walk too (two entries
      // may share a microsecond: only that one is known read).
      if (!walk || lastUsed < since || (lastUsed == since && addr.value == sinceNode)) break;
      if (news.entries.size() >= maxEntries) {
        news.cut = true;
        break;
      }
      block_store::EntryRecord entry;
      if (store.Entry(Addr{LoadU32(*node, kRankingsContentsAt)}, entry) == block_store::EntryStatus::Read &&
          entry.state == 0) {
        BlockFileOwner owner{entry.key, 0};
        if (const auto child = RangeChildKeyParse(entry.key))
          owner = {std::string(child->parentKey), child->signature};
        if (keys.insert(owner.key).second) news.entries.push_back(std::move(owner));
      }
      addr = Addr{LoadU32(*node, kRankingsNextAt)};
    }
  }
  return news;
}
