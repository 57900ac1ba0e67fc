// The simple-cache reader on hand-built entries: closed and growing bodies,
// range records in any order with holes, long keys, and damage.
#include <gtest/gtest.h>

#include "app/browser_caches/chromium_cache.h"
#include "app/browser_caches/chromium_simple_cache.h"
#include "tests/support/chromium_cache_builders.h"

namespace {

const std::string kKey = "1/0/_dk_https://a.test https://a.test https://a.test/m/song.mp3";
const std::string kUrl = "https://a.test/m/song.mp3";

ByteVector Mp3(std::size_t length, std::uint32_t seed) {
  ByteVector bytes = Pattern(length, seed);
  bytes[0] = 'I', bytes[1] = 'D', bytes[2] = '3';
  return bytes;
}

MemoryCacheFolder FolderWithIndex() {
  MemoryCacheFolder folder;
  folder.Put("index", SimpleIndex());
  return folder;
}

TEST(ChromiumSimpleCacheTest, ClosedEntryHasHeadersAndBody) {
  MemoryCacheFolder folder = FolderWithIndex();
  const ByteVector body = Mp3(5000, 1);
  const ByteVector pickle =
      ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: audio/mpeg", "Content-Length: 5000"}));
  folder.Put("0123456789abcdef_0", SimpleMainFile(kKey, body, &pickle));
  // Without the key's SHA-256 as well.
  folder.Put("fedcba9876543210_0", SimpleMainFile("1/0/https://b.test/x", body, &pickle, false));
  folder.Put("not-an-entry_0", body);
  EXPECT_EQ(ChromiumStoreOf(folder), CacheStore::ChromiumSimple);
  const auto elements = ChromiumCacheRead(folder);
  ASSERT_EQ(elements.size(), 2u);
  for (const CacheElement& element : elements) {
    EXPECT_TRUE(element.finished);
    EXPECT_EQ(element.contentType, "audio/mpeg");
    EXPECT_EQ(element.fullLength, 5000u);
    EXPECT_TRUE(IsComplete(element));
    EXPECT_EQ(BodyOf(folder, element), body);
  }
  EXPECT_EQ(elements[0].webAddress, kUrl);
  EXPECT_EQ(CacheElementSignature(folder, elements[0]).extension, "mp3");
}

// The browser stopped the download and kept what it had, with the server's
// length and a body that may even look long enough: never complete.
TEST(ChromiumSimpleCacheTest, ABodyMarkedTruncatedIsNeverComplete) {
  MemoryCacheFolder folder = FolderWithIndex();
  const ByteVector body = Mp3(5000, 1);
  const std::string headers = HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: audio/mpeg", "Content-Length: 5000"});
  const ByteVector truncated = ResponsePickle(headers, 1u << 12);
  const ByteVector whole = ResponsePickle(headers);
  folder.Put("0123456789abcdef_0", SimpleMainFile(kKey, body, &truncated));
  folder.Put("fedcba9876543210_0", SimpleMainFile("1/0/https://b.test/x.mp3", body, &whole));
  const auto elements = ChromiumCacheRead(folder);
  ASSERT_EQ(elements.size(), 2u);
  for (const CacheElement& element : elements) {
    SCOPED_TRACE(element.key);
    EXPECT_TRUE(element.finished);
    EXPECT_EQ(element.fullLength, 5000u);
    EXPECT_EQ(ContiguousLength(element), 5000u);
    EXPECT_EQ(element.truncated, element.key == kKey);
    EXPECT_EQ(IsComplete(element), element.key != kKey);
  }
}

// Files the browser renamed for deletion ("todelete_<hash>_<file>_<generation>")
// and keys outside the grammar: the first are gone, the second still listed.
TEST(ChromiumSimpleCacheTest, FilesBeingDeletedAreNotReadAndOddKeysAreKept) {
  MemoryCacheFolder folder = FolderWithIndex();
  const ByteVector body = Mp3(3000, 2);
  const ByteVector pickle =
      ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: audio/mpeg", "Content-Length: 3000"}));
  folder.Put("todelete_0123456789abcdef_0_1", SimpleMainFile(kKey, body, &pickle));
  const std::string oddKey = "1/0/_dk_https://a.test https://a.test q r https://a.test/odd.mp3";
  folder.Put("fedcba9876543210_0", SimpleMainFile(oddKey, body, &pickle));
  const auto elements = ChromiumCacheRead(folder);
  ASSERT_EQ(elements.size(), 1u);
  EXPECT_EQ(elements[0].key, oddKey);
  EXPECT_EQ(elements[0].webAddress, oddKey);
  EXPECT_TRUE(IsComplete(elements[0]));
}

TEST(ChromiumSimpleCacheTest, GrowingEntryIsReadAsFarAsItGoes) {
  MemoryCacheFolder folder = FolderWithIndex();
  const ByteVector body = Mp3(70000, 2);
  // The browser has written the key and the first bytes of the body.
  folder.Put("0123456789abcdef_0", SimpleMainFile(kKey, ByteVector(body.begin(), body.begin() + 3), nullptr));
  auto element = ChromiumElementRead(folder, CacheStore::ChromiumSimple, "0123456789abcdef_0", "");
  ASSERT_TRUE(element);
  EXPECT_FALSE(element->finished);
  EXPECT_EQ(element->webAddress, kUrl);
  EXPECT_EQ(element->contentType, "");  // headers come at the close
  EXPECT_EQ(ContiguousLength(*element), 3u);
  // Three bytes already say MP3 when the type is not known.
  EXPECT_EQ(CacheElementSignature(folder, *element).nature, MediaNature::Audio);
  // More arrives.
  folder.Put("0123456789abcdef_0",
             SimpleMainFile(kKey, ByteVector(body.begin(), body.begin() + 40000), nullptr));
  element = SimpleCacheEntryRead(folder, "0123456789abcdef");
  ASSERT_TRUE(element);
  EXPECT_FALSE(element->finished);
  EXPECT_FALSE(IsComplete(*element));
  EXPECT_EQ(BodyOf(folder, *element), ByteVector(body.begin(), body.begin() + 40000));
  // Closed: the end records and headers follow the body.
  const ByteVector pickle = ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: audio/mpeg"}));
  folder.Put("0123456789abcdef_0", SimpleMainFile(kKey, body, &pickle));
  element = SimpleCacheEntryRead(folder, "0123456789abcdef");
  ASSERT_TRUE(element);
  EXPECT_TRUE(element->finished);
  EXPECT_TRUE(IsComplete(*element));
  EXPECT_EQ(BodyOf(folder, *element), body);
}

TEST(ChromiumSimpleCacheTest, RangesInAnyOrderWithHoles) {
  MemoryCacheFolder folder = FolderWithIndex();
  const ByteVector all = Mp3(300000, 3);
  auto part = [&](std::size_t from, std::size_t to) {
    return SparseRange{from, ByteVector(all.begin() + from, all.begin() + to)};
  };
  const ByteVector pickle = ResponsePickle(HeaderBlock(
      {"HTTP/1.1 206 Partial Content", "Content-Type: audio/mpeg", "Content-Range: bytes 0-99/300000"}));
  folder.Put("0123456789abcdef_0", SimpleMainFile(kKey, {}, &pickle));
  // A seek to 200000 first, then the start; 100000-200000 never fetched.
  folder.Put("0123456789abcdef_s", SimpleSparseFile(kKey, {part(200000, 250000), part(0, 65536),
                                                           part(250000, 300000), part(65536, 100000)}));
  auto element = SimpleCacheEntryRead(folder, "0123456789abcdef");
  ASSERT_TRUE(element);
  EXPECT_EQ(element->fullLength, 300000u);
  ASSERT_EQ(element->pieces.size(), 4u);
  for (std::size_t i = 1; i < element->pieces.size(); ++i) {
    EXPECT_LT(element->pieces[i - 1].elementOffset, element->pieces[i].elementOffset);
  }
  EXPECT_EQ(ContiguousLength(*element), 100000u);
  EXPECT_EQ(PresentLength(*element), 200000u);
  EXPECT_TRUE(element->finished);
  EXPECT_FALSE(IsComplete(*element));
  EXPECT_EQ(BodyOf(folder, *element), ByteVector(all.begin(), all.begin() + 100000));
  ByteVector tail(100000);
  CacheBodyReader reader(folder, *element);
  EXPECT_EQ(reader.Read(200000, tail.data(), tail.size()), tail.size());
  EXPECT_EQ(tail, ByteVector(all.begin() + 200000, all.end()));

  // The hole filled: complete.
  folder.Put("0123456789abcdef_s",
             SimpleSparseFile(kKey, {part(200000, 250000), part(0, 65536), part(250000, 300000),
                                     part(65536, 100000), part(100000, 200000)}));
  element = SimpleCacheEntryRead(folder, "0123456789abcdef");
  ASSERT_TRUE(element);
  EXPECT_TRUE(IsComplete(*element));
  EXPECT_EQ(BodyOf(folder, *element), all);

  // A record still being written counts with the bytes on disk; the rest of
  // the file after a damaged record is not read.
  ByteVector growing = SimpleSparseFile(kKey, {part(0, 65536), part(65536, 131072)});
  growing.resize(growing.size() - 1000);
  folder.Put("0123456789abcdef_s", growing);
  element = SimpleCacheEntryRead(folder, "0123456789abcdef");
  ASSERT_TRUE(element);
  EXPECT_EQ(ContiguousLength(*element), 131072u - 1000);
  ByteVector damaged = SimpleSparseFile(kKey, {part(0, 1000), part(1000, 2000), part(5000, 6000)});
  damaged[SimpleFileHeader(kKey, 9).size() + 32 + 1000] ^= 1;  // the second record's magic
  folder.Put("0123456789abcdef_s", damaged);
  element = SimpleCacheEntryRead(folder, "0123456789abcdef");
  ASSERT_TRUE(element);
  EXPECT_EQ(PresentLength(*element), 1000u);
  // Overlapping records (the browser never writes them): the first wins.
  folder.Put("0123456789abcdef_s",
             SimpleSparseFile(kKey, {part(0, 1000), SparseRange{500, Pattern(1000, 9)}}));
  element = SimpleCacheEntryRead(folder, "0123456789abcdef");
  ASSERT_TRUE(element);
  EXPECT_EQ(PresentLength(*element), 1500u);
  EXPECT_EQ(BodyOf(folder, *element).size(), 1500u);
  EXPECT_EQ(BodyOf(folder, *element)[999], all[999]);
}

// The reader takes the end records and stream 0 from one read of the file's
// last KiB where it can; stored responses of any length, around that read's
// edge and past it, and bodies shorter than it read the same.
TEST(ChromiumSimpleCacheTest, StoredResponsesOfEveryLengthAroundTheLastRead) {
  MemoryCacheFolder folder = FolderWithIndex();
  for (const std::size_t bodyLength :
       {std::size_t{0}, std::size_t{1}, std::size_t{5000}, std::size_t{70000}}) {
    const ByteVector body = Pattern(bodyLength, 3);
    std::vector<std::size_t> pads = {0, 12000, 40000};
    for (std::size_t pad = 7900; pad < 8250; pad += 7) pads.push_back(pad);
    for (const std::size_t pad : pads) {
      SCOPED_TRACE(testing::Message() << "body " << bodyLength << ", pad " << pad);
      const ByteVector pickle = ResponsePickle(
          HeaderBlock({"HTTP/1.1 200 OK", "X-Pad: " + std::string(pad, 'p'), "Content-Type: audio/mpeg",
                       "Content-Length: " + std::to_string(bodyLength)}));
      for (const bool keySha256 : {true, false}) {
        folder.Put("0000000000000003_0", SimpleMainFile(kKey, body, &pickle, keySha256));
        const auto element = SimpleCacheEntryRead(folder, "0000000000000003");
        ASSERT_TRUE(element);
        EXPECT_TRUE(element->finished);
        EXPECT_EQ(element->webAddress, kUrl);
        EXPECT_EQ(element->contentType, "audio/mpeg");
        EXPECT_EQ(element->fullLength, bodyLength);
        EXPECT_EQ(PresentLength(*element), bodyLength);
        if (bodyLength != 0) {
          EXPECT_EQ(BodyOf(folder, *element), body);
        }
      }
    }
  }
}

TEST(ChromiumSimpleCacheTest, LongKeysAndDamagedEntries) {
  MemoryCacheFolder folder = FolderWithIndex();
  const std::string longKey = "1/0/https://a.test/" + std::string(20000, 'k');
  const ByteVector body = Pattern(100, 4);
  const ByteVector pickle = ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: text/plain"}));
  folder.Put("0000000000000001_0", SimpleMainFile(longKey, body, &pickle));
  auto element = SimpleCacheEntryRead(folder, "0000000000000001");
  ASSERT_TRUE(element);
  EXPECT_EQ(element->webAddress, longKey.substr(4));
  EXPECT_EQ(BodyOf(folder, *element), body);

  ByteVector good = SimpleMainFile(kKey, body, &pickle);
  auto damagedRead = [&](auto edit) {
    ByteVector bytes = good;
    edit(bytes);
    folder.Put("0000000000000002_0", bytes);
    return SimpleCacheEntryRead(folder, "0000000000000002");
  };
  EXPECT_FALSE(damagedRead([](ByteVector& b) { b[0] ^= 1; }));                   // magic
  EXPECT_FALSE(damagedRead([](ByteVector& b) { PutU32(b, 12, 0xFFFFFF00u); }));  // key length
  EXPECT_FALSE(damagedRead([](ByteVector& b) { PutU32(b, 12, 0); }));
  EXPECT_FALSE(damagedRead([](ByteVector& b) { b.resize(10); }));
  // A stream 0 size past the start: not a valid close, so read as growing.
  element = damagedRead([](ByteVector& b) { PutU32(b, b.size() - 8, 0x7FFFFFFF); });
  ASSERT_TRUE(element);
  EXPECT_FALSE(element->finished);
  // Damaged headers leave the type unknown, the body stays.
  element = damagedRead(
      [&](ByteVector& b) { PutU32(b, SimpleFileHeader(kKey, 5).size() + 100 + 24, 0xFFFFFFFFu); });
  ASSERT_TRUE(element);
  EXPECT_TRUE(element->finished);
  EXPECT_EQ(element->contentType, "");
  EXPECT_EQ(BodyOf(folder, *element), body);
  // A range file of another key (replaced midway) is not mixed in.
  folder.Put("0000000000000002_0", good);
  folder.Put("0000000000000002_s", SimpleSparseFile("1/0/https://other", {{0, Pattern(10, 1)}}));
  element = SimpleCacheEntryRead(folder, "0000000000000002");
  ASSERT_TRUE(element);
  EXPECT_EQ(BodyOf(folder, *element), body);

  EXPECT_EQ(SimpleCacheEntryNameOf("0123456789abcdef_s"), "0123456789abcdef");
  EXPECT_EQ(SimpleCacheEntryNameOf("0123456789abcdef_1"), "0123456789abcdef");
  EXPECT_EQ(SimpleCacheEntryNameOf("0123456789abcdeg_0"), "");
  EXPECT_EQ(SimpleCacheEntryNameOf("0123456789abcdef_2"), "");
  EXPECT_EQ(SimpleCacheEntryNameOf("index"), "");
}

}  // namespace
