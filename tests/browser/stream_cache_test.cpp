// The browser lab's stream pages as the real browsers cached them
// (stream_cache_test.sh fills the caches): read with the product's cache
// readers, every playlist, key, init segment and segment a page fetched is
// an element of its own with exactly the served bytes, and what a page
// skipped or was told not to store is not there at all.  The streams the
// scan finds in those caches are the pages' streams, joined from the served
// bytes.  The runs over HTTPS load the pages whose playlists come gzip-, br-
// and zstd-encoded: the caches keep them encoded, and the scan reads them.
#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/browser_caches/body_text.h"
#include "app/browser_caches/cache_element.h"
#include "app/browser_caches/cache_folder_disk.h"
#include "app/browser_caches/chromium_cache.h"
#include "app/browser_caches/firefox_cache2.h"
#include "app/command_line/cache_scan.h"
#include "app/streams/cache_streams.h"

namespace {

namespace fs = std::filesystem;
using KeyValues = std::map<std::string, std::string>;

std::string FileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

KeyValues KeyValuesRead(const fs::path& path) {
  KeyValues values;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return values;
}

std::vector<std::string> ListOf(const std::string& text) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t comma = text.find(',', start);
    items.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return items;
}

std::string Body(CacheFolder& folder, const CacheElement& element) {
  std::string body(static_cast<std::size_t>(ContiguousLength(element)), '\0');
  CacheBodyReader reader(folder, element);
  std::size_t done = 0;
  while (done < body.size()) {
    const std::size_t got = reader.Read(done, body.data() + done, body.size() - done);
    if (got == 0) break;
    done += got;
  }
  body.resize(done);
  return body;
}

// One stream page's account of a run, as /control/page gave it.
struct StreamPage {
  std::string name;
  KeyValues values;
  std::string Value(const std::string& key) const {
    const auto found = values.find(key);
    return found == values.end() ? std::string() : found->second;
  }
  // Every address the page should have left in the cache, and every one it
  // must not have.
  std::vector<std::string> Stored() const {
    std::vector<std::string> paths;
    if (Value("playlistCached") == "1") paths.push_back(Value("playlist"));
    if (!Value("key").empty()) paths.push_back(Value("key"));
    for (int track = 0; track < std::atoi(Value("tracks").c_str()); ++track) {
      const std::string prefix = "track" + std::to_string(track) + ".";
      if (!Value(prefix + "init").empty()) paths.push_back(Value(prefix + "init"));
      for (const std::string& path : ListOf(Value(prefix + "fetched"))) paths.push_back(path);
    }
    return paths;
  }
  std::vector<std::string> Absent() const {
    std::vector<std::string> paths = ListOf(Value("skipped"));
    if (Value("playlistCached") == "0") paths.push_back(Value("playlist"));
    return paths;
  }
};

struct Run {
  const char* name;
  std::optional<CacheStore> store;  // Chromium's store; none for Firefox
  bool tls = false;                 // over HTTPS: the pages with encoded playlists
};

void PrintTo(const Run& run, std::ostream* out) { *out << run.name; }

class StreamCacheTest : public ::testing::TestWithParam<Run> {
 protected:
  void SetUp() override {
    const char* capture = std::getenv("EE_STREAM_CAPTURE");
    if (capture == nullptr) GTEST_SKIP() << "EE_STREAM_CAPTURE is not set (ctest stream_cache sets it)";
    root_ = capture;
    std::string url = FileText(root_ / (GetParam().tls ? "lab-url-tls" : "lab-url"));
    while (!url.empty() && (url.back() == '\n' || url.back() == '\r')) url.pop_back();
    labUrl_ = url;
    ASSERT_EQ(labUrl_.rfind(GetParam().tls ? "https://127.0.0.1:" : "http://127.0.0.1:", 0), 0u) << labUrl_;
    files_ = KeyValuesRead(root_ / "files.txt");
    const fs::path run = root_ / "runs" / GetParam().name;
    for (const auto& entry : fs::directory_iterator(run / "pages")) {
      pages_.push_back({entry.path().stem().string(), KeyValuesRead(entry.path())});
    }
    ASSERT_FALSE(pages_.empty());
    const fs::path cache =
        GetParam().store ? run / "Default" / "Cache" / "Cache_Data" : run / "cache2" / "entries";
    folder_ = DiskCacheFolderOpen(cache.string());
    ASSERT_TRUE(folder_) << cache;
    elements_ = GetParam().store ? ChromiumCacheRead(*folder_) : FirefoxEntriesRead(*folder_);
    ASSERT_FALSE(elements_.empty()) << cache;
  }

  // The elements whose web address is the lab's address of `path`.
  std::vector<const CacheElement*> ElementsOf(const std::string& path) const {
    std::vector<const CacheElement*> found;
    for (const CacheElement& element : elements_) {
      if (element.webAddress == labUrl_ + path) found.push_back(&element);
    }
    return found;
  }

