// The scan's view of a folder: only the files of its one listing open, by
// their listed spelling whatever the case asked for, and the listing stays
// as it was while the folder changes.
#include <gtest/gtest.h>

#include "app/browser_caches/cache_folder_memory.h"
#include "app/command_line/listed_cache_folder.h"

TEST(ListedCacheFolder, OpensOnlyWhatTheListingHeld) {
  auto memory = std::make_unique<MemoryCacheFolder>();
  MemoryCacheFolder& files = *memory;
  files.Put("index", {1, 2, 3}, 7);
  files.Put("0123456789abcdef_0", {4, 5});
  files.Put("F_00000A", {6});
  ListedCacheFolder listed(std::move(memory));
  files.Put("0123456789abcdef_s", {9});  // written after the listing
  files.Remove("index");                 // deleted after the listing

  const std::vector<CacheFileInfo> listing = listed.List();
  ASSERT_EQ(listing.size(), 3u);
  EXPECT_EQ(listed.Path(), "memory");
  EXPECT_EQ(listed.Open("0123456789abcdef_s"), nullptr);
  EXPECT_EQ(listed.Open("missing"), nullptr);
  // Listed but gone meanwhile: the folder's own answer.
  EXPECT_EQ(listed.Open("index"), nullptr);
  const std::size_t opened = files.OpenCount();
  auto file = listed.Open("0123456789ABCDEF_0");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->Size(), 2u);
  auto upper = listed.Open("f_00000a");
  ASSERT_NE(upper, nullptr);
  std::uint8_t byte = 0;
  EXPECT_EQ(upper->ReadAt(0, &byte, 1), 1u);
  EXPECT_EQ(byte, 6);
  EXPECT_EQ(files.OpenCount(), opened + 2);
}
