// What a scan takes from a folder: only the video and audio of a browser
// cache (no pages, no stream segments), media files of a plain folder by
// their extension, the class filter, and the report row of an element; and
// what it costs: each file of every store opened once, none left open, and
// files that go between the listing and the read left out.
#include <gtest/gtest.h>

#include "app/browser_caches/cache_folder_memory.h"
#include "app/browser_caches/chromium_block_files.h"
#include "app/command_line/cache_scan.h"
#include "app/command_line/report_rows.h"
#include "app/command_line/listed_cache_folder.h"
#include "tests/support/chromium_cache_builders.h"
#include "tests/support/firefox_entry_builder.h"

namespace {

ByteVector Mp3(std::size_t length) {
  ByteVector bytes = Pattern(length, 7);
  bytes[0] = 'I', bytes[1] = 'D', bytes[2] = '3';
  return bytes;
}

ByteVector Mp4(std::size_t length) {
  ByteVector bytes = Pattern(length, 9);
  const std::uint8_t box[] = {0, 0, 0, 24, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm',
                              0, 0, 2, 0,  'i', 's', 'o', 'm', 'm', 'p', '4', '1'};
  std::copy(std::begin(box), std::end(box), bytes.begin());
  return bytes;
}

// A DASH initialisation segment: ftyp, then a moov announcing fragments (mvex).
ByteVector Fmp4Init(std::size_t length) {
  ByteVector bytes = Pattern(length, 11);
  const std::uint8_t boxes[] = {0,   0,   0,   16,  'f', 't', 'y', 'p', 'd', 'a', 's', 'h', 0, 0,
                                0,   0,   0,   0,   0,   24,  'm', 'o', 'o', 'v', 0,   0,   0, 16,
                                'm', 'v', 'e', 'x', 0,   0,   0,   8,   't', 'r', 'e', 'x'};
  std::copy(std::begin(boxes), std::end(boxes), bytes.begin());
  return bytes;
}

ByteVector TsSegment(std::size_t length) {
  ByteVector bytes(length, 0xFF);
  for (std::size_t at = 0; at < length; at += 188) bytes[at] = 0x47;
  return bytes;
}

MemoryCacheFolder SimpleCache() {
  MemoryCacheFolder folder;
  folder.Put("index", SimpleIndex());
  return folder;
}

void PutEntry(MemoryCacheFolder& folder, const std::string& file, const std::string& url,
              const ByteVector& body, std::initializer_list<std::string_view> headers, bool closed = true) {
  const ByteVector pickle = ResponsePickle(HeaderBlock(headers));
  folder.Put(file,
             SimpleMainFile("1/0/_dk_https://a.test https://a.test " + url, body, closed ? &pickle : nullptr),
             133000000000000000ull);
}

}  // namespace

