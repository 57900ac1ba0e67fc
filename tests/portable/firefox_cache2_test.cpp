#include "app/browser_caches/firefox_cache2.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

#include "tests/portable/firefox_cache2_real_entries.h"
#include "tests/support/test_cache_folders.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Elements = std::vector<std::pair<std::string, std::string>>;

constexpr const char* kEntriesPath = "/home/u/.cache/mozilla/firefox/p.default/cache2/entries";
const std::string kName1 = "0123456789ABCDEF0123456789ABCDEF01234567";
const std::string kName2 = "89ABCDEF0123456789ABCDEF0123456789ABCDEF";

void PutBe32(Bytes& bytes, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(value >> shift));
}
void PutText(Bytes& bytes, std::string_view text) { bytes.insert(bytes.end(), text.begin(), text.end()); }

Bytes BodyOf(std::size_t size, std::uint8_t seed = 0) {
  Bytes body(size);
  for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 9));
  return body;
}

Bytes Hex(std::string_view hex) {
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return bytes;
}

struct EntryLayout {
  std::uint32_t version = 4;  // 4: [version][offset] trailer; 1-3: offset only
  std::uint32_t keySizeDelta = 0;
};

// An entry as the browser writes it: body, then hash, chunk hashes, header,
// key, elements, trailer.  The hash covers chunk hashes to elements.
Bytes EntryBuild(const Bytes& body, std::string_view key, const Elements& elements, EntryLayout layout = {}) {
  Bytes meta;
  const std::size_t chunks = (body.size() + kFirefoxChunkSize - 1) / kFirefoxChunkSize;
  for (std::size_t i = 0; i < chunks; ++i) {
    meta.push_back(static_cast<std::uint8_t>(0xA0 + i));
    meta.push_back(0x5C);
  }
  PutBe32(meta, layout.version);
  for (std::uint32_t field : {1u, 0x6B17D98Eu, 0x6B17D98Eu, 0x4A3B3810u, 0x6B17E79Eu}) PutBe32(meta, field);
  PutBe32(meta, static_cast<std::uint32_t>(key.size()) + layout.keySizeDelta);
  if (layout.version >= 2) PutBe32(meta, 0);
  PutText(meta, key);
  meta.push_back(0);
  for (const auto& [name, value] : elements) {
    PutText(meta, name);
    meta.push_back(0);
    PutText(meta, value);
    meta.push_back(0);
  }
  Bytes entry = body;
  PutBe32(entry, FirefoxCacheHash(meta));
  entry.insert(entry.end(), meta.begin(), meta.end());
  if (layout.version >= 4) PutBe32(entry, layout.version);
  PutBe32(entry, static_cast<std::uint32_t>(body.size()));
  return entry;
}

Elements MediaElements(std::string_view head) {
  return {{"strongly-framed", "1"},
          {"request-method", "GET"},
          {"response-head", std::string(head)},
          {"net-response-time-onstop", "743"}};
}

constexpr std::string_view kHead206 =
    "HTTP/1.1 206 Partial Content\r\nContent-Type: Video/MP4; codecs=\"avc1\"\r\nContent-Length: 300000\r\n"
    "Accept-Ranges: bytes\r\nContent-Range: bytes 0-299999/1923739\r\n";

std::optional<CacheElement> ReadOne(MemoryCacheFolder& folder, const std::string& name) {
  return FirefoxEntryRead(folder, name);
}

void ExpectWholeBody(const CacheElement& element, std::uint64_t length) {
  ASSERT_EQ(element.pieces.size(), 1u);
  EXPECT_EQ(element.pieces[0].fileName, element.id);
  EXPECT_EQ(element.pieces[0].fileOffset, 0u);
  EXPECT_EQ(element.pieces[0].elementOffset, 0u);
  EXPECT_EQ(element.pieces[0].length, length);
}

