// The browser lab proven from the Windows side: its pages and media are
// served as a web server serves them, and real browsers it starts put their
// caches where a person would find them, below the Wine prefix's home.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/driver/browser_lab_client.h"
#include "tests/e2e/driver/checksum.h"
#include "tests/e2e/driver/sandbox.h"

namespace e2e {
namespace {

constexpr std::string_view kMediaPage = "/media.html";
constexpr std::string_view kWholePage = "/whole.html";
const std::vector<std::string> kPageMedia = {"/media/clip.webm", "/media/sound.mp3", "/media/video.mp4"};
constexpr size_t kChildSize = 1024 * 1024;  // a block-file child's part of a ranged entry

// How long one browser run took, for the test log.
struct RunTimes {
  unsigned long long fetchedMs = 0;  // launch until the page's media were served
  unsigned long long stopMs = 0;     // signal until every process was gone
  unsigned long long runMs = 0;      // launch until gone, as the lab measured
};

class BrowserLabTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::optional<BrowserLab> found = BrowserLab::FromEnvironment();
    ASSERT_TRUE(found) << "EE_BROWSER_LAB_PORT is not set: run through browsers/run_with_browser_lab.sh";
    lab_.emplace(*found);
    ASSERT_TRUE(sandbox_.Valid());
  }

  // The bytes of a served file, fetched over HTTP and checked against the
  // checksum the lab states for it.
  std::string Served(std::string_view path) {
    const std::optional<ServedFile> file = lab_->File(path);
    EXPECT_TRUE(file) << lab_->Error();
    const std::optional<HttpReply> reply = lab_->Fetch(path);
    EXPECT_TRUE(reply) << lab_->Error();
    if (!file || !reply) return {};
    EXPECT_EQ(reply->status, 200) << path;
    EXPECT_EQ(reply->body.size(), file->size) << path;
    EXPECT_EQ(Sha256Hex(reply->body).value_or("no hash"), file->sha256) << path;
    return reply->body;
  }

  // A folder in the Wine prefix's home, where the program's default
  // watched folder (the home folder) covers it.
  std::wstring HomeFolder(std::wstring_view relative) {
    const std::wstring path = sandbox_.Path(std::wstring(L"home\\") + std::wstring(relative));
    const std::optional<std::string> linux = lab_->LinuxPath(path);
    EXPECT_TRUE(linux) << lab_->Error();
    EXPECT_NE(linux.value_or("").find("/drive_c/users/"), std::string::npos) << linux.value_or("");
    return path;
  }

  // Starts the browser on the page, waits until the page's media were
  // served, ends it; the run's times.  The run counts as failed when a
  // process of the browser is left behind.
  std::optional<RunTimes> PlayPage(const BrowserLaunch& launch, std::wstring* cacheFolder) {
    const ULONGLONG started = GetTickCount64();
    std::optional<RunningBrowser> browser = lab_->Launch(launch);
    EXPECT_TRUE(browser) << lab_->Error();
    if (!browser) return std::nullopt;
    *cacheFolder = browser->CacheFolder();
    const std::optional<unsigned long long> waited = lab_->WaitIdle(launch.page, Milliseconds(60000));
    EXPECT_TRUE(waited) << lab_->Error();
    RunTimes times;
    times.fetchedMs = GetTickCount64() - started;
    const std::optional<BrowserStopped> stopped = browser->Stop();
    EXPECT_TRUE(stopped) << lab_->Error();
    if (!waited || !stopped) return std::nullopt;
    EXPECT_EQ(stopped->remaining, 0) << "browser processes left behind";
    times.stopMs = stopped->stopMs;
    times.runMs = stopped->runMs;
    return times;
  }

  void Report(const char* what, const RunTimes& times) {
    std::printf("[ lab run  ] %s: media served %llu ms after launch, stopped in %llu ms, whole run %llu ms\n",
                what, times.fetchedMs, times.stopMs, times.runMs);
    std::fflush(stdout);
  }

