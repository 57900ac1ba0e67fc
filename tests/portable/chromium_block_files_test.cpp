// The block-file reader on hand-built caches: one layout feature per test,
// then damage of every kind the index and the entries can carry.
#include <gtest/gtest.h>

#include "app/browser_caches/chromium_block_files.h"
#include "app/browser_caches/chromium_cache.h"
#include "tests/support/chromium_cache_builders.h"

namespace {

const std::string kKey = "1/0/_dk_https://a.test https://a.test https://a.test/v/clip.mp4";
const std::string kUrl = "https://a.test/v/clip.mp4";
constexpr std::uint64_t kSignature = 0x2fc0b309a3c608ull;
constexpr std::uint64_t kMiB = 1u << 20;

std::string ChildKey(std::uint64_t signature, std::uint64_t index) {
  char tail[48];
  std::snprintf(tail, sizeof tail, ":%llx:%llx", static_cast<unsigned long long>(signature),
                static_cast<unsigned long long>(index));
  return "Range_" + kKey + tail;
}

// A parent answer cut into children; `children` maps a child index to its
// stream 1 bytes and block bitmap (empty bitmap: none written yet).
struct Child {
  std::uint64_t index;
  ByteVector bytes;
  ByteVector bitmap;
  std::int32_t lastBlock = -1;
  std::int32_t lastBlockLength = 0;
  bool dirty = false;
  bool flagged = true;  // the browser sets the child flag late
};

// `withList` and `flagged`: the parent's list of children and its flag, both
// written by the browser only when it closes the entry.
void SparseAdd(BlockCacheBuilder& builder, const std::vector<Child>& children, std::uint64_t total,
               bool withList = true, bool flagged = true) {
  const ByteVector headers =
      ResponsePickle(HeaderBlock({"HTTP/1.1 206 Partial Content", "Content-Type: video/mp4",
                                  "Content-Range: bytes 0-1/" + std::to_string(total)}));
  std::vector<std::pair<std::size_t, std::size_t>> runs;
  ByteVector list(128, 0);
  for (const Child& child : children)
    list[child.index / 8] |= static_cast<std::uint8_t>(1u << (child.index % 8));
  const ByteVector parentSparse = SparseStream(kSignature, 0, 0, list);
  BlockCacheBuilder::Entry parent;
  parent.key = kKey;
  parent.flags = flagged ? 1 : 0;
  parent.streams[0] = &headers;
  if (withList) parent.streams[2] = &parentSparse;
  builder.Add(parent, BlockFileKeyHash(kKey));
  for (const Child& child : children) {
    // Owned by the builder's copy once stored.
    const ByteVector sparse =
        child.bitmap.empty() ? ByteVector()
                             : SparseStream(kSignature, child.lastBlock, child.lastBlockLength, child.bitmap);
    BlockCacheBuilder::Entry entry;
    entry.key = ChildKey(kSignature, child.index);
    entry.flags = child.flagged ? 2 : 0;
    entry.streams[1] = &child.bytes;
    entry.streams[2] = &sparse;
    entry.dirty = child.dirty;
    builder.Add(entry, BlockFileKeyHash(entry.key));
  }
}

TEST(ChromiumBlockFilesTest, WholeAnswersInBlocksAndInExternalFiles) {
  BlockCacheBuilder builder;
  const ByteVector headers =
      ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: audio/mpeg", "Content-Length: 3000"}));
  const ByteVector small = Pattern(3000, 1);  // data_2 blocks
  BlockCacheBuilder::Entry a{"1/0/https://a.test/a.mp3", 0, {&headers, &small}};
  builder.Add(a, BlockFileKeyHash(a.key));
  const ByteVector large = Mp4Head(40000, 2);  // its own f_ file
  const ByteVector largeHeaders =
      ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: video/mp4", "Content-Length: 40000"}));
  BlockCacheBuilder::Entry b{kKey, 0, {&largeHeaders, &large}};
  builder.Add(b, BlockFileKeyHash(kKey));
  MemoryCacheFolder folder;
  builder.Build(folder);

  EXPECT_EQ(ChromiumStoreOf(folder), CacheStore::ChromiumBlockFiles);
  const auto elements = BlockFileElementsRead(folder);
  ASSERT_EQ(elements.size(), 2u);
  for (const CacheElement& element : elements) {
    const bool isA = element.key == a.key;
    EXPECT_EQ(element.webAddress, isA ? "https://a.test/a.mp3" : kUrl);
    EXPECT_EQ(element.contentType, isA ? "audio/mpeg" : "video/mp4");
    EXPECT_EQ(element.fullLength, isA ? 3000u : 40000u);
    EXPECT_TRUE(IsComplete(element));
    EXPECT_EQ(BodyOf(folder, element), isA ? small : large);
    ASSERT_EQ(element.pieces.size(), 1u);
    EXPECT_EQ(element.pieces[0].fileName, isA ? "data_2" : "f_000001");
  }
  EXPECT_EQ(CacheElementSignature(folder, elements[0].key == kKey ? elements[0] : elements[1]).extension,
            "mp4");
}

TEST(ChromiumBlockFilesTest, ChildrenOfOneMebibyteAreJoinedInOrder) {
  const ByteVector all = Mp4Head(2 * kMiB + 5000, 3);
  const ByteVector first(all.begin(), all.begin() + kMiB);
  const ByteVector second(all.begin() + kMiB, all.begin() + 2 * kMiB);
  const ByteVector third(all.begin() + 2 * kMiB, all.end());  // 5000 bytes: 4 blocks and a partial one
  BlockCacheBuilder builder;
  // Children written in another order than their offsets.
  SparseAdd(builder,
            {{2, third, Bits(1024, {{0, 4}}), 4, 5000 - 4096},
             {0, first, Bits(1024, {{0, 1024}})},
             {1, second, Bits(1024, {{0, 1024}})}},
            all.size());
  MemoryCacheFolder folder;
  builder.Build(folder);
  const auto elements = BlockFileElementsRead(folder);
  ASSERT_EQ(elements.size(), 1u);  // children are not elements of their own
  const CacheElement& element = elements[0];
  EXPECT_EQ(element.webAddress, kUrl);
  EXPECT_EQ(element.fullLength, all.size());
  EXPECT_EQ(PresentLength(element), all.size());
  EXPECT_TRUE(IsComplete(element));
  EXPECT_EQ(BodyOf(folder, element), all);
  // Read by key alone, through the hashes of the children's keys.
  const auto again = BlockFileElementRead(folder, kKey);
  ASSERT_TRUE(again);
  EXPECT_EQ(BodyOf(folder, *again), all);
  EXPECT_EQ(again->rangeSignature, kSignature);
  EXPECT_FALSE(BlockFileElementRead(folder, ChildKey(kSignature, 0)));  // a child is no element
}

TEST(ChromiumBlockFilesTest, HolesInsideAndBetweenChildren) {
  const ByteVector child0 = Mp4Head(kMiB, 4);
  const ByteVector child2 = Pattern(kMiB, 5);
  BlockCacheBuilder builder;
  // Child 0 lacks blocks 10-19; child 1 is missing; child 2 is whole.
  SparseAdd(builder, {{0, child0, Bits(1024, {{0, 10}, {20, 1024}})}, {2, child2, Bits(1024, {{0, 1024}})}},
            3 * kMiB);
  MemoryCacheFolder folder;
  builder.Build(folder);
  const auto element = BlockFileElementRead(folder, kKey);
  ASSERT_TRUE(element);
  EXPECT_EQ(ContiguousLength(*element), 10u * 1024);
  EXPECT_EQ(PresentLength(*element), 2 * kMiB - 10 * 1024);
  EXPECT_TRUE(element->finished);
  EXPECT_FALSE(IsComplete(*element));
  ASSERT_EQ(element->pieces.size(), 3u);
  EXPECT_EQ(element->pieces[1].elementOffset, 20u * 1024);
  EXPECT_EQ(element->pieces[2].elementOffset, 2 * kMiB);
  // Reading stops at the first hole.
  EXPECT_EQ(BodyOf(folder, *element), ByteVector(child0.begin(), child0.begin() + 10 * 1024));
  ByteVector after(100);
  CacheBodyReader reader(folder, *element);
  EXPECT_EQ(reader.Read(2 * kMiB + 7, after.data(), after.size()), after.size());
  EXPECT_EQ(after, ByteVector(child2.begin() + 7, child2.begin() + 107));
  EXPECT_EQ(reader.Read(15 * 1024, after.data(), after.size()), 0u);
}

TEST(ChromiumBlockFilesTest, OpenEntriesAreUnfinished) {
  const ByteVector first = Mp4Head(300000, 6);
  BlockCacheBuilder builder;
  // The browser still writes child 0: no block bitmap yet, rankings dirty.
  SparseAdd(builder, {{0, first, {}, -1, 0, true}}, 2000000);
  MemoryCacheFolder folder;
  builder.Build(folder);
  const auto element = BlockFileElementRead(folder, kKey);
  ASSERT_TRUE(element);
  EXPECT_FALSE(element->finished);
  EXPECT_EQ(ContiguousLength(*element), first.size());
  EXPECT_EQ(CacheElementSignature(folder, *element).nature, MediaNature::Video);
  // Seen on a live cache: neither the parent's list nor the child's flag is
  // on disk yet; the child is still found by its key, and is no element.
  BlockCacheBuilder early;
  SparseAdd(early, {{0, first, {}, -1, 0, true, false}}, 2000000, false);
  MemoryCacheFolder earlyFolder;
  early.Build(earlyFolder);
  const auto earlyElements = BlockFileElementsRead(earlyFolder);
  ASSERT_EQ(earlyElements.size(), 1u);
  EXPECT_EQ(earlyElements[0].webAddress, kUrl);
  EXPECT_FALSE(earlyElements[0].finished);
  EXPECT_EQ(ContiguousLength(earlyElements[0]), first.size());
  // The stream's size says more than its external file holds so far.
  folder.Bytes("f_000001")->resize(1000);
  const auto shorter = BlockFileElementRead(folder, kKey);
  ASSERT_TRUE(shorter);
  EXPECT_EQ(PresentLength(*shorter), 1000u);
}

// While the browser writes a range answer, the parent carries neither its
// flag nor its list (seen with Chromium 156): its children are found by the
// signature a child's key gave, from child 0 up to the first one missing.
TEST(ChromiumBlockFilesTest, UnlistedChildrenAreFoundByTheSignatureOfTheAnswer) {
  const ByteVector all = Mp4Head(5 * kMiB, 11);
  const auto part = [&](std::uint64_t index, std::size_t length) {
    return ByteVector(all.begin() + index * kMiB, all.begin() + index * kMiB + length);
  };
  BlockCacheBuilder builder;
  // Child 0 closed; child 1 open, part of it on disk; child 2 in the index
  // with nothing on disk yet; child 4 after a seek.
  SparseAdd(builder,
            {{0, part(0, kMiB), Bits(1024, {{0, 1024}})},
             {1, part(1, 300000), {}, -1, 0, true, false},
             {2, {}, {}, -1, 0, true, false},
             {4, part(4, 5000), {}, -1, 0, true, false}},
            all.size(), false, false);
  MemoryCacheFolder folder;
  builder.Build(folder);

  // Without the signature the parent looks like an answer with no body yet.
  const auto unknown = BlockFileElementRead(folder, kKey);
  ASSERT_TRUE(unknown);
  EXPECT_TRUE(unknown->pieces.empty());
  EXPECT_EQ(unknown->rangeSignature, 0u);
  const auto older = BlockFileElementRead(folder, kKey, kSignature + 1);  // another answer's signature
  ASSERT_TRUE(older);
  EXPECT_TRUE(older->pieces.empty());

  const auto element = BlockFileElementRead(folder, kKey, kSignature);
  ASSERT_TRUE(element);
  EXPECT_EQ(element->webAddress, kUrl);
  EXPECT_EQ(element->rangeSignature, kSignature);
  EXPECT_FALSE(element->finished);
  EXPECT_EQ(ContiguousLength(*element), kMiB + 300000);
  EXPECT_EQ(PresentLength(*element), kMiB + 300000);  // child 4 lies past the first missing one
  EXPECT_EQ(BodyOf(folder, *element), part(0, kMiB + 300000));
  EXPECT_EQ(CacheElementSignature(folder, *element).extension, "mp4");
  // The full read meets the children in its walk and needs no signature.
  const auto walked = BlockFileElementsRead(folder);
  ASSERT_EQ(walked.size(), 1u);
  EXPECT_EQ(walked[0].rangeSignature, kSignature);
  EXPECT_EQ(PresentLength(walked[0]), kMiB + 305000);

  // A body of its own makes an entry a whole answer, whatever the caller
  // guessed; a child's own key is still no element.
  BlockCacheBuilder whole;
  const ByteVector headers = ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: video/mp4"}));
  const ByteVector body = Mp4Head(40000, 12);
  BlockCacheBuilder::Entry entry{kKey, 0, {&headers, &body}};
  whole.Add(entry, BlockFileKeyHash(kKey));
  MemoryCacheFolder wholeFolder;
  whole.Build(wholeFolder);
  const auto plain = BlockFileElementRead(wholeFolder, kKey, kSignature);
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->rangeSignature, 0u);
  EXPECT_EQ(BodyOf(wholeFolder, *plain), body);
  EXPECT_FALSE(BlockFileElementRead(folder, ChildKey(kSignature, 0), kSignature));