TEST(FirefoxCache2, RawBodyWithoutMetadataIsUnfinishedAndGrows) {
  MemoryCacheFolder folder(kEntriesPath);
  Bytes body = {0, 0, 0, 0x20, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm'};
  const Bytes rest = BodyOf(70000, 3);
  body.insert(body.end(), rest.begin(), rest.end());
  folder.Put(kName1, body);

  auto element = ReadOne(folder, kName1);
  ASSERT_TRUE(element);
  EXPECT_EQ(element->store, CacheStore::FirefoxCache2);
  EXPECT_EQ(element->id, kName1);
  EXPECT_FALSE(element->finished);
  EXPECT_TRUE(element->webAddress.empty());
  EXPECT_TRUE(element->key.empty());
  EXPECT_TRUE(element->contentType.empty());
  EXPECT_FALSE(element->fullLength);
  ExpectWholeBody(*element, body.size());

  // The browser writes on: the next read sees the longer body.
  const Bytes more = BodyOf(5000, 9);
  folder.Bytes(kName1)->insert(folder.Bytes(kName1)->end(), more.begin(), more.end());
  element = ReadOne(folder, kName1);
  ASSERT_TRUE(element);
  ExpectWholeBody(*element, body.size() + more.size());

  // Then it appends the metadata: the same file is now a finished entry.
  folder.Put(kName1, EntryBuild(BodyOf(1234), ":http://127.0.0.1/v.mp4", MediaElements(kHead206)));
  element = ReadOne(folder, kName1);
  ASSERT_TRUE(element);
  EXPECT_TRUE(element->finished);
  ExpectWholeBody(*element, 1234);

  // Version 4 keeps eight 0xFF bytes behind the chunks written so far.
  Bytes open = BodyOf(2 * 262144, 5);
  open.insert(open.end(), 8, 0xFF);
  folder.Put(kName2, open);
  element = ReadOne(folder, kName2);
  ASSERT_TRUE(element);
  EXPECT_FALSE(element->finished);
  ExpectWholeBody(*element, 2 * 262144);
  folder.Put(kName2, Bytes(8, 0xFF));
  element = ReadOne(folder, kName2);
  ASSERT_TRUE(element);
  EXPECT_TRUE(element->pieces.empty());
  folder.Put(kName2, Bytes(7, 0xFF));  // too short for the marker: body bytes
  element = ReadOne(folder, kName2);
  ASSERT_TRUE(element);
  ExpectWholeBody(*element, 7);

  // A file the browser created but has not written to yet has no piece.
  folder.Put(kName2, {});
  element = ReadOne(folder, kName2);
  ASSERT_TRUE(element);
  EXPECT_FALSE(element->finished);
  EXPECT_TRUE(element->pieces.empty());
  folder.Put(kName2, {1, 2, 3});
  element = ReadOne(folder, kName2);
  ASSERT_TRUE(element);
  ExpectWholeBody(*element, 3);
}

TEST(FirefoxCache2, MetadataGivesAddressTypeAndLengths) {
  MemoryCacheFolder folder(kEntriesPath);
  // Two chunks, so two chunk hashes sit between the hash and the header.
  const Bytes body = BodyOf(300000);
  folder.Put(kName1,
             EntryBuild(body, "O^partitionKey=%28http%2C127.0.0.1%29,:http://127.0.0.1:8765/clip.mp4",
                        MediaElements(kHead206)),
             777);
  const auto element = FirefoxEntryRead(folder, kName1, 777);
  ASSERT_TRUE(element);
  EXPECT_TRUE(element->finished);
  EXPECT_EQ(element->key, "O^partitionKey=%28http%2C127.0.0.1%29,:http://127.0.0.1:8765/clip.mp4");
  EXPECT_EQ(element->webAddress, "http://127.0.0.1:8765/clip.mp4");
  EXPECT_EQ(element->httpStatus, 206);
  EXPECT_EQ(element->contentType, "video/mp4");
  EXPECT_TRUE(element->contentEncoding.empty());
  EXPECT_EQ(element->fullLength, std::optional<std::uint64_t>(1923739));  // the range's total
  EXPECT_EQ(element->lastWritten, 777u);
  ExpectWholeBody(*element, body.size());
}

// The reader takes the trailer and the metadata from one read of the file's
// last KiB where it can; metadata of any length, around that read's edge and
// past it, behind bodies shorter and longer than it, reads the same.
TEST(FirefoxCache2, MetadataOfEveryLengthAroundTheLastRead) {
  MemoryCacheFolder folder(kEntriesPath);
  for (const std::size_t bodyLength :
       {std::size_t{0}, std::size_t{10}, std::size_t{6000}, std::size_t{300000}}) {
    const Bytes body = BodyOf(bodyLength, 5);
    std::vector<std::size_t> pads = {0, 20000};
    for (std::size_t pad = 7800; pad < 8250; pad += 9) pads.push_back(pad);
    for (const std::size_t pad : pads) {
      SCOPED_TRACE(testing::Message() << "body " << bodyLength << ", pad " << pad);
      const std::string head =
          "HTTP/1.1 200 OK\r\nX-Pad: " + std::string(pad, 'p') +
          "\r\nContent-Type: audio/ogg\r\nContent-Length: " + std::to_string(bodyLength) + "\r\n";
      for (const std::uint32_t version : {4u, 3u}) {
        folder.Put(kName1, EntryBuild(body, ":https://a.test/s.ogg", MediaElements(head), {version}));
        const auto element = ReadOne(folder, kName1);
        ASSERT_TRUE(element);
        EXPECT_TRUE(element->finished);
        EXPECT_EQ(element->webAddress, "https://a.test/s.ogg");
        EXPECT_EQ(element->contentType, "audio/ogg");
        EXPECT_EQ(element->fullLength, bodyLength);
        if (bodyLength != 0) {
          ExpectWholeBody(*element, bodyLength);
        } else {
          EXPECT_TRUE(element->pieces.empty());
        }
      }
    }
  }
}

TEST(FirefoxCache2, ResponseHeadFieldsAndTheirDefaults) {
  struct Case {
    std::string_view head;
    int status;
    std::string_view type;
    std::string_view encoding;
    std::optional<std::uint64_t> fullLength;
  };
  const Case cases[] = {
      {"HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\nContent-Length: 24469\r\n", 200, "audio/mpeg", "",
       24469},
      {"HTTP/1.1 200 OK\r\ncontent-type:text/html;charset=utf-8\r\ncontent-encoding: GZIP\r\n", 200,
       "text/html", "gzip", std::nullopt},
      {"HTTP/1.1 200 OK\r\nContent-Encoding: identity\r\nContent-Length: 12\r\n", 200, "", "", 12},
      // A part without its range says nothing about the whole.
      {"HTTP/1.1 206 Partial Content\r\nContent-Length: 100\r\n", 206, "", "", std::nullopt},
      {"HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-99/*\r\nContent-Length: 100\r\n", 206, "", "",
       std::nullopt},
      {"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n", 404, "", "", 0},
      {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n", 200, "", "", std::nullopt},
      {"garbage\r\nContent-Length: -5\r\nContent-Type\r\n", 0, "", "", std::nullopt},
      {"", 0, "", "", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.head));
    MemoryCacheFolder folder(kEntriesPath);
    folder.Put(kName1, EntryBuild(BodyOf(12), "a,:http://h/x", MediaElements(c.head)));
    const auto element = ReadOne(folder, kName1);
    ASSERT_TRUE(element);
    EXPECT_EQ(element->httpStatus, c.status);
    EXPECT_EQ(element->contentType, c.type);
    EXPECT_EQ(element->contentEncoding, c.encoding);
    EXPECT_EQ(element->fullLength, c.fullLength);
  }
  // Without a response head the entry is still finished, its type unknown.
  MemoryCacheFolder folder(kEntriesPath);
  folder.Put(kName1, EntryBuild(BodyOf(12), ":http://h/x", {}));
  const auto element = ReadOne(folder, kName1);
  ASSERT_TRUE(element);
  EXPECT_TRUE(element->finished);
  EXPECT_EQ(element->httpStatus, 0);
  EXPECT_FALSE(element->fullLength);
}

TEST(FirefoxCache2, OlderHeaderVersionsWithTheSingleOffsetTrailer) {
  for (std::uint32_t version : {1u, 2u, 3u}) {
    SCOPED_TRACE(version);
    MemoryCacheFolder folder(kEntriesPath);
    const Bytes body = BodyOf(262144 + 1);  // just over one chunk
    EntryLayout layout;
    layout.version = version;
    folder.Put(kName1, EntryBuild(body, "a,:https://e.org/a.webm", MediaElements(kHead206), layout));
    const auto element = ReadOne(folder, kName1);
    ASSERT_TRUE(element);
    EXPECT_TRUE(element->finished);
    EXPECT_EQ(element->webAddress, "https://e.org/a.webm");
    EXPECT_EQ(element->contentType, "video/mp4");
    ExpectWholeBody(*element, body.size());
  }
}

TEST(FirefoxCache2, KeyTagsAreTakenOffTheAddress) {
  const std::pair<std::string_view, std::string_view> good[] = {
      {":http://h/a.mp4", "http://h/a.mp4"},
      {"a,:http://h/a.mp4", "http://h/a.mp4"},
      {"a,p,:http://h/a.mp4", "http://h/a.mp4"},
      {"O^userContextId=2&privateBrowsingId=1,a,p,:https://h/a", "https://h/a"},
      {"O^partitionKey=%28https%2Cexample.com%29,:https://cdn.example.com/v.webm?x=1",
       "https://cdn.example.com/v.webm?x=1"},
      // Commas inside a tag's value are doubled; one alone ends the tag.
      {"O^firstPartyDomain=a,,b,,,a,:http://h/x", "http://h/x"},
      {"O^x=1,~post,,id=12,:http://h/form", "http://h/form"},
      {"b,i1024,:http://old/entry", "http://old/entry"},
      {"Z,a,:http://h/unknown-tag", "http://h/unknown-tag"},
      {"Qvalue,:http://h/unknown-tag-with-value", "http://h/unknown-tag-with-value"},
      // The address itself is stored as it is: its commas stay single.
      {"a,:http://h/tone,1.mp3", "http://h/tone,1.mp3"},
      {":http://h/a,,b", "http://h/a,,b"},
      {"~x,:", ""},
      {"a,", ""},
      {"", ""},
  };
  for (const auto& [key, address] : good) {
    SCOPED_TRACE(std::string(key));
    EXPECT_EQ(FirefoxKeyAddress(key), std::optional<std::string>(address));
  }
  const std::string_view bad[] = {
      "p,a,:http://h/",   // tags out of order
      "a,a,:http://h/",   // a tag twice
      "a:http://h/",      // no comma after a tag
      "O^abc",            // a value that never ends
      "O^abc,,",          // only an escaped comma at the end
      "i,:http://h/",     // an id without digits
      "i12345678901,:h",  // an id too long for 32 bits
      "\x01,:http://h/",  // a tag below the blank
      "\x80,:http://h/", "~",
  };
  for (std::string_view key : bad) {
    SCOPED_TRACE(std::string(key));
    EXPECT_FALSE(FirefoxKeyAddress(key));
  }
}

TEST(FirefoxCache2, DoubledCommaInTheKeyStaysOutOfTheAddress) {
  MemoryCacheFolder folder(kEntriesPath);
  const std::string key = "O^partitionKey=a,,b,~1,,2,:http://127.0.0.1:8765/tone,1.mp3";
  folder.Put(
      kName1,
      EntryBuild(BodyOf(24469), key,
                 MediaElements("HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\nContent-Length: 24469")));
  const auto element = ReadOne(folder, kName1);
  ASSERT_TRUE(element);
  EXPECT_EQ(element->key, key);
  EXPECT_EQ(element->webAddress, "http://127.0.0.1:8765/tone,1.mp3");
  EXPECT_EQ(element->contentType, "audio/mpeg");
  EXPECT_EQ(element->fullLength, std::optional<std::uint64_t>(24469));
}

TEST(FirefoxCache2, BrokenMetadataSkipsTheEntry) {
  const Bytes body = BodyOf(5000);
  const std::string key = "a,:http://h/v.mp4";
  const Bytes good = EntryBuild(body, key, MediaElements(kHead206));
  const std::size_t meta = body.size();
  const std::size_t keyAt = meta + 4 + 2 + 32;
  struct Case {
    const char* what;
    Bytes entry;
  };
  std::vector<Case> cases;
  auto flipped = [&](std::size_t at) {
    Bytes entry = good;
    entry[at] ^= 0x01;
    return entry;
  };
  cases.push_back({"hash", flipped(meta)});
  cases.push_back({"chunk hash", flipped(meta + 4)});
  cases.push_back({"key byte", flipped(keyAt + 3)});
  cases.push_back({"element byte", flipped(keyAt + key.size() + 5)});
  EntryLayout longer;
  longer.keySizeDelta = 1;  // the key's NUL is then not where the size says
  cases.push_back({"key size one off", EntryBuild(body, key, MediaElements(kHead206), longer)});
  longer.keySizeDelta = 0x7FFF0000u;
  cases.push_back({"key size past the file", EntryBuild(body, key, MediaElements(kHead206), longer)});
  // Well-hashed, but not what the browser writes.
  cases.push_back({"key does not parse", EntryBuild(body, "p,a,:http://h/", MediaElements(kHead206))});
  cases.push_back({"NUL inside the key", EntryBuild(body, std::string("a,:h\0x", 6), {})});
  cases.push_back({"elements not in pairs", EntryBuild(body, key, {{"a", std::string("b\0c", 3)}})});
  cases.push_back({"elements too large",
                   EntryBuild(body, key, {{"response-head", std::string(kFirefoxMaxElementsSize, 'x')}})});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryCacheFolder folder(kEntriesPath);
    folder.Put(kName1, c.entry);
    EXPECT_FALSE(ReadOne(folder, kName1));
  }
  // The good entry itself reads.
  MemoryCacheFolder folder(kEntriesPath);
  folder.Put(kName1, good);
  EXPECT_TRUE(ReadOne(folder, kName1));
}