  // Checks that the medium was asked for in ranges and served in full.
  void ExpectServedInRanges(const std::map<std::string, ServedStats, std::less<>>& stats,
                            std::string_view path, std::uint64_t size) {
    const auto found = stats.find(path);
    ASSERT_NE(found, stats.end()) << path << " was never asked for";
    const ServedStats& served = found->second;
    ASSERT_FALSE(served.ranges.empty());
    EXPECT_EQ(served.ranges.front().rfind("bytes=", 0), 0u) << path << ": " << served.ranges.front();
    ASSERT_FALSE(served.statuses.empty());
    EXPECT_EQ(served.statuses.front(), 206) << path;
    EXPECT_EQ(served.covered, size) << path;
    // Sent during this run, by the same clock the Windows side reads.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const std::uint64_t nowUnixMs =
        ((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime) / 10000 -
        11644473600000ULL;
    EXPECT_LE(served.firstSentUnixMs, nowUnixMs) << path;
    EXPECT_GT(served.firstSentUnixMs + 120000, nowUnixMs) << path;
  }

  std::optional<BrowserLab> lab_;
  Sandbox sandbox_;
};

std::vector<std::string> FilesStartingWith(const std::wstring& folder, std::wstring_view prefix) {
  std::vector<std::string> contents;
  for (const std::wstring& name : FolderList(folder)) {
    if (name.rfind(prefix, 0) != 0) continue;
    if (std::optional<std::string> bytes = FileRead(folder + L"\\" + name))
      contents.push_back(std::move(*bytes));
  }
  return contents;
}

bool StartsWith(const std::string& bytes, std::string_view magic) { return bytes.rfind(magic, 0) == 0; }

template <class Number>
Number ReadLittleEndian(const std::string& bytes, size_t at) {
  Number value = 0;
  for (size_t index = sizeof(Number); index-- > 0;) {
    value = static_cast<Number>(value << 8) | static_cast<unsigned char>(bytes[at + index]);
  }
  return value;
}

// The body of a simple-cache _s file: its range records (a 32-byte header
// of magic, offset, length and checksum, then the bytes) laid out by offset.
std::string SparseBody(const std::string& file) {
  constexpr std::uint64_t kRangeMagic = 0xEB97BF016553676BULL;
  constexpr size_t kHeader = 32;
  std::string body;
  size_t at = 0;
  while (at + 8 <= file.size() && ReadLittleEndian<std::uint64_t>(file, at) != kRangeMagic) ++at;
  while (at + kHeader <= file.size() && ReadLittleEndian<std::uint64_t>(file, at) == kRangeMagic) {
    const std::uint64_t offset = ReadLittleEndian<std::uint64_t>(file, at + 8);
    const std::uint64_t length = ReadLittleEndian<std::uint64_t>(file, at + 16);
    if (length > file.size() - at - kHeader || offset > (1ULL << 32)) break;
    if (body.size() < offset + length) body.resize(static_cast<size_t>(offset + length));
    body.replace(static_cast<size_t>(offset), static_cast<size_t>(length), file, at + kHeader,
                 static_cast<size_t>(length));
    at += kHeader + static_cast<size_t>(length);
  }
  return body;
}

TEST_F(BrowserLabTest, ServesItsFilesWithRangesValidatorsAndTheFaultsItIsAskedFor) {
  const std::optional<std::vector<ServedFile>> files = lab_->Files();
  ASSERT_TRUE(files) << lab_->Error();
  ASSERT_TRUE(lab_->Reset());
  const std::string video = Served("/media/video.mp4");
  EXPECT_GT(video.size(), kChildSize);
  EXPECT_EQ(video.substr(4, 4), "ftyp");
  // Fast start: the index sits before the frames, as a page player needs.
  EXPECT_LT(video.find("moov"), video.find("mdat"));
  // The same bytes as files, for tests that compare what they find.
  const std::wstring mediaFolder = PathFromEnvironment(L"EE_BROWSER_LAB_MEDIA");
  ASSERT_FALSE(mediaFolder.empty()) << "EE_BROWSER_LAB_MEDIA is not set";
  EXPECT_EQ(FileRead(mediaFolder + L"\\video.mp4").value_or(""), video);
  EXPECT_TRUE(StartsWith(Served("/media/clip.webm"), "\x1A\x45\xDF\xA3"));
  const std::string sound = Served("/media/sound.mp3");
  ASSERT_GE(sound.size(), 2u);
  EXPECT_EQ(static_cast<unsigned char>(sound[0]), 0xFF);
  EXPECT_TRUE(StartsWith(Served("/static/picture.png"), "\x89PNG"));
  const std::string page = Served(std::string(kMediaPage));
  for (const char* part :
       {"<video src=\"/media/video.mp4\"", "<video src=\"/media/clip.webm\"",
        "<audio src=\"/media/sound.mp3\"", "/static/picture.png", "/static/app.js", "/static/style.css"}) {
    EXPECT_NE(page.find(part), std::string::npos) << part;
  }

  const std::optional<HttpReply> part = lab_->Fetch("/media/video.mp4", "Range: bytes=1048570-1048589\r\n");
  ASSERT_TRUE(part) << lab_->Error();
  EXPECT_EQ(part->status, 206);
  EXPECT_EQ(part->body, video.substr(1048570, 20));
  EXPECT_NE(part->headers.find("Content-Range: bytes 1048570-1048589/" + std::to_string(video.size())),
            std::string::npos)
      << part->headers;
  EXPECT_NE(part->headers.find("Accept-Ranges: bytes"), std::string::npos);
  EXPECT_NE(part->headers.find("ETag: \""), std::string::npos);
  EXPECT_NE(part->headers.find("Last-Modified: "), std::string::npos);

  // The whole-file address ignores ranges; the cut address stops halfway.
  const std::optional<HttpReply> whole = lab_->Fetch("/media/whole.mp4", "Range: bytes=0-99\r\n");
  ASSERT_TRUE(whole) << lab_->Error();
  EXPECT_EQ(whole->status, 200);
  EXPECT_GT(whole->body.size(), kChildSize);
  const std::optional<HttpReply> cut = lab_->Fetch("/media/cut.mp4", "Range: bytes=0-\r\n");
  ASSERT_TRUE(cut) << lab_->Error();
  EXPECT_EQ(cut->status, 206);
  EXPECT_EQ(cut->body, video.substr(0, video.size() / 2));
  ASSERT_TRUE(lab_->SetMode("/media/cut.mp4", "normal"));
  const std::optional<HttpReply> rest = lab_->Fetch("/media/cut.mp4", "Range: bytes=0-\r\n");
  ASSERT_TRUE(rest) << lab_->Error();
  EXPECT_EQ(rest->body, video);

  // A stalled answer holds at its cut until released, then sends the rest.
  std::optional<HttpReply> stalled;
  BrowserLab other(lab_->Port());
  std::thread fetch([&] { stalled = other.Fetch("/media/stall.mp4", "Range: bytes=0-\r\n"); });
  const bool held = WaitUntil([&] {
    const auto now = lab_->Stats();
    return now && now->count("/media/stall.mp4") && now->at("/media/stall.mp4").covered == video.size() / 2;
  });
  const bool released = lab_->SetMode("/media/stall.mp4", "normal");
  fetch.join();
  EXPECT_TRUE(held) << "the stalled answer did not stop at its cut";
  ASSERT_TRUE(released) << lab_->Error();
  ASSERT_TRUE(stalled) << other.Error();
  EXPECT_EQ(stalled->body, video);

  const std::optional<std::map<std::string, ServedStats, std::less<>>> stats = lab_->Stats();
  ASSERT_TRUE(stats) << lab_->Error();
  const ServedStats& asked = stats->at("/media/video.mp4");
  EXPECT_EQ(asked.requests, 2);
  EXPECT_EQ(asked.ranges, (std::vector<std::string>{"none", "bytes=1048570-1048589"}));
  EXPECT_EQ(asked.statuses, (std::vector<int>{200, 206}));
  EXPECT_EQ(stats->at("/media/cut.mp4").statuses, (std::vector<int>{206, 206}));

  // A reset gives every file its own mode back.
  ASSERT_TRUE(lab_->Reset());
  const std::optional<ServedFile> cutAgain = lab_->File("/media/cut.mp4");
  const std::optional<ServedFile> stallAgain = lab_->File("/media/stall.mp4");
  ASSERT_TRUE(cutAgain && stallAgain) << lab_->Error();
  EXPECT_EQ(cutAgain->mode, "cut");
  EXPECT_EQ(stallAgain->mode, "stall");

  const std::optional<std::vector<std::string>> media = lab_->PageMedia(kMediaPage);
  ASSERT_TRUE(media) << lab_->Error();
  std::vector<std::string> sorted = *media;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, kPageMedia);

