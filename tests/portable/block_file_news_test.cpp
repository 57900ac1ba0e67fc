// Elements whose bodies stay inside the block files: the entries new since a
// look, found through the index's rankings lists, and the watch's candidates
// that follow them without any "f_" file to start it.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/browser_caches/cache_bytes.h"
#include "app/browser_caches/chromium_block_files.h"
#include "app/browser_caches/chromium_block_news.h"
#include "app/cache_watch/cache_candidates.h"
#include "app/streams/cache_streams.h"
#include "app/streams/stream_parts.h"
#include "tests/support/cache_folder_ref.h"
#include "tests/support/chromium_cache_builders.h"
#include "tests/support/stream_media_builders.h"

namespace {

const CacheFolderName kCache{u"C:\\cache", "C:\\cache"};
const std::string kBase = "1/0/_dk_https://v.test https://v.test https://v.test/";

class BlockFolder final : public CacheFolderOpener {
 public:
  std::unique_ptr<CacheFolder> Open(const CacheFolderName&) override {
    return std::make_unique<CacheFolderRef>(memory);
  }
  MemoryCacheFolder memory;
};

// Adds a closed answer of `body` (in blocks up to 16 KiB) with its type.
void AnswerAdd(BlockCacheBuilder& builder, const std::string& name, const ByteVector& body,
               std::string_view type) {
  const ByteVector headers =
      ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: " + std::string(type),
                                  "Content-Length: " + std::to_string(body.size())}));
  BlockCacheBuilder::Entry entry{kBase + name, 0, {&headers, &body}};
  builder.Add(entry, BlockFileKeyHash(entry.key));
}

std::vector<std::string> KeysOf(const BlockFileNews& news) {
  std::vector<std::string> keys;
  for (const BlockFileOwner& owner : news.entries) keys.push_back(owner.key.substr(kBase.size()));
  return keys;
}

ByteVector Mp3(std::size_t length, std::uint32_t seed) {
  ByteVector bytes = Pattern(length, seed);
  const std::uint8_t head[] = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0};
  std::copy(std::begin(head), std::end(head), bytes.begin());
  return bytes;
}

TEST(BlockFileNewsTest, OnlyEntriesAddedSinceTheMarkAreRead) {
  BlockCacheBuilder builder;
  MemoryCacheFolder folder;
  AnswerAdd(builder, "a.png", Pattern(100, 1), "image/png");
  AnswerAdd(builder, "b.png", Pattern(100, 2), "image/png");
  builder.Build(folder);

  BlockFileNewsMark mark;
  BlockFileNews news = BlockFileNewsRead(folder, mark, false, 100);
  EXPECT_TRUE(news.readable);
  EXPECT_TRUE(news.entries.empty());  // what was there before the watch is not new
  EXPECT_TRUE(mark.set);

  AnswerAdd(builder, "c.mp3", Mp3(10000, 3), "audio/mpeg");
  AnswerAdd(builder, "d.png", Pattern(100, 4), "image/png");
  builder.Build(folder);
  news = BlockFileNewsRead(folder, mark, false, 100);
  EXPECT_TRUE(news.changed);
  EXPECT_EQ(KeysOf(news), (std::vector<std::string>{"d.png", "c.mp3"}));

  // Nothing changed: one look at the header, no walk.
  const std::size_t opens = folder.OpenCount();
  news = BlockFileNewsRead(folder, mark, false, 100);
  EXPECT_FALSE(news.changed);
  EXPECT_TRUE(news.entries.empty());
  EXPECT_EQ(folder.OpenCount(), opens + 1);

  // A cache made during the watch is new from its start; the cap cuts.
  BlockFileNewsMark fresh;
  news = BlockFileNewsRead(folder, fresh, true, 3);
  EXPECT_EQ(KeysOf(news), (std::vector<std::string>{"d.png", "c.mp3", "b.png"}));
  EXPECT_TRUE(news.cut);
}