TEST(FirefoxCache2, TailsThatOnlyLookLikeATrailerLeaveARawBody) {
  const Bytes good = EntryBuild(BodyOf(5000), "a,:http://h/v.mp4", MediaElements(kHead206));
  std::vector<std::pair<const char*, Bytes>> cases;
  // Cut anywhere in the metadata: the trailer is gone.
  for (std::size_t cut : {1u, 4u, 8u, 60u}) cases.push_back({"cut", Bytes(good.begin(), good.end() - cut)});
  // A raw body ending in an offset inside the file, behind which there is no
  // header (the version is not one the browser writes).
  Bytes tail = BodyOf(3000);
  PutBe32(tail, 1000);
  cases.push_back({"offset into the body", tail});
  // ... and the modern trailer's shape, [4][offset], over body bytes.
  Bytes modern = BodyOf(3000);
  PutBe32(modern, 4);
  PutBe32(modern, 16);
  cases.push_back({"modern trailer shape", modern});
  Bytes beyond = BodyOf(3000);
  PutBe32(beyond, 0xFFFFFFF0u);
  cases.push_back({"offset beyond the file", beyond});
  Bytes zero = BodyOf(100);
  PutBe32(zero, 0);
  cases.push_back({"offset zero", zero});
  EntryLayout future;
  future.version = 9;
  cases.push_back({"unknown version", EntryBuild(BodyOf(5000), "a,:http://h/", {}, future)});
  // A huge offset word with the encryption flag set: not readable as plain.
  Bytes flagged = BodyOf(300);
  PutBe32(flagged, 4);
  PutBe32(flagged, 0x80000010u);
  cases.push_back({"encrypted flag", flagged});
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    MemoryCacheFolder folder(kEntriesPath);
    folder.Put(kName1, bytes);
    const auto element = ReadOne(folder, kName1);
    ASSERT_TRUE(element);
    EXPECT_FALSE(element->finished);
    EXPECT_TRUE(element->webAddress.empty());
    ExpectWholeBody(*element, bytes.size());
  }
}