  // A benchmark page: every medium and resource behind its own address.
  const std::optional<std::string> bench = lab_->BenchPage(4, 6);
  ASSERT_TRUE(bench) << lab_->Error();
  const std::optional<std::vector<std::string>> benchMedia = lab_->PageMedia(*bench);
  ASSERT_TRUE(benchMedia) << lab_->Error();
  EXPECT_EQ(benchMedia->size(), 4u);
  const std::string benchPage = Served(*bench);
  size_t resources = 0;
  for (size_t at = benchPage.find("/static/bench/"); at != std::string::npos;
       at = benchPage.find("/static/bench/", at + 1)) {
    ++resources;
  }
  EXPECT_EQ(resources, 6u);
  for (const std::string& path : *benchMedia) {
    EXPECT_NE(benchPage.find("src=\"" + path + "\""), std::string::npos) << path;
    EXPECT_FALSE(Served(path).empty()) << path;
  }
}

class ChromiumStoreTest : public BrowserLabTest, public ::testing::WithParamInterface<ChromiumStore> {};

// A first run makes the cache folder; a second run writes into the folder
// as it was left, as a browser already in use does.
TEST_P(ChromiumStoreTest, PlaysThePageIntoANewCacheFolderAndAgainIntoTheExistingOne) {
  const ChromiumStore store = GetParam();
  const char* name = store == ChromiumStore::kBlockFile ? "chromium block files" : "chromium simple cache";
  std::vector<std::string> media;
  for (const std::string& path : kPageMedia) media.push_back(Served(path));
  const std::string wholeVideo = Served("/media/whole.mp4");

  BrowserLaunch launch;
  launch.browser = BrowserKind::kChromium;
  launch.store = store;
  launch.userDataDir = HomeFolder(L"AppData\\Local\\Chromium\\User Data");
  launch.page = std::string(kMediaPage);
  ASSERT_FALSE(FolderExists(launch.userDataDir));
  std::wstring cache;
  const std::optional<RunTimes> first = PlayPage(launch, &cache);
  ASSERT_TRUE(first);
  Report((std::string(name) + ", new folder").c_str(), *first);
  EXPECT_EQ(cache, launch.userDataDir + L"\\Default\\Cache\\Cache_Data");
  const std::optional<std::map<std::string, ServedStats, std::less<>>> stats = lab_->Stats();
  ASSERT_TRUE(stats) << lab_->Error();
  for (size_t index = 0; index < kPageMedia.size(); ++index) {
    ExpectServedInRanges(*stats, kPageMedia[index], media[index].size());
  }
  // The lab removed the lock links, which Wine could not delete.
  for (const std::wstring& file : FolderList(launch.userDataDir)) {
    EXPECT_NE(file.rfind(L"Singleton", 0), 0u) << "left behind in the profile";
  }

  const std::optional<std::string> index = FileRead(cache + L"\\index");
  ASSERT_TRUE(index) << "no index in the cache folder";
  if (store == ChromiumStore::kBlockFile) {
    EXPECT_TRUE(StartsWith(*index, "\xC3\xCA\x03\xC1"));
    for (const wchar_t* file : {L"data_0", L"data_1", L"data_2", L"data_3"}) {
      EXPECT_TRUE(FileExists(cache + L"\\" + file)) << file;
    }
    // Bodies over 16 KiB live in f_ files, a ranged entry's in 1 MiB parts.
    const std::vector<std::string> external = FilesStartingWith(cache, L"f_");
    for (size_t index = 0; index < media.size(); ++index) {
      for (size_t offset = 0; offset < media[index].size(); offset += kChildSize) {
        const std::string part = media[index].substr(offset, kChildSize);
        EXPECT_NE(std::find(external.begin(), external.end(), part), external.end())
            << kPageMedia[index] << " bytes from " << offset << " in no f_ file";
      }
    }
  } else {
    EXPECT_TRUE(StartsWith(*index, "\x30\x5C\x72\xA7\x1B\x6D\xFB\xFC"));
    EXPECT_TRUE(FileExists(cache + L"\\index-dir\\the-real-index"));
    // Ranged bodies go to the entry's _s file, in records that carry their
    // offsets; put together they give the served bytes back.
    std::vector<std::string> bodies;
    for (const std::wstring& file : FolderList(cache)) {
      if (file.size() > 2 && file.compare(file.size() - 2, 2, L"_s") == 0) {
        bodies.push_back(SparseBody(FileRead(cache + L"\\" + file).value_or("")));
        EXPECT_TRUE(FileExists(cache + L"\\" + file.substr(0, file.size() - 2) + L"_0")) << file;
      }
    }
    EXPECT_EQ(bodies.size(), media.size());
    for (size_t index = 0; index < media.size(); ++index) {
      EXPECT_NE(std::find(bodies.begin(), bodies.end(), media[index]), bodies.end())
          << kPageMedia[index] << " in no _s file";
    }
  }

  // Again, into the folder the first run left: a video served whole.
  const std::vector<std::wstring> before = FolderList(cache);
  launch.page = std::string(kWholePage);
  const std::optional<RunTimes> second = PlayPage(launch, &cache);
  ASSERT_TRUE(second);
  Report((std::string(name) + ", existing folder").c_str(), *second);
  const std::optional<std::map<std::string, ServedStats, std::less<>>> again = lab_->Stats();
  ASSERT_TRUE(again) << lab_->Error();
  ASSERT_TRUE(again->count("/media/whole.mp4"));
  EXPECT_EQ(again->at("/media/whole.mp4").statuses.front(), 200);
  EXPECT_EQ(again->at("/media/whole.mp4").covered, wholeVideo.size());
  const std::vector<std::wstring> after = FolderList(cache);
  for (const std::wstring& file : before) {
    EXPECT_NE(std::find(after.begin(), after.end(), file), after.end()) << "the second run lost a file";
  }
  EXPECT_GT(after.size(), before.size()) << "the second run added no file";
  // A body served whole is kept in one piece: an f_ file of its own, or
  // the stream of a simple-cache entry's _0 file.
  const std::vector<std::string> bodies =
      FilesStartingWith(cache, store == ChromiumStore::kBlockFile ? L"f_" : L"");
  EXPECT_TRUE(std::any_of(bodies.begin(), bodies.end(), [&](const std::string& file) {
    return store == ChromiumStore::kBlockFile ? file == wholeVideo
                                              : file.find(wholeVideo) != std::string::npos;
  })) << "the video served whole is in no cache file";
  // Nothing the browser left stops a Windows program from deleting it.
  EXPECT_TRUE(FolderRemoveTree(launch.userDataDir));
}

