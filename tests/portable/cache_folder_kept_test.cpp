// One pass's view of a folder: a file opened again while someone holds it,
// or among the last few opened, is the same open file; files fall out of
// the last few in order of use, and every file is let go by the time the
// folder goes.
#include <gtest/gtest.h>

#include "app/browser_caches/cache_folder_kept.h"
#include "app/browser_caches/cache_folder_memory.h"

namespace {

std::uint8_t FirstByte(CacheFile& file) {
  std::uint8_t byte = 0;
  EXPECT_EQ(file.ReadAt(0, &byte, 1), 1u);
  return byte;
}

}  // namespace

TEST(KeptOpenCacheFolder, OpensAgainOnlyWhatFellOutOfTheLastFew) {
  MemoryCacheFolder files("cache2/entries");
  files.Put("a", {1, 10}, 5);
  files.Put("b", {2});
  files.Put("c", {3});
  {
    KeptOpenCacheFolder kept(files, 2);
    EXPECT_EQ(kept.Path(), "cache2/entries");
    EXPECT_EQ(kept.List().size(), 3u);
    EXPECT_EQ(FirstByte(*kept.Open("a")), 1);
    EXPECT_EQ(FirstByte(*kept.Open("a")), 1);
    EXPECT_EQ(files.OpenCount(), 1u);
    EXPECT_EQ(FirstByte(*kept.Open("b")), 2);
    // "a" was used before "b": "c" pushes it out, so it opens again.
    EXPECT_EQ(FirstByte(*kept.Open("c")), 3);
    EXPECT_EQ(files.OpenNow(), 2u);
    EXPECT_EQ(FirstByte(*kept.Open("b")), 2);
    EXPECT_EQ(files.OpenCount(), 3u);
    EXPECT_EQ(FirstByte(*kept.Open("a")), 1);
    EXPECT_EQ(files.OpenCount(), 4u);
    // Now "c" is out and "b" and "a" are in.
    EXPECT_EQ(FirstByte(*kept.Open("b")), 2);
    EXPECT_EQ(FirstByte(*kept.Open("c")), 3);
    EXPECT_EQ(files.OpenCount(), 5u);
    EXPECT_EQ(files.OpenNow(), 2u);
  }
  EXPECT_EQ(files.OpenNow(), 0u);
}

TEST(KeptOpenCacheFolder, FileHeldElsewhereIsSharedAndReadsAsItNowIs) {
  MemoryCacheFolder files;
  files.Put("data_1", {7, 7});
  KeptOpenCacheFolder kept(files, 0);
  std::unique_ptr<CacheFile> held = kept.Open("data_1");
  ASSERT_TRUE(held);
  std::unique_ptr<CacheFile> again = kept.Open("data_1");
  ASSERT_TRUE(again);
  EXPECT_EQ(files.OpenCount(), 1u);
  // Both see the file grow, as two opens of it would.
  files.Put("data_1", {8, 8, 8});
  EXPECT_EQ(held->Size(), 3u);
  EXPECT_EQ(FirstByte(*again), 8);
  // Gone from the folder meanwhile: the open file still reads.
  files.Remove("data_1");
  EXPECT_EQ(again->Size(), 3u);
  held.reset();
  EXPECT_EQ(files.OpenNow(), 1u);
  again.reset();
  // Nothing keeps it now: an open asks the folder, which has no such file.
  EXPECT_EQ(files.OpenNow(), 0u);
  EXPECT_FALSE(kept.Open("data_1"));
}

TEST(KeptOpenCacheFolder, MissingFileIsAskedForEachTimeAndLongPassesLetGo) {
  MemoryCacheFolder files;
  KeptOpenCacheFolder kept(files, 1);
  EXPECT_FALSE(kept.Open("f_000001"));
  files.Put("f_000001", {4});
  std::unique_ptr<CacheFile> file = kept.Open("f_000001");
  ASSERT_TRUE(file);
  EXPECT_EQ(FirstByte(*file), 4);
  file.reset();
  // A pass over many files keeps no more of them open than it was told.
  for (int i = 0; i < 500; ++i) {
    const std::string name = "entry" + std::to_string(i);
    files.Put(name, {static_cast<std::uint8_t>(i)});
    ASSERT_EQ(FirstByte(*kept.Open(name)), static_cast<std::uint8_t>(i));
    ASSERT_LE(files.OpenNow(), 1u);
  }
  EXPECT_EQ(files.OpenCount(), 501u);
}