  // Closed, the parent lists its children: the list decides, not the guess.
  BlockCacheBuilder closed;
  SparseAdd(closed, {{0, part(0, kMiB), Bits(1024, {{0, 1024}})}, {1, part(1, kMiB), Bits(1024, {{0, 1024}})}},
            2 * kMiB);
  MemoryCacheFolder closedFolder;
  closed.Build(closedFolder);
  const auto listed = BlockFileElementRead(closedFolder, kKey, kSignature + 1);
  ASSERT_TRUE(listed);
  EXPECT_EQ(listed->rangeSignature, kSignature);
  EXPECT_TRUE(IsComplete(*listed));
  EXPECT_EQ(BodyOf(closedFolder, *listed), part(0, 2 * kMiB));
}

TEST(ChromiumBlockFilesTest, LongKeysLiveOutsideTheEntry) {
  const std::string longKey = "1/0/https://a.test/" + std::string(3000, 'x') + ".webm";
  BlockCacheBuilder builder;
  const ByteVector headers = ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: video/webm"}));
  const ByteVector body = Pattern(100, 7);
  BlockCacheBuilder::Entry entry{longKey, 0, {&headers, &body}};
  entry.longKeyElsewhere = true;
  builder.Add(entry, BlockFileKeyHash(longKey));
  // A key of 400 bytes spans two entry blocks.
  const std::string midKey = "1/0/https://a.test/" + std::string(400, 'y');
  BlockCacheBuilder::Entry mid{midKey, 0, {&headers, &body}};
  builder.Add(mid, BlockFileKeyHash(midKey));
  MemoryCacheFolder folder;
  builder.Build(folder);
  const auto elements = BlockFileElementsRead(folder);
  ASSERT_EQ(elements.size(), 2u);
  const auto found = BlockFileElementRead(folder, longKey);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->webAddress, longKey.substr(4));
  EXPECT_EQ(BodyOf(folder, *found), body);
  const auto foundMid = BlockFileElementRead(folder, midKey);
  ASSERT_TRUE(foundMid);
  EXPECT_EQ(foundMid->key, midKey);
}