TEST(CacheScan, BrowserCacheGivesOnlyItsMedia) {
  MemoryCacheFolder folder = SimpleCache();
  PutEntry(folder, "0000000000000001_0", "https://a.test/s.mp3", Mp3(3000),
           {"HTTP/1.1 200 OK", "Content-Type: audio/mpeg", "Content-Length: 3000"});
  PutEntry(folder, "0000000000000002_0", "https://a.test/v.mp4", Mp4(5000),
           {"HTTP/1.1 200 OK", "Content-Type: video/mp4", "Content-Length: 9000"});
  PutEntry(folder, "0000000000000003_0", "https://a.test/page.html", ByteVector(500, 'x'),
           {"HTTP/1.1 200 OK", "Content-Type: text/html", "Content-Length: 500"});
  PutEntry(folder, "0000000000000004_0", "https://a.test/seg1.ts", TsSegment(188 * 20),
           {"HTTP/1.1 200 OK", "Content-Type: video/mp2t", "Content-Length: 3760"});
  PutEntry(folder, "0000000000000005_0", "https://a.test/list.m3u8",
           ByteVector{'#', 'E', 'X', 'T', 'M', '3', 'U'},
           {"HTTP/1.1 200 OK", "Content-Type: application/vnd.apple.mpegurl", "Content-Length: 7"});
  // Media bytes under a picture's type are not looked at; under a generic type they are.
  PutEntry(folder, "0000000000000006_0", "https://a.test/pic.png", Mp4(800),
           {"HTTP/1.1 200 OK", "Content-Type: image/png", "Content-Length: 800"});
  PutEntry(folder, "0000000000000007_0", "https://a.test/blob", Mp4(800),
           {"HTTP/1.1 200 OK", "Content-Type: application/octet-stream", "Content-Length: 800"});
  // A stream's initialisation segment under a video type is a stream part, not a video.
  PutEntry(folder, "0000000000000008_0", "https://a.test/v/init.mp4", Fmp4Init(900),
           {"HTTP/1.1 200 OK", "Content-Type: video/mp4", "Content-Length: 900"});
  ASSERT_EQ(CacheFolderKindOf(folder), CacheFolderKind::Chromium);

  std::vector<ScannedMedia> media = CacheMediaElements(folder);
  ASSERT_EQ(media.size(), 3u);
  std::sort(media.begin(), media.end(), [](const ScannedMedia& a, const ScannedMedia& b) {
    return a.element.webAddress < b.element.webAddress;
  });
  EXPECT_EQ(media[0].element.webAddress, "https://a.test/blob");
  EXPECT_EQ(media[0].mediaClass, ReportClass::Video);
  EXPECT_EQ(media[0].extension, "mp4");
  media.erase(media.begin());
  EXPECT_EQ(media[0].element.webAddress, "https://a.test/s.mp3");
  EXPECT_EQ(media[0].mediaClass, ReportClass::Audio);
  EXPECT_EQ(media[0].extension, "mp3");
  EXPECT_EQ(media[1].element.webAddress, "https://a.test/v.mp4");
  EXPECT_EQ(media[1].mediaClass, ReportClass::Video);
  EXPECT_EQ(media[1].extension, "mp4");

  const ReportRow audio = ReportRowOf(media[0], "Chrome", "C:\\c", ReportTime{2026, 2, 3, 4, 5, 6});
  EXPECT_EQ(audio.mediaType, "audio/mpeg");
  EXPECT_EQ(audio.fullLength, 3000u);
  EXPECT_EQ(audio.presentBytes, 3000u);
  EXPECT_TRUE(audio.complete);
  EXPECT_EQ(audio.browser, "Chrome");
  EXPECT_EQ(audio.cacheFolder, "C:\\c");
  // 5000 of 9000 bytes: present but not complete.
  const ReportRow video = ReportRowOf(media[1], "Edge", "C:\\d", std::nullopt);
  EXPECT_EQ(video.fullLength, 9000u);
  EXPECT_EQ(video.presentBytes, 5000u);
  EXPECT_FALSE(video.complete);
  EXPECT_FALSE(video.lastWritten);

  EXPECT_TRUE(ClassWanted(ReportClass::Audio, ScanClassFilter::All));
  EXPECT_TRUE(ClassWanted(ReportClass::Audio, ScanClassFilter::Audio));
  EXPECT_FALSE(ClassWanted(ReportClass::Audio, ScanClassFilter::Video));
  EXPECT_TRUE(ClassWanted(ReportClass::Video, ScanClassFilter::Video));
  EXPECT_FALSE(ClassWanted(ReportClass::Video, ScanClassFilter::Audio));
}

TEST(CacheScan, EveryFileOfEachStoreIsOpenedOnceAndLetGo) {
  {
    SCOPED_TRACE("simple cache");
    MemoryCacheFolder folder = SimpleCache();
    PutEntry(folder, "0000000000000001_0", "https://a.test/s.mp3", Mp3(3000),
             {"HTTP/1.1 200 OK", "Content-Type: audio/mpeg", "Content-Length: 3000"});
    PutEntry(folder, "0000000000000002_0", "https://a.test/v.mp4", Mp4(5000),
             {"HTTP/1.1 200 OK", "Content-Type: video/mp4", "Content-Length: 5000"});
    PutEntry(folder, "0000000000000003_0", "https://a.test/page.html", ByteVector(500, 'x'),
             {"HTTP/1.1 200 OK", "Content-Type: text/html", "Content-Length: 500"});
    // A range answer: its body lives in "_s", looked at through that file's one open.
    folder.Put("0000000000000004_0", SimpleMainFile("1/0/https://a.test/r.mp4", {}, nullptr));
    folder.Put("0000000000000004_s", SimpleSparseFile("1/0/https://a.test/r.mp4", {{0, Mp4(4000)}}));
    EXPECT_EQ(CacheMediaElements(folder).size(), 3u);
    EXPECT_EQ(folder.OpenCount(), folder.List().size());
    EXPECT_EQ(folder.OpenNow(), 0u);
  }
  {
    SCOPED_TRACE("block files");
    BlockCacheBuilder builder;
    const ByteVector audioHeaders =
        ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: audio/mpeg", "Content-Length: 3000"}));
    const ByteVector videoHeaders =
        ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: video/mp4", "Content-Length: 40000"}));
    const ByteVector small = Mp3(3000);   // data_2 blocks
    const ByteVector middle = Mp3(6000);  // data_3 blocks
    const ByteVector large = Mp4(40000);  // its own f_ file
    const BlockCacheBuilder::Entry entries[] = {{"1/0/https://a.test/a.mp3", 0, {&audioHeaders, &small}},
                                                {"1/0/https://a.test/b.mp4", 0, {&videoHeaders, &large}},
                                                {"1/0/https://a.test/c.mp3", 0, {&audioHeaders, &middle}}};
    for (const BlockCacheBuilder::Entry& entry : entries) builder.Add(entry, BlockFileKeyHash(entry.key));
    MemoryCacheFolder folder;
    builder.Build(folder);
    EXPECT_EQ(CacheMediaElements(folder).size(), 3u);
    EXPECT_EQ(folder.OpenCount(), folder.List().size());
    EXPECT_EQ(folder.OpenNow(), 0u);
  }
  {
    SCOPED_TRACE("firefox");
    namespace ff = firefox_entry;
    MemoryCacheFolder folder("profile/cache2/entries");
    const ff::Bytes video = ff::Mp4(9000);
    folder.Put(std::string(40, 'A'),
               ff::Whole(video, ":https://a.test/v.mp4", ff::Head("video/mp4", video.size())));
    const ff::Bytes page = ff::Body(700, "<html>", 3);
    folder.Put(std::string(40, 'B'),
               ff::Whole(page, ":https://a.test/p.html", ff::Head("text/html", page.size())));
    // Still being written: no type yet, so judged by its bytes.
    folder.Put(std::string(39, 'C') + "0", ff::Body(300, "", 5));
    EXPECT_EQ(CacheMediaElements(folder).size(), 1u);
    EXPECT_EQ(folder.OpenCount(), 3u);
    EXPECT_EQ(folder.OpenNow(), 0u);
  }
}