TEST(BlockFileNewsTest, DamagedListsEndTheWalk) {
  BlockCacheBuilder builder;
  MemoryCacheFolder folder;
  for (int i = 0; i < 5; ++i) AnswerAdd(builder, std::to_string(i) + ".png", Pattern(100, i), "image/png");
  builder.Build(folder);
  // The newest node's next points back at itself after the third: a loop.
  ByteVector& data0 = *folder.Bytes("data_0");
  const std::uint32_t head = LoadU32(*folder.Bytes("index"), 288);
  const std::size_t headAt = 8192 + (head & 0xFFFF) * 36;
  const std::uint32_t second = LoadU32(data0, headAt + 16);
  PutU32(data0, 8192 + (second & 0xFFFF) * 36 + 16, head);
  BlockFileNewsMark mark;
  EXPECT_EQ(KeysOf(BlockFileNewsRead(folder, mark, true, 100)), (std::vector<std::string>{"4.png", "3.png"}));

  // A head that is no rankings address, and an index cut short: nothing, no fault.
  PutU32(*folder.Bytes("index"), 288, 0x90010000u);
  BlockFileNewsMark other;
  EXPECT_TRUE(BlockFileNewsRead(folder, other, true, 100).entries.empty());
  folder.Bytes("index")->resize(300);
  BlockFileNewsMark cut;
  EXPECT_FALSE(BlockFileNewsRead(folder, cut, true, 100).readable);
}

class BlockCandidatesTest : public testing::Test {
 protected:
  std::vector<MediaElementRef> LookAt(std::uint64_t now) {
    std::vector<MediaElementRef> found;
    candidates.Look(now, found);
    return found;
  }
  BlockFolder folder;
  BlockCacheBuilder builder;
  CacheCandidates candidates{folder};
};

TEST_F(BlockCandidatesTest, AnAnswerInsideTheDataFilesIsHandedOnOnce) {
  builder.Build(folder.memory);
  candidates.FileAdded(1, kCache, "index", 0);  // the browser makes its cache
  for (const char* name : {"data_0", "data_1", "data_2", "data_3"}) candidates.FileAdded(1, kCache, name, 0);
  EXPECT_TRUE(LookAt(0).empty());
  EXPECT_TRUE(candidates.Pending());  // the folder is followed

  const ByteVector mp3 = Mp3(10000, 7);
  AnswerAdd(builder, "page.html", TextBytes("<html></html>"), "text/html");
  AnswerAdd(builder, "clip.mp3", mp3, "audio/mpeg");
  builder.Build(folder.memory);
  ASSERT_EQ(folder.memory.List().size(), 5u);  // no "f_" file
  const auto found = LookAt(200);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].webAddress, "https://v.test/clip.mp3");
  EXPECT_EQ(found[0].extension, "mp3");
  EXPECT_EQ(found[0].store, CacheStore::ChromiumBlockFiles);
  const auto element = BlockFileElementRead(folder.memory, found[0].key);
  ASSERT_TRUE(element);
  EXPECT_EQ(BodyOf(folder.memory, *element), mp3);

  // Looks without a change read the header only; more answers are more news.
  EXPECT_TRUE(LookAt(400).empty());
  EXPECT_TRUE(LookAt(600).empty());
  EXPECT_EQ(candidates.Figures().newsWalks, 2u);
  AnswerAdd(builder, "logo.png", Pattern(2000, 8), "image/png");
  builder.Build(folder.memory);
  EXPECT_TRUE(LookAt(800).empty());
  EXPECT_EQ(candidates.Figures().newsWalks, 3u);
  EXPECT_EQ(candidates.Figures().newEntries, 3u);
  EXPECT_EQ(candidates.Figures().found, 1u);
  EXPECT_EQ(candidates.CandidateCount(), 0u);
}