TEST(ChromiumBlockFilesTest, EncodedBodiesAreNotMedia) {
  BlockCacheBuilder builder;
  const ByteVector headers = ResponsePickle(HeaderBlock(
      {"HTTP/1.1 200 OK", "Content-Type: video/mp4", "Content-Encoding: gzip", "Content-Length: 500"}));
  // Even a body that starts like MP4 is not taken: its bytes are encoded.
  const ByteVector body = Mp4Head(500, 8);
  BlockCacheBuilder::Entry entry{kKey, 0, {&headers, &body}};
  builder.Add(entry, BlockFileKeyHash(kKey));
  MemoryCacheFolder folder;
  builder.Build(folder);
  const auto element = BlockFileElementRead(folder, kKey);
  ASSERT_TRUE(element);
  EXPECT_EQ(element->contentEncoding, "gzip");
  EXPECT_EQ(CacheElementSignature(folder, *element).nature, MediaNature::NotMedia);
}

TEST(ChromiumBlockFilesTest, ChainsLoopsAndBadAddressesCostOnlyTheirEntry) {
  BlockCacheBuilder builder;
  const ByteVector headers = ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: audio/mpeg"}));
  const ByteVector body = Pattern(3000, 9);  // in data_2
  // Three entries in one bucket (same hash), chained through `next`.
  std::vector<std::uint32_t> addrs;
  for (int i = 0; i < 3; ++i) {
    BlockCacheBuilder::Entry entry{"1/0/https://a.test/" + std::to_string(i) + ".mp3", 0, {&headers, &body}};
    addrs.push_back(builder.Add(entry, 5));
  }
  BlockCacheBuilder::Entry broken{"1/0/https://a.test/broken.mp3", 0, {&headers, &body}};
  const std::uint32_t brokenAddr = builder.Add(broken, 6);
  MemoryCacheFolder folder;
  builder.Build(folder);
  EXPECT_EQ(BlockFileElementsRead(folder).size(), 4u);

  ByteVector& data1 = *folder.Bytes("data_1");
  const ByteVector good = data1;
  // The broken entry's body in a data file that does not exist, then past
  // the end of data_2, then in a block file of the wrong block size.
  const std::size_t bodyAddrAt = BlockCacheBuilder::EntryOffset(brokenAddr) + 60;
  for (std::uint32_t bad : {0xA0090000u, 0xB0020FFFu, 0xB0010000u, 0x80ABCDEFu}) {
    PutU32(data1, bodyAddrAt, bad);
    const auto elements = BlockFileElementsRead(folder);
    EXPECT_EQ(elements.size(), 3u) << std::hex << bad;
  }
  data1 = good;
  // The last of the chain points back at the first: the walk ends.
  PutU32(data1, BlockCacheBuilder::EntryOffset(addrs[2]) + 4, addrs[0]);
  EXPECT_EQ(BlockFileElementsRead(folder).size(), 4u);
  EXPECT_FALSE(BlockFileElementRead(folder, "1/0/https://a.test/missing.mp3"));
  // An entry pointing at itself.
  PutU32(data1, BlockCacheBuilder::EntryOffset(addrs[0]) + 4, addrs[0]);
  EXPECT_EQ(BlockFileElementsRead(folder).size(), 2u);  // entry 0, and the other bucket
  data1 = good;
  // A key length past the entry.
  PutU32(data1, BlockCacheBuilder::EntryOffset(addrs[1]) + 32, 5000);
  EXPECT_EQ(BlockFileElementsRead(folder).size(), 2u);  // the chain is cut after entry 0
  data1 = good;
  // Damaged headers: the block file itself, the index table length.
  ByteVector& data2 = *folder.Bytes("data_2");
  PutU32(data2, 0, 0);
  EXPECT_EQ(BlockFileElementsRead(folder).size(), 0u);  // every body lives in data_2
  PutU32(data2, 0, 0xC104CAC3u);
  ByteVector& index = *folder.Bytes("index");
  PutU32(index, 28, 100);  // not a power of two
  EXPECT_TRUE(BlockFileElementsRead(folder).empty());
  PutU32(index, 28, 1u << 20);  // more buckets than the file holds
  EXPECT_TRUE(BlockFileElementsRead(folder).empty());
  index.resize(10);  // the magic is left: the store is known, its table is not
  EXPECT_EQ(ChromiumStoreOf(folder), CacheStore::ChromiumBlockFiles);
  EXPECT_TRUE(ChromiumCacheRead(folder).empty());
  index.resize(2);
  EXPECT_FALSE(ChromiumStoreOf(folder));
}

