// What a crafted or merely busy block-file folder may cost the reader: open
// files, key bytes, pieces and the records one walk holds.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/browser_caches/chromium_block_files.h"
#include "app/browser_caches/cache_bytes.h"
#include "app/browser_caches/cache_key.h"
#include "app/browser_caches/chromium_block_store.h"
#include "tests/support/chromium_cache_builders.h"

namespace {

// Counts the files open through it at once, and the most there ever were.
class CountingFolder : public CacheFolder {
 public:
  explicit CountingFolder(CacheFolder& folder) : folder_(folder) {}
  std::vector<CacheFileInfo> List() override { return folder_.List(); }
  std::unique_ptr<CacheFile> Open(std::string_view name) override {
    auto file = folder_.Open(name);
    if (!file) return nullptr;
    peak_ = std::max(peak_, ++open_);
    return std::make_unique<Counted>(std::move(file), open_);
  }
  std::string Path() const override { return folder_.Path(); }
  std::size_t Peak() const { return peak_; }
  std::size_t OpenNow() const { return open_; }

 private:
  struct Counted : CacheFile {
    Counted(std::unique_ptr<CacheFile> file, std::size_t& open) : file(std::move(file)), open(open) {}
    ~Counted() override { --open; }
    std::uint64_t Size() override { return file->Size(); }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
      return file->ReadAt(offset, buffer, count);
    }
    std::unique_ptr<CacheFile> file;
    std::size_t& open;
  };
  CacheFolder& folder_;
  std::size_t open_ = 0;
  std::size_t peak_ = 0;
};

std::string KeyOf(int number) { return "1/0/https://a.test/clip" + std::to_string(number) + ".mp4"; }

const ByteVector kHeaders =
    ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: video/mp4", "Content-Length: 600"}));

// `count` answers, each body in an "f_" file of its own.
void ExternalBodiesAdd(BlockCacheBuilder& builder, int count, std::vector<ByteVector>& bodies) {
  bodies.reserve(bodies.size() + count);
  for (int i = 0; i < count; ++i) {
    bodies.push_back(Mp4Head(600, static_cast<std::uint32_t>(i)));
    BlockCacheBuilder::Entry entry{KeyOf(i), 0, {&kHeaders, &bodies.back()}};
    entry.forceExternalBody = true;
    builder.Add(entry, BlockFileKeyHash(entry.key));
  }
}

TEST(ChromiumBlockBudgetsTest, AWalkKeepsFewFilesOpenAndClosesThemAll) {
  BlockCacheBuilder builder(1024);
  std::vector<ByteVector> bodies;
  ExternalBodiesAdd(builder, 300, bodies);
  MemoryCacheFolder memory;
  builder.Build(memory);
  CountingFolder folder(memory);

  const auto elements = BlockFileElementsRead(folder);
  ASSERT_EQ(elements.size(), 300u);
  for (const CacheElement& element : elements) {
    ASSERT_EQ(element.pieces.size(), 1u);
    EXPECT_EQ(element.pieces[0].fileName.substr(0, 2), "f_");
    EXPECT_TRUE(IsComplete(element));
  }
  // The index, the block files and a couple of "f_" files, not one per body.
  EXPECT_LE(folder.Peak(), block_store::kMaxOpenFiles);
  EXPECT_EQ(folder.OpenNow(), 0u);
  // Each body read back from its own file after the walk let them go.
  for (int i : {0, 150, 299}) {
    const auto found = std::find_if(elements.begin(), elements.end(),
                                    [&](const CacheElement& element) { return element.key == KeyOf(i); });
    ASSERT_NE(found, elements.end());
    EXPECT_EQ(BodyOf(memory, *found), bodies[static_cast<std::size_t>(i)]);
  }
}

TEST(ChromiumBlockBudgetsTest, KeysOverTheCapAreSkippedAndTheirChainGoesOn) {
  // One bucket: the entry with the huge key sits between two others.
  BlockCacheBuilder builder(1);
  const ByteVector body = Mp4Head(600, 1);
  const std::string huge = "1/0/https://a.test/" + std::string(100000, 'x') + ".mp4";
  const std::string atCap = "1/0/https://a.test/" + std::string(8192 - 23, 'y') + ".mp4";
  ASSERT_EQ(atCap.size(), 8192u);
  BlockCacheBuilder::Entry first{KeyOf(1), 0, {&kHeaders, &body}};
  BlockCacheBuilder::Entry long1{huge, 0, {&kHeaders, &body}};
  long1.longKeyElsewhere = true;
  BlockCacheBuilder::Entry long2{atCap, 0, {&kHeaders, &body}};
  long2.longKeyElsewhere = true;
  BlockCacheBuilder::Entry last{KeyOf(2), 0, {&kHeaders, &body}};
  for (const auto* entry : {&first, &long1, &long2, &last}) builder.Add(*entry, BlockFileKeyHash(entry->key));
  MemoryCacheFolder folder;
  builder.Build(folder);

  std::vector<std::string> keys;
  for (const CacheElement& element : BlockFileElementsRead(folder)) keys.push_back(element.key);
  std::sort(keys.begin(), keys.end());
  std::vector<std::string> expected{KeyOf(1), KeyOf(2), atCap};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(keys, expected);
  EXPECT_FALSE(BlockFileElementRead(folder, huge));
  // Found by key past the skipped one.  (The bucket holds every hash.)
  const auto found = BlockFileElementRead(folder, KeyOf(2));
  ASSERT_TRUE(found);
  EXPECT_EQ(BodyOf(folder, *found), body);
}