TEST(FirefoxCache2, AlternativeDataEndsTheBodyEarly) {
  MemoryCacheFolder folder(kEntriesPath);
  Elements elements =
      MediaElements("HTTP/1.1 200 OK\r\nContent-Type: text/javascript\r\nContent-Length: 600");
  elements.push_back({"alt-data", "1;600,javascript/moz-script-bytecode"});
  folder.Put(kName1, EntryBuild(BodyOf(900), ":http://h/app.js", elements));
  auto element = ReadOne(folder, kName1);
  ASSERT_TRUE(element);
  ExpectWholeBody(*element, 600);
  // An offset past the body is ignored.
  elements.back().second = "1;5000,javascript/moz-script-bytecode";
  folder.Put(kName1, EntryBuild(BodyOf(900), ":http://h/app.js", elements));
  element = ReadOne(folder, kName1);
  ASSERT_TRUE(element);
  ExpectWholeBody(*element, 900);
}

TEST(FirefoxCache2, OnlyEntriesFoldersAndEntryNamesAreRead) {
  EXPECT_TRUE(
      FirefoxEntriesFolderIs("C:\\Users\\u\\AppData\\Local\\Mozilla\\Firefox\\Profiles\\p\\cache2\\entries"));
  EXPECT_TRUE(FirefoxEntriesFolderIs("/x/CACHE2/Entries/"));
  EXPECT_TRUE(FirefoxEntriesFolderIs("cache2\\entries\\\\"));
  EXPECT_FALSE(FirefoxEntriesFolderIs("/x/cache2/doomed"));
  EXPECT_FALSE(FirefoxEntriesFolderIs("/x/cache2/trash12345"));
  EXPECT_FALSE(FirefoxEntriesFolderIs("/x/cache2/trash12345/entries/sub"));
  EXPECT_FALSE(FirefoxEntriesFolderIs("/x/Cache_Data/entries"));
  EXPECT_FALSE(FirefoxEntriesFolderIs("entries"));
  EXPECT_FALSE(FirefoxEntriesFolderIs(""));
  EXPECT_TRUE(FirefoxEntryNameIs(kName1));
  EXPECT_TRUE(FirefoxEntryNameIs("abcdef0123456789abcdef0123456789abcdef01"));
  EXPECT_FALSE(FirefoxEntryNameIs(kName1.substr(1)));
  EXPECT_FALSE(FirefoxEntryNameIs(kName1 + "0"));
  EXPECT_FALSE(FirefoxEntryNameIs("0123456789ABCDEF0123456789ABCDEF0123456G"));

  const Bytes entry = EntryBuild(BodyOf(100), ":http://h/a.mp3", {});
  for (const char* dropped : {"/p/cache2/doomed", "/p/cache2/trash4021"}) {
    SCOPED_TRACE(dropped);
    MemoryCacheFolder folder(dropped);
    folder.Put(kName1, entry);
    EXPECT_FALSE(FirefoxEntryRead(folder, kName1));
    EXPECT_TRUE(FirefoxEntriesRead(folder).empty());
  }
  MemoryCacheFolder folder(kEntriesPath);
  folder.Put("index", entry);
  EXPECT_FALSE(FirefoxEntryRead(folder, "index"));
  EXPECT_FALSE(FirefoxEntryRead(folder, kName1));  // not there
}