TEST(ChromiumBlockFilesTest, KeyHashMatchesTheBrowsers) {
  // Hashes the real browser stored with these keys (entries of a real cache).
  EXPECT_EQ(BlockFileKeyHash("1/0/_dk_http://127.0.0.1 http://127.0.0.1 http://127.0.0.1:8765/whole.mp4"),
            0xe6993420u);
  EXPECT_EQ(BlockFileKeyHash("1/0/_dk_http://127.0.0.1 http://127.0.0.1 http://127.0.0.1:8765/clip.mp4"),
            0x2eca2a72u);
  EXPECT_EQ(
      BlockFileKeyHash(
          "Range_1/0/_dk_http://127.0.0.1 http://127.0.0.1 http://127.0.0.1:8765/clip.webm:2fc0b309a43b42:0"),
      0xdba79c22u);
  EXPECT_EQ(BlockFileKeyHash(""), 0u);
  // Tails of one, two and three bytes take their own paths.
  EXPECT_NE(BlockFileKeyHash("a"), BlockFileKeyHash("b"));
  EXPECT_NE(BlockFileKeyHash("ab"), BlockFileKeyHash("ac"));
  EXPECT_NE(BlockFileKeyHash("abc\xFF"), BlockFileKeyHash("abcd\xFF"));
}

}  // namespace