  fs::path root_;
  std::string labUrl_;
  KeyValues files_;
  std::vector<StreamPage> pages_;
  std::unique_ptr<CacheFolder> folder_;
  std::vector<CacheElement> elements_;
};

TEST_P(StreamCacheTest, TheBrowserKeptItsOwnStore) {
  if (GetParam().store) {
    EXPECT_EQ(ChromiumStoreOf(*folder_), GetParam().store);
  } else {
    EXPECT_FALSE(ChromiumStoreOf(*folder_));
  }
}

TEST_P(StreamCacheTest, EveryPlayerFinishedAndFetchedWhatItsPageLists) {
  for (const StreamPage& page : pages_) {
    SCOPED_TRACE(page.name);
    EXPECT_EQ(page.Value("done"), "1");
    EXPECT_EQ(page.Value("report.error"), "");
    // The playlist, the key, the init segments and the segments not skipped.
    const std::size_t media = ListOf(page.Value("media")).size();
    EXPECT_EQ(page.Value("report.fetched"), std::to_string(media));
    EXPECT_EQ(media, page.Stored().size() + (page.Value("playlistCached") == "0" ? 1 : 0));
    const std::size_t segments = ListOf(page.Value("fetched")).size();
    if (page.Value("container") == "fmp4") {
      // Every fragment went into the MediaSource and played from the start,
      // with a hole only where the page skipped fragments.
      EXPECT_EQ(page.Value("report.appended"), std::to_string(segments));
      const std::string buffered = page.Value("report.buffered");
      const bool skipped = !ListOf(page.Value("skipped")).empty();
      EXPECT_EQ(buffered.find(';') != std::string::npos, skipped) << buffered;
      EXPECT_GT(std::atof(buffered.substr(buffered.rfind('-') + 1).c_str()), 5.5) << buffered;
    } else {
      EXPECT_EQ(page.Value("report.appended"), "0");
    }
  }
}

TEST_P(StreamCacheTest, EveryFetchedFileIsCachedWithTheServedBytes) {
  std::size_t checked = 0, encoded = 0;
  for (const StreamPage& page : pages_) {
    SCOPED_TRACE(page.name);
    for (const std::string& path : page.Stored()) {
      SCOPED_TRACE(path);
      const std::vector<const CacheElement*> found = ElementsOf(path);
      ASSERT_EQ(found.size(), 1u);
      const CacheElement& element = *found.front();
      const std::string served = FileText(root_ / ("served" + path));
      ASSERT_FALSE(served.empty());
      ASSERT_EQ(files_[path + ".size"], std::to_string(served.size()));
      EXPECT_EQ(element.httpStatus, 200);
      EXPECT_TRUE(element.finished);
      EXPECT_TRUE(IsComplete(element));
      EXPECT_EQ(element.contentType, files_[path + ".type"]);
      const std::string coding = path == page.Value("playlist") ? page.Value("encoding") : "";
      if (coding.empty()) {
        EXPECT_EQ(element.fullLength, std::optional<std::uint64_t>(served.size()));
        EXPECT_TRUE(Body(*folder_, element) == served) << "the cached body differs from the served bytes";
      } else {
        // Kept as it came over the wire, and read back whole.
        EXPECT_EQ(page.Value("playlistCodingSent"), coding);
        EXPECT_EQ(element.contentEncoding, coding);
        EXPECT_NE(Body(*folder_, element), served);
        const DecodedBody text = CacheBodyText(*folder_, element, kBodyTextBudget);
        EXPECT_EQ(text.end, DecodeEnd::Whole);
        EXPECT_TRUE(text.bytes == served) << "the decoded playlist differs from the served one";
        ++encoded;
      }
      ++checked;
    }
  }
  if (GetParam().tls) {
    // Three playlists, one per coding, each with its four segments.
    EXPECT_EQ(encoded, 3u);
    EXPECT_GE(checked, 3u * 5u);
  } else {
    // Seven streams, each with its playlist or at least six segments.
    EXPECT_EQ(encoded, 0u);
    EXPECT_GE(checked, 7u * 6u);
  }
}

TEST_P(StreamCacheTest, SkippedSegmentsAndUnstoredPlaylistsAreNotCached) {
  if (GetParam().tls) GTEST_SKIP() << "the encoded pages skip nothing and store every playlist";
  std::size_t absent = 0;
  bool unstoredPlaylist = false;
  for (const StreamPage& page : pages_) {
    SCOPED_TRACE(page.name);
    for (const std::string& path : page.Absent()) {
      EXPECT_TRUE(ElementsOf(path).empty()) << path << " is in the cache";
      ++absent;
    }
    if (page.Value("playlistCached") == "0") {
      unstoredPlaylist = true;
      // Its segments are there all the same.
      for (const std::string& path : ListOf(page.Value("fetched")))
        EXPECT_EQ(ElementsOf(path).size(), 1u) << path;
    }
  }
  // The lab's pages hold a stream with a gap and one whose playlist may not be stored.
  EXPECT_TRUE(unstoredPlaylist);
  EXPECT_GE(absent, 3u);
}

