// A simple-cache folder: entries' "_0" and "_s" files.
#include <string_view>

#include "app/browser_caches/chromium_cache.h"
#include "app/browser_caches/chromium_simple_cache.h"
#include "tests/fuzz/cache_folder_unpack.h"

namespace {

constexpr std::string_view kNames[] = {"index", "0123456789abcdef_0", "0123456789abcdef_s",
                                       "00000000000000ff_0", "00000000000000ff_s"};

}  // namespace

void FuzzSimpleCache(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  MemoryCacheFolder folder;
  FolderUnpack(input, kNames, folder);
  const auto elements = SimpleCacheElementsRead(folder);
  FUZZ_CHECK(elements.size() <= 2);
  for (const CacheElement& element : elements) {
    FUZZ_CHECK(element.store == CacheStore::ChromiumSimple);
    FUZZ_CHECK(!element.key.empty());
    ElementCheck(folder, element);
  }
}