TEST(FirefoxCache2, FolderReadSkipsOnlyTheBrokenEntries) {
  MemoryCacheFolder folder(kEntriesPath);
  const std::string broken = "00000000000000000000000000000000000000AA";
  Bytes bad = EntryBuild(BodyOf(50), "a,:http://h/bad", {});
  bad[52] ^= 0xFF;  // inside the hash
  folder.Put(kName2, BodyOf(4000, 1), 20);
  folder.Put(broken, bad, 30);
  folder.Put(kName1, EntryBuild(BodyOf(50), "a,:http://h/good.webm", {}), 10);
  folder.Put("index", BodyOf(100), 40);
  const auto elements = FirefoxEntriesRead(folder);
  ASSERT_EQ(elements.size(), 2u);
  EXPECT_EQ(elements[0].id, kName1);
  EXPECT_TRUE(elements[0].finished);
  EXPECT_EQ(elements[0].webAddress, "http://h/good.webm");
  EXPECT_EQ(elements[0].lastWritten, 10u);
  EXPECT_EQ(elements[1].id, kName2);
  EXPECT_FALSE(elements[1].finished);
  EXPECT_EQ(elements[1].lastWritten, 20u);
  ExpectWholeBody(elements[1], 4000);
}

TEST(FirefoxCache2, HashIsTheBrowsersJenkinsHash) {
  // The real entries below check it against the browser; here that every
  // byte and the length count, across the 12-byte rounds and the tail.
  Bytes bytes = BodyOf(40);
  const std::uint32_t whole = FirefoxCacheHash(bytes);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    Bytes changed = bytes;
    changed[i] ^= 0x80;
    EXPECT_NE(FirefoxCacheHash(changed), whole) << i;
  }
  for (std::size_t length = 0; length < 26; ++length) {
    EXPECT_NE(FirefoxCacheHash(std::span(bytes).first(length)),
              FirefoxCacheHash(std::span(bytes).first(length + 1)))
        << length;
  }
}