TEST_F(BlockCandidatesTest, ALookOfManyNewEntriesOpensEachBlockFileOnce) {
  builder.Build(folder.memory);
  candidates.FileAdded(1, kCache, "index", 0);
  EXPECT_TRUE(LookAt(0).empty());
  for (int i = 0; i < 60; ++i)
    AnswerAdd(builder, "img" + std::to_string(i) + ".png", Pattern(1500, i), "image/png");
  AnswerAdd(builder, "clip.mp3", Mp3(10000, 7), "audio/mpeg");
  builder.Build(folder.memory);
  const std::size_t opens = folder.memory.OpenCount();
  const auto found = LookAt(200);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].webAddress, "https://v.test/clip.mp3");
  EXPECT_EQ(candidates.Figures().newEntries, 61u);
  // The index and data_0..3, each once for the walk and all 61 elements.
  EXPECT_LE(folder.memory.OpenCount() - opens, 5u);
  // And let go when the look ends.
  EXPECT_EQ(folder.memory.OpenNow(), 0u);
}

TEST_F(BlockCandidatesTest, AnIdleFolderIsLookedAtLessOften) {
  CacheCandidateLimits limits;
  limits.newsActiveMs = 1000;
  limits.newsIdleMs = 1000;
  CacheCandidates slow(folder, limits);
  builder.Build(folder.memory);
  slow.FileAdded(1, kCache, "index", 0);
  std::vector<MediaElementRef> found;
  slow.Look(0, found);  // the first look: the header seen
  for (std::uint64_t now = 200; now <= 5000; now += 200) slow.Look(now, found);
  // Active for a second after the change, then once a second.
  EXPECT_LE(slow.Figures().newsLooks, 12u);
  EXPECT_GE(slow.Figures().newsLooks, 8u);
  // A change while idle is seen within a second, and the folder is active again.
  AnswerAdd(builder, "late.mp3", Mp3(3000, 9), "audio/mpeg");
  builder.Build(folder.memory);
  for (std::uint64_t now = 5200; now <= 6200 && found.empty(); now += 200) slow.Look(now, found);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].webAddress, "https://v.test/late.mp3");
}

TEST_F(BlockCandidatesTest, AStreamWhosePartsAllStayInBlocksIsHandedOnWithItsGap) {
  builder.Build(folder.memory);
  candidates.FileAdded(1, kCache, "index", 0);
  EXPECT_TRUE(LookAt(0).empty());

  // Seven parts listed (the init and six fragments), two fragments never fetched.
  std::string text = "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-MAP:URI=\"init.mp4\"\n";
  for (int i = 0; i < 6; ++i) text += "#EXTINF:2,\nseg" + std::to_string(i) + ".m4s\n";
  text += "#EXT-X-ENDLIST\n";
  AnswerAdd(builder, "live/index.m3u8", TextBytes(text), "application/vnd.apple.mpegurl");
  AnswerAdd(builder, "live/init.mp4", Init({"vide"}), "video/mp4");
  for (int i : {0, 1, 3, 5}) {
    const ByteVector fragment = Cat({Box("styp", ByteVector(8, 0)), Box("moof", Pattern(12000, i))});
    AnswerAdd(builder, "live/seg" + std::to_string(i) + ".m4s", fragment, "video/mp4");
  }
  builder.Build(folder.memory);
  ASSERT_EQ(folder.memory.List().size(), 5u);

  std::vector<MediaElementRef> found;
  for (std::uint64_t now = 200; now <= 10000; now += 200) {
    auto more = LookAt(now);
    found.insert(found.end(), more.begin(), more.end());
  }
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].webAddress, "https://v.test/live/index.m3u8");
  const StreamElements read = StreamPartsRead(folder.memory, found[0].streamParts);
  const CacheStreams streams = CacheStreamsFind(folder.memory, read.elements, read.signatures);
  ASSERT_EQ(streams.streams.size(), 1u);
  const JoinPlan& plan = streams.streams[0].plan;
  EXPECT_FALSE(plan.complete);
  EXPECT_EQ(plan.present, 4u);
  EXPECT_EQ(plan.total, 6u);
}

}  // namespace