TEST(ChromiumBlockBudgetsTest, ALongKeyRecordServesOneEntryOfAWalk) {
  BlockCacheBuilder builder(64);
  const ByteVector body = Pattern(300, 2);
  const std::string key = "1/0/https://a.test/" + std::string(6000, 'z') + ".mp3";
  std::vector<std::uint32_t> addresses;
  for (int i = 0; i < 40; ++i) {
    BlockCacheBuilder::Entry entry{key, 0, {&kHeaders, &body}};
    entry.longKeyElsewhere = true;
    addresses.push_back(builder.Add(entry, static_cast<std::uint32_t>(i)));
  }
  // Every record points at the first one's key, as a crafted folder may.
  ByteVector& data1 = builder.Data(1);
  const std::size_t first = BlockCacheBuilder::EntryOffset(addresses[0]);
  const std::uint32_t shared = LoadU32(data1, first + 36);
  for (std::uint32_t address : addresses) PutU32(data1, BlockCacheBuilder::EntryOffset(address) + 36, shared);
  MemoryCacheFolder folder;
  builder.Build(folder);

  const auto elements = BlockFileElementsRead(folder);
  ASSERT_EQ(elements.size(), 1u);
  EXPECT_EQ(elements[0].key, key);
}

TEST(ChromiumBlockBudgetsTest, PiecesAndWalkStopAtTheirBudget) {
  // A range answer whose two children hold every other 1 KiB block: 512
  // pieces each.
  const std::string parentKey = "1/0/https://a.test/holes.mp4";
  constexpr std::uint64_t kSignature = 0x1234;
  BlockCacheBuilder builder;
  const ByteVector parentHeaders = ResponsePickle(HeaderBlock(
      {"HTTP/1.1 206 Partial Content", "Content-Type: video/mp4", "Content-Range: bytes 0-1/2097152"}));
  const ByteVector list = SparseStream(kSignature, 0, 0, Bits(1024, {{0, 2}}));
  BlockCacheBuilder::Entry parent{parentKey, 1, {&parentHeaders, nullptr, &list}};
  builder.Add(parent, BlockFileKeyHash(parentKey));
  ByteVector everyOther(1024 / 8, 0x55);
  const ByteVector childBitmap = SparseStream(kSignature, -1, 0, everyOther);
  const ByteVector childBytes = Mp4Head(1u << 20, 3);
  for (std::uint64_t index = 0; index < 2; ++index) {
    BlockCacheBuilder::Entry child{
        RangeChildKeyMake(parentKey, kSignature, index), 2, {nullptr, &childBytes, &childBitmap}};
    builder.Add(child, BlockFileKeyHash(child.key));
  }
  std::vector<ByteVector> bodies;
  ExternalBodiesAdd(builder, 50, bodies);
  MemoryCacheFolder folder;
  builder.Build(folder);

  const auto whole = BlockFileElementRead(folder, parentKey);
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->pieces.size(), 1024u);
  EXPECT_TRUE(whole->finished);

  BlockFileBudget budget;
  budget.piecesPerElement = 600;
  const auto cut = BlockFileElementRead(folder, parentKey, 0, budget);
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->pieces.size(), 600u);
  EXPECT_FALSE(cut->finished);
  EXPECT_EQ(cut->pieces[599].elementOffset, (1u << 20) + 87 * 2048);  // the second child's 88th piece

  // A walk allowed the records of about ten entries gives no more than those.
  budget = {};
  budget.walkBytes = 10 * (sizeof(block_store::EntryRecord) + KeyOf(10).size());
  const auto walked = BlockFileElementsRead(folder, budget);
  EXPECT_GE(walked.size(), 5u);
  EXPECT_LE(walked.size(), 10u);
  EXPECT_EQ(BlockFileElementsRead(folder).size(), 51u);
}

}  // namespace
