// A block-file cache folder: index, data_0..3 and external files.
#include <string_view>

#include "app/browser_caches/chromium_block_files.h"
#include "app/browser_caches/chromium_block_owner.h"
#include "app/browser_caches/chromium_cache.h"
#include "tests/fuzz/cache_folder_unpack.h"

namespace {

constexpr std::string_view kNames[] = {"index",    "data_0",   "data_1",   "data_2",   "data_3",  "f_000001",
                                       "f_000002", "f_000003", "f_000004", "f_000005", "f_000006"};

}  // namespace

void FuzzBlockFiles(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  MemoryCacheFolder folder;
  FolderUnpack(input, kNames, folder);
  // Owners found by the pass over data_1 are keys of records in it: short
  // enough to lie in one record.
  for (const auto& [file, owner] :
       BlockFileOwnersFind(folder, {"f_000001", "f_000002", "f_000006", "f_00000g"})) {
    FUZZ_CHECK(file != "f_00000g");
    FUZZ_CHECK(owner.key.size() <= 1024);
    // Read as the watcher reads it: the children by the signature the
    // file's record gave, where the parent lists none.
    const auto element = BlockFileElementRead(folder, owner.key, owner.rangeSignature);
    if (element) {
      FUZZ_CHECK(element->key == owner.key);
      ElementCheck(folder, *element);
    }
  }
  const auto elements = BlockFileElementsRead(folder);
  for (const CacheElement& element : elements) {
    FUZZ_CHECK(element.store == CacheStore::ChromiumBlockFiles);
    ElementCheck(folder, element);
    // Found again by its key alone, it is the same element or (when its
    // bucket is damaged) none; either way within bounds.
    const auto again =
        ChromiumElementRead(folder, CacheStore::ChromiumBlockFiles, "", element.key, element.rangeSignature);
    if (again) {
      FUZZ_CHECK(again->key == element.key);
      ElementCheck(folder, *again);
    }
  }
}