TEST(CacheScan, FilesGoneSinceTheListingAreLeftOut) {
  auto memory = std::make_unique<MemoryCacheFolder>(SimpleCache());
  MemoryCacheFolder& files = *memory;
  for (int i = 1; i <= 4; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "%016x_0", i);
    PutEntry(files, name, "https://a.test/" + std::to_string(i) + ".mp3", Mp3(1000 + i),
             {"HTTP/1.1 200 OK", "Content-Type: audio/mpeg"});
  }
  ListedCacheFolder listed(std::move(memory));
  files.Remove("0000000000000002_0");
  // Cut short inside its key: no entry at all.
  files.Bytes("0000000000000003_0")->resize(30);
  const std::vector<ScannedMedia> media = CacheMediaElements(listed);
  ASSERT_EQ(media.size(), 2u);
  EXPECT_EQ(media[0].element.webAddress, "https://a.test/1.mp3");
  EXPECT_EQ(media[1].element.webAddress, "https://a.test/4.mp3");
  EXPECT_EQ(PresentLength(media[1].element), 1004u);
  // Every file gone: nothing, not even the index.
  files.Remove("index");
  files.Remove("0000000000000001_0");
  files.Remove("0000000000000004_0");
  EXPECT_TRUE(CacheMediaElements(listed).empty());
}

TEST(CacheScan, StoredTypesThatAreNeverMedia) {
  for (const char* type : {"text/html", "text/css", "text/javascript", "image/png", "image/svg+xml",
                           "font/woff2", "application/javascript", "application/json", "application/wasm"})
    EXPECT_TRUE(StoredTypeRulesOutMedia(type)) << type;
  for (const char* type : {"", "video/mp4", "audio/mpeg", "application/octet-stream", "binary/octet-stream",
                           "application/vnd.apple.mpegurl", "application/javascripts"})
    EXPECT_FALSE(StoredTypeRulesOutMedia(type)) << type;
}

TEST(CacheScan, PlainFolderGivesFilesByBuiltInExtension) {
  MemoryCacheFolder folder;
  folder.Put("movie.FLV", Pattern(700, 1), 5);
  folder.Put("song.mp3", Pattern(30, 2), 6);
  folder.Put("empty.wmv", {}, 7);
  folder.Put("page.htm", Pattern(10, 3));
  folder.Put("clip.webm", Pattern(10, 4));  // not in the built-in lists
  folder.Put(".mp4", Pattern(10, 5));
  // The old cache's index file, though ".dat" is in the built-in lists.
  folder.Put("INDEX.DAT", Pattern(32768, 6));
  EXPECT_EQ(CacheFolderKindOf(folder), CacheFolderKind::None);
  EXPECT_TRUE(CacheMediaElements(folder).empty());

  std::vector<ScannedMedia> media = FolderMediaFiles(folder);
  ASSERT_EQ(media.size(), 3u);
  std::sort(media.begin(), media.end(),
            [](const ScannedMedia& a, const ScannedMedia& b) { return a.element.id < b.element.id; });
  EXPECT_EQ(media[0].element.id, "empty.wmv");
  EXPECT_TRUE(media[0].element.pieces.empty());
  EXPECT_EQ(media[1].element.id, "movie.FLV");
  EXPECT_EQ(media[1].extension, "flv");
  EXPECT_EQ(media[1].mediaClass, ReportClass::Video);
  EXPECT_TRUE(IsComplete(media[1].element));
  EXPECT_EQ(media[1].element.lastWritten, 5u);
  EXPECT_EQ(media[2].extension, "mp3");
  EXPECT_EQ(media[2].mediaClass, ReportClass::Audio);
  // The element reads back as the file.
  std::vector<std::uint8_t> body(700);
  CacheBodyReader reader(folder, media[1].element);
  ASSERT_EQ(reader.Read(0, body.data(), body.size()), 700u);
  EXPECT_EQ(body, Pattern(700, 1));

  EXPECT_FALSE(MediaFileClassOf("readme.txt"));
  EXPECT_TRUE(MediaFileClassOf("AVSEQ01.DAT"));  // other .dat files still count
  EXPECT_EQ(MediaFileClassOf("A.Mp3")->extension, "mp3");
}
