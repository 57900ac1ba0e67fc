// Caches written by the real browser (Debian's chromium, headless) playing a
// page with an MP4 of more than 1 MiB and a WebM through <video>, an MP3
// through <audio>, and fetching a small MP4 whole (200).  The media were
// made with ffmpeg and served with ranges (206, validators); the block-file
// index was shrunk to 512 buckets and the block files cut after their last
// used block, which the readers must take as the browser leaves them.
#include <gtest/gtest.h>

#ifndef _WIN32

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/browser_caches/cache_folder_disk.h"
#include "app/browser_caches/chromium_block_files.h"
#include "app/browser_caches/chromium_cache.h"
#include "app/browser_caches/chromium_simple_cache.h"

namespace {

struct Served {
  std::string url;
  std::string contentType;
  std::uint64_t length;
  std::uint64_t fnv1a;  // of the served file
  MediaNature nature;
  std::string_view extension;
};

const Served kServed[] = {
    {"http://127.0.0.1:8765/clip.mp4", "video/mp4", 1262460, 0xe2b56a9cd5929e33ull, MediaNature::Video,
     "mp4"},
    {"http://127.0.0.1:8765/clip.webm", "video/webm", 25226, 0x9cae33b5854f04b3ull, MediaNature::Video,
     "webm"},
    {"http://127.0.0.1:8765/tone.mp3", "audio/mpeg", 32644, 0x207180a3e6a004ceull, MediaNature::Audio, "mp3"},
    {"http://127.0.0.1:8765/whole.mp4", "video/mp4", 16872, 0xf052b1b81689987eull, MediaNature::Video, "mp4"},
};

std::uint64_t Fnv1a(const std::vector<std::uint8_t>& bytes) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (std::uint8_t byte : bytes) hash = (hash ^ byte) * 0x100000001b3ull;
  return hash;
}

std::vector<std::uint8_t> BodyRead(CacheFolder& folder, const CacheElement& element) {
  std::vector<std::uint8_t> body(static_cast<std::size_t>(ContiguousLength(element)));
  CacheBodyReader reader(folder, element);
  // Small, odd reads cross piece and file boundaries.
  std::size_t done = 0;
  while (done < body.size()) {
    const std::size_t got =
        reader.Read(done, body.data() + done, std::min<std::size_t>(77777, body.size() - done));
    if (got == 0) break;
    done += got;
  }
  body.resize(done);
  return body;
}

std::unique_ptr<CacheFolder> DataFolder(const char* name) {
  auto folder = DiskCacheFolderOpen(std::string(EE_TEST_DATA_DIR) + "/" + name);
  EXPECT_TRUE(folder) << name;
  return folder;
}

void ExpectServedMedia(CacheFolder& folder, const std::vector<CacheElement>& elements) {
  std::map<std::string, const CacheElement*> byUrl;
  for (const CacheElement& element : elements) byUrl[element.webAddress] = &element;
  for (const Served& served : kServed) {
    SCOPED_TRACE(served.url);
    ASSERT_TRUE(byUrl.count(served.url));
    const CacheElement& element = *byUrl[served.url];
    EXPECT_EQ(element.contentType, served.contentType);
    EXPECT_EQ(element.fullLength, served.length);
    EXPECT_TRUE(element.finished);
    EXPECT_TRUE(IsComplete(element));
    EXPECT_EQ(PresentLength(element), served.length);
    const auto body = BodyRead(folder, element);
    EXPECT_EQ(body.size(), served.length);
    EXPECT_EQ(Fnv1a(body), served.fnv1a);
    const MediaSignature signature = CacheElementSignature(folder, element);
    EXPECT_EQ(signature.nature, served.nature);
    EXPECT_EQ(signature.extension, served.extension);
  }
  // The page and the missing favicon are elements too, but not media.
  ASSERT_TRUE(byUrl.count("http://127.0.0.1:8765/index.html"));
  EXPECT_EQ(CacheElementSignature(folder, *byUrl["http://127.0.0.1:8765/index.html"]).nature,
            MediaNature::NotMedia);
  ASSERT_TRUE(byUrl.count("http://127.0.0.1:8765/favicon.ico"));
  EXPECT_EQ(byUrl["http://127.0.0.1:8765/favicon.ico"]->httpStatus, 404);
  EXPECT_EQ(elements.size(), 6u);
}

TEST(ChromiumRealCacheTest, BlockFilesYieldEachMediumWhole) {
  auto folder = DataFolder("chromium_blockfile");
  ASSERT_TRUE(folder);
  EXPECT_EQ(ChromiumStoreOf(*folder), CacheStore::ChromiumBlockFiles);
  const auto elements = ChromiumCacheRead(*folder);
  ExpectServedMedia(*folder, elements);
  // The large MP4 is two children: f_000002 (1 MiB) and f_000003.
  for (const CacheElement& element : elements) {
    if (element.webAddress != kServed[0].url) continue;
    ASSERT_EQ(element.pieces.size(), 2u);
    EXPECT_EQ(element.pieces[0].fileName, "f_000002");
    EXPECT_EQ(element.pieces[1].fileName, "f_000003");
    EXPECT_EQ(element.pieces[1].elementOffset, 1u << 20);
  }
}

TEST(ChromiumRealCacheTest, BlockFileElementIsFoundByItsKeyAlone) {
  auto folder = DataFolder("chromium_blockfile");
  ASSERT_TRUE(folder);
  for (const CacheElement& element : ChromiumCacheRead(*folder)) {
    SCOPED_TRACE(element.key);
    const auto again = ChromiumElementRead(*folder, CacheStore::ChromiumBlockFiles, "", element.key);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->webAddress, element.webAddress);
    EXPECT_EQ(again->fullLength, element.fullLength);
    EXPECT_EQ(again->finished, element.finished);
    ASSERT_EQ(again->pieces.size(), element.pieces.size());
    for (std::size_t i = 0; i < element.pieces.size(); ++i) {
      EXPECT_EQ(again->pieces[i].fileName, element.pieces[i].fileName);
      EXPECT_EQ(again->pieces[i].length, element.pieces[i].length);
    }
  }
  EXPECT_FALSE(
      BlockFileElementRead(*folder, "1/0/_dk_http://127.0.0.1 http://127.0.0.1 http://127.0.0.1:8765/x"));
}

TEST(ChromiumRealCacheTest, SimpleCacheYieldsEachMediumWhole) {
  auto folder = DataFolder("chromium_simple");
  ASSERT_TRUE(folder);
  EXPECT_EQ(ChromiumStoreOf(*folder), CacheStore::ChromiumSimple);
  const auto elements = ChromiumCacheRead(*folder);
  ExpectServedMedia(*folder, elements);
  // One growing entry is read again from its own files.
  const auto one = ChromiumElementRead(*folder, CacheStore::ChromiumSimple, "ced52364650572fd_s", "");
  ASSERT_TRUE(one);
  EXPECT_EQ(one->webAddress, kServed[0].url);
  EXPECT_EQ(PresentLength(*one), kServed[0].length);
}

}  // namespace

#endif  // _WIN32
