// Finding the entry of a new external file by one pass over data_1.
#include <gtest/gtest.h>

#include "app/browser_caches/chromium_block_files.h"
#include "app/browser_caches/chromium_block_owner.h"
#include "tests/support/chromium_cache_builders.h"

namespace {

const std::string kParent = "1/0/_dk_https://a.test https://a.test https://a.test/v/clip.mp4";

TEST(ChromiumBlockOwnerTest, ExternalFilesNameTheirEntryAndChildrenTheirParent) {
  BlockCacheBuilder builder;
  const ByteVector headers = ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: image/png"}));
  std::vector<ByteVector> bodies;
  bodies.reserve(40);
  for (int i = 0; i < 40; ++i) {
    // Every fourth body gets its own file (f_000001 .. f_00000a), the rest blocks.
    bodies.push_back(Pattern(i % 4 == 0 ? 20000 : 3000, i));
    BlockCacheBuilder::Entry entry{"1/0/https://a.test/" + std::to_string(i), 0, {&headers, &bodies.back()}};
    builder.Add(entry, BlockFileKeyHash(entry.key));
  }
  const ByteVector child = Pattern(70000, 99);
  BlockCacheBuilder::Entry childEntry;
  childEntry.key = "Range_" + kParent + ":2fc0b309a3c608:1";
  childEntry.flags = 2;
  childEntry.streams[1] = &child;
  builder.Add(childEntry, BlockFileKeyHash(childEntry.key));  // f_00000b
  const std::string longKey = "1/0/https://a.test/" + std::string(2000, 'k');
  BlockCacheBuilder::Entry longEntry{longKey, 0, {&headers, &bodies[0]}};
  longEntry.longKeyElsewhere = true;
  builder.Add(longEntry, BlockFileKeyHash(longKey));  // its key first (f_00000c), then its body (f_00000d)
  MemoryCacheFolder folder;
  builder.Build(folder);

  const auto owners = BlockFileOwnersFind(
      folder, {"f_000001", "f_000004", "f_00000a", "f_00000b", "f_00000d", "f_0000ff", "index"});
  EXPECT_EQ(owners.size(), 4u);
  EXPECT_EQ(owners.at("f_000001").key, "1/0/https://a.test/0");
  EXPECT_EQ(owners.at("f_000004").key, "1/0/https://a.test/12");
  EXPECT_EQ(owners.at("f_00000a").key, "1/0/https://a.test/36");
  EXPECT_EQ(owners.at("f_00000a").rangeSignature, 0u);  // a whole answer
  // A child names its parent and the signature its siblings' keys carry.
  EXPECT_EQ(owners.at("f_00000b").key, kParent);
  EXPECT_EQ(owners.at("f_00000b").rangeSignature, 0x2fc0b309a3c608ull);
  EXPECT_EQ(owners.count("f_00000d"), 0u);  // a long key is left to the walk of the index
  EXPECT_EQ(owners.count("f_0000ff"), 0u);

  // A damaged or missing data_1 finds nothing, and cut short finds what it holds.
  ByteVector& data1 = *folder.Bytes("data_1");
  const ByteVector whole = data1;
  data1.resize(8192 + 256 * 3);
  const auto cut = BlockFileOwnersFind(folder, {"f_000001", "f_00000a"});
  EXPECT_EQ(cut.size(), 1u);
  EXPECT_EQ(cut.count("f_000001"), 1u);
  data1 = whole;
  PutU32(data1, 12, 1024);
  EXPECT_TRUE(BlockFileOwnersFind(folder, {"f_000001"}).empty());
  folder.Remove("data_1");
  EXPECT_TRUE(BlockFileOwnersFind(folder, {"f_000001"}).empty());
}

}  // namespace
