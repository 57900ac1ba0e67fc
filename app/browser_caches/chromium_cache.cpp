#include "app/browser_caches/chromium_cache.h"

#include "app/browser_caches/cache_bytes.h"
#include "app/browser_caches/chromium_block_files.h"
#include "app/browser_caches/chromium_block_layout.h"
#include "app/browser_caches/chromium_simple_cache.h"

namespace {

// The simple cache's "index" is a stub holding the file header's magic; the
// real index lives in index-dir/the-real-index and is not needed to read
// entries.
constexpr std::uint64_t kSimpleIndexMagic = 0xfcfb6d1ba7725c30ull;

}  // namespace

std::optional<CacheStore> ChromiumStoreOf(CacheFolder& folder) {
  const auto index = folder.Open("index");
  if (!index) return std::nullopt;
  const auto head = ReadExact(*index, 0, 8, 8);
  if (!head) return std::nullopt;
  if (LoadU32(*head, 0) == block_layout::kIndexMagic) return CacheStore::ChromiumBlockFiles;
  if (LoadU64(*head, 0) == kSimpleIndexMagic) return CacheStore::ChromiumSimple;
  return std::nullopt;
}

void ChromiumCacheVisit(CacheFolder& folder, const CacheElementSink& sink) {
  switch (ChromiumStoreOf(folder).value_or(CacheStore::FirefoxCache2)) {
    case CacheStore::ChromiumBlockFiles:
      BlockFileElementsVisit(folder, sink);
      break;
    case CacheStore::ChromiumSimple:
      SimpleCacheElementsVisit(folder, sink);
      break;
    case CacheStore::FirefoxCache2:
      break;
  }
}

std::vector<CacheElement> ChromiumCacheRead(CacheFolder& folder) {
  std::vector<CacheElement> elements;
  ChromiumCacheVisit(folder, [&](CacheElement&& element) { elements.push_back(std::move(element)); });
  return elements;
}

std::optional<CacheElement> ChromiumElementRead(CacheFolder& folder, CacheStore store,
                                                std::string_view fileName, std::string_view key,
                                                std::uint64_t rangeSignature) {
  switch (store) {
    case CacheStore::ChromiumBlockFiles:
      return BlockFileElementRead(folder, key, rangeSignature);
    case CacheStore::ChromiumSimple: {
      const std::string_view entryName = SimpleCacheEntryNameOf(fileName);
      if (entryName.empty()) return std::nullopt;
      return SimpleCacheEntryRead(folder, entryName);
    }
    case CacheStore::FirefoxCache2:
      break;
  }
  return std::nullopt;
}