INSTANTIATE_TEST_SUITE_P(Stores, ChromiumStoreTest,
                         ::testing::Values(ChromiumStore::kBlockFile, ChromiumStore::kSimple),
                         [](const ::testing::TestParamInfo<ChromiumStore>& info) {
                           return info.param == ChromiumStore::kBlockFile ? "BlockFile" : "Simple";
                         });

TEST_F(BrowserLabTest, FirefoxPlaysThePageIntoCache2InTheHomeFolder) {
  std::vector<std::string> media;
  for (const std::string& path : kPageMedia) media.push_back(Served(path));

  BrowserLaunch launch;
  launch.browser = BrowserKind::kFirefox;
  launch.userDataDir = HomeFolder(L"AppData\\Local\\Mozilla\\Firefox\\Profiles\\lab.default-release");
  launch.page = std::string(kMediaPage);
  std::wstring cache;
  const std::optional<RunTimes> times = PlayPage(launch, &cache);
  ASSERT_TRUE(times);
  Report("firefox", *times);
  EXPECT_EQ(cache, launch.userDataDir + L"\\cache2");
  const std::optional<std::map<std::string, ServedStats, std::less<>>> stats = lab_->Stats();
  ASSERT_TRUE(stats) << lab_->Error();
  for (size_t index = 0; index < kPageMedia.size(); ++index) {
    ExpectServedInRanges(*stats, kPageMedia[index], media[index].size());
  }
  // An entry holds the body from offset 0 and the metadata behind it.
  const std::vector<std::string> entries = FilesStartingWith(cache + L"\\entries", L"");
  ASSERT_FALSE(entries.empty());
  for (size_t index = 0; index < media.size(); ++index) {
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(),
                            [&](const std::string& entry) {
                              return entry.size() > media[index].size() && StartsWith(entry, media[index]);
                            }))
        << kPageMedia[index] << " in no entry";
  }
  EXPECT_TRUE(FolderRemoveTree(launch.userDataDir));
}

}  // namespace
}  // namespace e2e