TEST(FirefoxCache2, EntriesWrittenByTheRealBrowser) {
  MemoryCacheFolder folder(kEntriesPath);
  folder.Put(kName1, Hex(kFirefoxRealPageEntry));
  folder.Put(kName2, Hex(kFirefoxRealFaviconEntry));
  const std::string home = "D0F48A0632B6C451791F4257697E861961F06A6F";
  folder.Put(home, Hex(kFirefoxRealAboutHomeEntry));

  auto page = ReadOne(folder, kName1);
  ASSERT_TRUE(page);
  EXPECT_TRUE(page->finished);
  EXPECT_EQ(page->webAddress, "http://127.0.0.1:45273/index.html");
  EXPECT_EQ(page->key, "O^partitionKey=%28http%2C127.0.0.1%29,:http://127.0.0.1:45273/index.html");
  EXPECT_EQ(page->httpStatus, 200);
  EXPECT_EQ(page->contentType, "text/html");
  EXPECT_EQ(page->fullLength, std::optional<std::uint64_t>(224));
  ExpectWholeBody(*page, 224);
  const Bytes pageBytes = Hex(kFirefoxRealPageEntry);
  EXPECT_EQ(std::string(pageBytes.begin(), pageBytes.begin() + 15), "<!doctype html>");

  auto favicon = ReadOne(folder, kName2);
  ASSERT_TRUE(favicon);
  EXPECT_TRUE(favicon->finished);
  EXPECT_EQ(favicon->webAddress, "http://127.0.0.1:45273/favicon.ico");
  EXPECT_EQ(favicon->httpStatus, 404);
  EXPECT_EQ(favicon->fullLength, std::optional<std::uint64_t>(0));
  EXPECT_TRUE(favicon->pieces.empty());

  auto aboutHome = ReadOne(folder, home);
  ASSERT_TRUE(aboutHome);
  EXPECT_TRUE(aboutHome->finished);
  EXPECT_EQ(aboutHome->webAddress, "about:home");
  EXPECT_EQ(aboutHome->httpStatus, 0);

  // One bit off anywhere in the real metadata and the entry is skipped or,
  // where the trailer itself breaks, taken for a raw body.
  for (std::size_t at = 224; at < pageBytes.size(); at += 17) {
    Bytes changed = pageBytes;
    changed[at] ^= 0x04;
    folder.Put(kName1, changed);
    page = ReadOne(folder, kName1);
    EXPECT_TRUE(!page || !page->finished) << at;
  }
}