// What one stream of a page joins into: the served init and the segments
// from the first up to the first skipped one.
struct ExpectedStream {
  std::string address;
  std::string extension;
  std::size_t present = 0;
  std::size_t total = 0;
  bool encrypted = false;
  std::string joined;
};

std::vector<ExpectedStream> ExpectedStreams(const StreamPage& page, const std::string& labUrl,
                                            const fs::path& served) {
  std::vector<ExpectedStream> streams;
  for (int track = 0; track < std::atoi(page.Value("tracks").c_str()); ++track) {
    const std::string prefix = "track" + std::to_string(track) + ".";
    ExpectedStream stream;
    const std::vector<std::string> segments = ListOf(page.Value(prefix + "segments"));
    const std::vector<std::string> skipped = ListOf(page.Value(prefix + "skipped"));
    // Without its playlist a stream is the run of segment addresses from its first.
    stream.address =
        labUrl + (page.Value("playlistCached") == "1" ? page.Value("playlist") : segments.front());
    const std::string type = page.Value(prefix + "type");
    stream.extension = page.Value("container") == "ts" ? "ts" : (type == "audio/mp4" ? "m4a" : "mp4");
    stream.total = segments.size();
    stream.present = segments.size() - skipped.size();
    stream.encrypted = !page.Value("encryption").empty();
    if (!page.Value(prefix + "init").empty())
      stream.joined = FileText(served / ("." + page.Value(prefix + "init")));
    for (const std::string& segment : segments) {
      if (std::find(skipped.begin(), skipped.end(), segment) != skipped.end()) break;
      stream.joined += FileText(served / ("." + segment));
    }
    streams.push_back(std::move(stream));
  }
  return streams;
}

TEST_P(StreamCacheTest, TheScanFindsEachPagesStreamsAndJoinsThemAsServed) {
  const ScannedCacheFolder scanned = CacheFolderScan(*folder_);
  std::size_t expectedCount = 0;
  for (const StreamPage& page : pages_) {
    SCOPED_TRACE(page.name);
    for (const ExpectedStream& expected : ExpectedStreams(page, labUrl_, root_ / "served")) {
      ++expectedCount;
      SCOPED_TRACE(expected.address + " " + expected.extension);
      const auto found =
          std::find_if(scanned.streams.begin(), scanned.streams.end(), [&](const CacheStream& s) {
            return s.address == expected.address && s.extension == expected.extension;
          });
      ASSERT_NE(found, scanned.streams.end());
      const CacheStream& stream = *found;
      EXPECT_EQ(stream.origin, page.Value("playlistCached") == "0" ? CacheStreamOrigin::SegmentGroup
                               : page.Value("stream") == "dash"    ? CacheStreamOrigin::Dash
                                                                   : CacheStreamOrigin::Hls);
      EXPECT_EQ(stream.kind, expected.extension == "m4a" ? StreamKind::Audio : StreamKind::Video);
      EXPECT_EQ(stream.protectedContent, expected.encrypted);
      EXPECT_EQ(stream.plan.present, expected.present);
      EXPECT_EQ(stream.plan.total, expected.total);
      EXPECT_EQ(stream.plan.complete, expected.present == expected.total);
      std::string written;
      const bool done = CacheStreamWrite(*folder_, stream, [&](std::span<const std::uint8_t> bytes) {
        written.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return true;
      });
      if (expected.encrypted) {
        EXPECT_FALSE(done);
        EXPECT_TRUE(written.empty());
        continue;
      }
      EXPECT_TRUE(done);
      EXPECT_EQ(written.size(), expected.joined.size());
      EXPECT_TRUE(written == expected.joined) << "the joined bytes differ from the served init and segments";
    }
  }
  EXPECT_EQ(scanned.streams.size(), expectedCount);
  // Nothing of a stream is listed as a medium of its own.
  for (const ScannedMedia& media : scanned.media)
    EXPECT_EQ(media.element.webAddress.find(labUrl_ + "/streams/"), std::string::npos)
        << media.element.webAddress;
}

INSTANTIATE_TEST_SUITE_P(
    Browsers, StreamCacheTest,
    ::testing::Values(Run{"chromium-blockfile", CacheStore::ChromiumBlockFiles},
                      Run{"chromium-simple", CacheStore::ChromiumSimple}, Run{"firefox", std::nullopt},
                      Run{"chromium-blockfile-tls", CacheStore::ChromiumBlockFiles, true},
                      Run{"chromium-simple-tls", CacheStore::ChromiumSimple, true},
                      Run{"firefox-tls", std::nullopt, true}),
    [](const ::testing::TestParamInfo<Run>& info) {
      std::string name = info.param.name;
      for (char& c : name) c = c == '-' ? '_' : c;
      return name;
    });

}  // namespace