// A cache filled by the real browser (tests/browser/firefox_capture.sh),
// given by EE_FIREFOX_CAPTURE: every medium served is found with its address,
// type and length, and its body equals the served file byte for byte.
TEST(FirefoxCache2, RealBrowserCache) {
  const char* capture = std::getenv("EE_FIREFOX_CAPTURE");
  if (capture == nullptr) GTEST_SKIP() << "EE_FIREFOX_CAPTURE is not set (ctest firefox_real_cache sets it)";
  const std::filesystem::path root = capture;
  auto fileBytes = [](const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  auto bodyBytes = [&](const std::filesystem::path& folder, const CacheElement& element) {
    Bytes file = fileBytes(folder / element.id);
    Bytes body;
    for (const BodyPiece& piece : element.pieces) {
      EXPECT_LE(piece.fileOffset + piece.length, file.size());
      body.insert(body.end(), file.begin() + static_cast<std::ptrdiff_t>(piece.fileOffset),
                  file.begin() + static_cast<std::ptrdiff_t>(piece.fileOffset + piece.length));
    }
    return body;
  };

  const std::filesystem::path entries = root / "cache" / "cache2" / "entries";
  DiskCacheFolder folder(entries);
  const auto elements = FirefoxEntriesRead(folder);
  struct Medium {
    std::string_view file;
    std::string_view type;
  };
  for (const Medium medium : {Medium{"clip.mp4", "video/mp4"}, Medium{"clip.webm", "video/webm"},
                              Medium{"tone,1.mp3", "audio/mpeg"}}) {
    SCOPED_TRACE(std::string(medium.file));
    const Bytes served = fileBytes(root / "site" / std::string(medium.file));
    ASSERT_FALSE(served.empty());
    const CacheElement* found = nullptr;
    for (const CacheElement& element : elements) {
      const std::string_view address = element.webAddress;
      if (address.size() > medium.file.size() &&
          address.substr(address.size() - medium.file.size()) == medium.file &&
          address[address.size() - medium.file.size() - 1] == '/') {
        EXPECT_EQ(found, nullptr) << "found twice";
        found = &element;
      }
    }
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->webAddress.substr(0, 17), "http://127.0.0.1:");
    EXPECT_TRUE(found->finished);
    EXPECT_EQ(found->contentType, medium.type);
    EXPECT_EQ(found->fullLength, std::optional<std::uint64_t>(served.size()));
    EXPECT_EQ(found->id.size(), 40u);
    EXPECT_TRUE(bodyBytes(entries, *found) == served);
  }
  // Nothing else claims to be one of them, and no entry reads as broken.
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(entries))
    files += entry.is_regular_file() ? 1 : 0;
  EXPECT_EQ(elements.size(), files);

  // The copy taken while the slow MP4 was still coming in: its entry has no
  // metadata yet, so it is unfinished and without an address, and what is
  // there is the start of the served file.
  const std::filesystem::path during = root / "during" / "cache2" / "entries";
  DiskCacheFolder early(during);
  const Bytes mp4 = fileBytes(root / "site" / "clip.mp4");
  bool rawMp4 = false;
  for (const CacheElement& element : FirefoxEntriesRead(early)) {
    if (element.finished) continue;
    EXPECT_TRUE(element.webAddress.empty());
    const Bytes body = bodyBytes(during, element);
    if (body.size() >= 16 && body.size() < mp4.size() && std::equal(body.begin(), body.end(), mp4.begin()))
      rawMp4 = true;
  }
  EXPECT_TRUE(rawMp4) << "no raw MP4 body in the copy taken during the download";
}

}  // namespace
