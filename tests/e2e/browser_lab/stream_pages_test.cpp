// The lab's stream pages proven from the Windows side: what /control/page
// says of each stream is what is served (playlists naming exactly the listed
// segments, in order, with the stated bytes and caching), and after a real
// browser ran the pages their players' reports and the served counters agree
// with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/driver/browser_lab_client.h"
#include "tests/e2e/driver/checksum.h"
#include "tests/e2e/driver/sandbox.h"

namespace e2e {
namespace {

constexpr std::string_view kAllStreams = "/streams/all.html";

// The address folder of a path ("/streams/x/" of "/streams/x/seg0.ts").
std::string FolderOfAddress(const std::string& path) { return path.substr(0, path.rfind('/') + 1); }

// The segment addresses an HLS media playlist names, in order.
std::vector<std::string> PlaylistSegments(const std::string& text, const std::string& folder) {
  std::vector<std::string> segments;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] != '#') segments.push_back(folder + line);
    start = end + 1;
  }
  return segments;
}

std::vector<std::string> Joined(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  std::vector<std::string> all = a;
  all.insert(all.end(), b.begin(), b.end());
  std::sort(all.begin(), all.end());
  return all;
}

class StreamPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::optional<BrowserLab> found = BrowserLab::FromEnvironment();
    ASSERT_TRUE(found) << "EE_BROWSER_LAB_PORT is not set: run through browsers/run_with_browser_lab.sh";
    lab_.emplace(*found);
    ASSERT_TRUE(sandbox_.Valid());
    const std::optional<std::vector<ServedFile>> files = lab_->Files();
    ASSERT_TRUE(files) << lab_->Error();
    for (const ServedFile& file : *files) files_[file.path] = file;
    const std::optional<std::vector<std::string>> pages = lab_->StreamPages();
    ASSERT_TRUE(pages) << lab_->Error();
    pages_ = *pages;
    ASSERT_FALSE(pages_.empty());
    ASSERT_TRUE(lab_->Reset());
  }

  // Fetches a listed file and checks it is served as the lab states; its body.
  std::string Served(const std::string& path, std::string* headers = nullptr) {
    const auto file = files_.find(path);
    EXPECT_NE(file, files_.end()) << path << " is not among the served files";
    const std::optional<HttpReply> reply = lab_->Fetch(path);
    EXPECT_TRUE(reply) << lab_->Error();
    if (file == files_.end() || !reply) return {};
    EXPECT_EQ(reply->status, 200) << path;
    EXPECT_EQ(reply->body.size(), file->second.size) << path;
    EXPECT_EQ(Sha256Hex(reply->body).value_or(""), file->second.sha256) << path;
    EXPECT_NE(reply->headers.find("Content-Type: " + file->second.type + "\r\n"), std::string::npos)
        << path << "\n"
        << reply->headers;
    if (headers) *headers = reply->headers;
    return reply->body;
  }

  std::optional<BrowserLab> lab_;
  Sandbox sandbox_;
  std::map<std::string, ServedFile, std::less<>> files_;
  std::vector<std::string> pages_;
};

TEST(StreamPageFromTest, ReadsTracksListsAndThePlayersReport) {
  const KeyValues answer = ParseKeyValues(
      "media=/s/a/index.m3u8,/s/a/init.mp4,/s/a/seg0.m4s,/s/a/seg2.m4s\n"
      "stream=hls\ncontainer=fmp4\nplaylist=/s/a/index.m3u8\nplaylistCached=0\nkey=\ntracks=1\n"
      "track0.type=video/mp4\ntrack0.mime=video/mp4; codecs=\"avc1.42c00b,mp4a.40.2\"\n"
      "track0.init=/s/a/init.mp4\ntrack0.segments=/s/a/seg0.m4s,/s/a/seg1.m4s,/s/a/seg2.m4s\n"
      "track0.fetched=/s/a/seg0.m4s,/s/a/seg2.m4s\ntrack0.skipped=/s/a/seg1.m4s\n"
      "done=1\nreport.fetched=4\nreport.appended=2\nreport.buffered=0.000-1.000;2.000-3.000\nreport.error="
      "\n");
  const std::optional<StreamPage> page = StreamPageFrom(answer);
  ASSERT_TRUE(page);
  EXPECT_EQ(page->protocol, "hls");
  EXPECT_EQ(page->container, "fmp4");
  EXPECT_EQ(page->playlist, "/s/a/index.m3u8");
  EXPECT_FALSE(page->playlistCached);
  EXPECT_EQ(page->key, "");
  ASSERT_EQ(page->tracks.size(), 1u);
  EXPECT_EQ(page->tracks[0].mime, "video/mp4; codecs=\"avc1.42c00b,mp4a.40.2\"");
  EXPECT_EQ(page->tracks[0].init, "/s/a/init.mp4");
  EXPECT_EQ(page->tracks[0].segments,
            (std::vector<std::string>{"/s/a/seg0.m4s", "/s/a/seg1.m4s", "/s/a/seg2.m4s"}));
  EXPECT_EQ(page->tracks[0].fetched, (std::vector<std::string>{"/s/a/seg0.m4s", "/s/a/seg2.m4s"}));
  EXPECT_EQ(page->tracks[0].skipped, (std::vector<std::string>{"/s/a/seg1.m4s"}));
  EXPECT_EQ(page->media.size(), 4u);
  EXPECT_TRUE(page->done);
  EXPECT_EQ(page->fetchedCount, 4);
  EXPECT_EQ(page->appended, 2);
  EXPECT_EQ(page->buffered, "0.000-1.000;2.000-3.000");
  EXPECT_EQ(page->error, "");

  // A page that is no stream, and a stream whose second track is missing.
  EXPECT_FALSE(StreamPageFrom(ParseKeyValues("media=/media/video.mp4\nother=\n")));
  KeyValues broken = answer;
  broken["tracks"] = "2";
  EXPECT_FALSE(StreamPageFrom(broken));
}

TEST_F(StreamPagesTest, EveryStreamIsServedAsItsPageDescribesIt) {
  std::set<std::string> kinds;
  for (const std::string& name : pages_) {
    SCOPED_TRACE(name);
    const std::optional<StreamPage> page = lab_->Stream(name);
    ASSERT_TRUE(page) << lab_->Error();
    EXPECT_FALSE(page->done) << "a report before any browser ran";
    kinds.insert(page->protocol + "/" + page->container + (page->key.empty() ? "" : "/aes") +
                 (page->playlistCached ? "" : "/nostore") + "/" + page->tracks[0].type);
    const std::string folder = FolderOfAddress(page->playlist);
    std::string headers;
    const std::string playlist = Served(page->playlist, &headers);
    EXPECT_NE(
        headers.find(page->playlistCached ? "Cache-Control: public, max-age=" : "Cache-Control: no-store"),
        std::string::npos)
        << headers;
    ASSERT_FALSE(page->media.empty());
    EXPECT_EQ(page->media.front(), page->playlist);
    std::vector<std::string> everySegment;
    for (const StreamTrack& track : page->tracks) {
      ASSERT_FALSE(track.segments.empty());
      EXPECT_EQ(Joined(track.fetched, track.skipped), Joined(track.segments, {}));
      everySegment.insert(everySegment.end(), track.segments.begin(), track.segments.end());
      for (const std::string& segment : track.segments) {
        EXPECT_EQ(segment.rfind(folder, 0), 0u) << segment;
        const std::string body = Served(segment, &headers);
        EXPECT_NE(headers.find("Cache-Control: public, max-age="), std::string::npos) << segment;
        ASSERT_GE(body.size(), 376u) << segment;
        if (page->container == "ts" && page->key.empty()) {
          EXPECT_TRUE(body[0] == 0x47 && body[188] == 0x47 && body[376] == 0x47) << segment;
        } else if (page->container == "ts") {
          // Whole-segment AES-128: no sync bytes, a multiple of the block size.
          EXPECT_FALSE(body[0] == 0x47 && body[188] == 0x47) << segment;
          EXPECT_EQ(body.size() % 16, 0u) << segment;
        } else if (page->protocol == "ranged") {
          // A whole single-track file.
          EXPECT_EQ(body.substr(4, 4), "ftyp") << segment;
        } else {
          const std::string box = body.substr(4, 4);
          EXPECT_TRUE(box == "styp" || box == "moof" || box == "sidx") << segment << ": " << box;
        }
        const bool wanted = std::find(page->media.begin(), page->media.end(), segment) != page->media.end();
        const bool skipped =
            std::find(track.skipped.begin(), track.skipped.end(), segment) != track.skipped.end();
        EXPECT_NE(wanted, skipped) << segment;
      }
      if (page->container == "fmp4" && page->protocol != "ranged") {
        EXPECT_EQ(Served(track.init).substr(4, 4), "ftyp") << track.init;
        EXPECT_NE(track.mime.find("codecs=\""), std::string::npos) << track.mime;
      } else {
        EXPECT_EQ(track.init, "");
      }
    }
    if (page->protocol == "hls") {
      // The playlist names exactly the listed segments, in their order.
      EXPECT_EQ(PlaylistSegments(playlist, folder), page->tracks[0].segments);
      EXPECT_EQ(playlist.rfind("#EXTM3U", 0), 0u);
    } else {
      EXPECT_NE(playlist.find("<MPD"), std::string::npos);
      EXPECT_NE(playlist.find("<SegmentTemplate"), std::string::npos);
      EXPECT_EQ(page->tracks.size(), 2u);
    }
    if (!page->key.empty()) {
      EXPECT_EQ(Served(page->key).size(), 16u);
      EXPECT_NE(playlist.find("#EXT-X-KEY:METHOD=AES-128,URI=\"" + page->key.substr(folder.size()) + "\""),
                std::string::npos);
    }
    // No two segments of any stream are the same bytes.
    std::set<std::string> sums;
    for (const std::string& segment : everySegment) sums.insert(files_.at(segment).sha256);
    EXPECT_EQ(sums.size(), everySegment.size());
  }
  const std::set<std::string> expected = {"hls/fmp4/video/mp4",    "hls/ts/video/mp2t",
                                          "hls/ts/aes/video/mp2t", "hls/fmp4/nostore/video/mp4",
                                          "hls/fmp4/audio/mp4",    "dash/fmp4/video/mp4"};
  EXPECT_EQ(kinds, expected);
  // The page with a gap skips segments in the middle, not at either end.
  const std::optional<StreamPage> gaps = lab_->Stream("/streams/hls-ts-gaps.html");
  ASSERT_TRUE(gaps) << lab_->Error();
  const StreamTrack& track = gaps->tracks[0];
  ASSERT_FALSE(track.skipped.empty());
  EXPECT_NE(track.segments.front(), track.skipped.front());
  EXPECT_NE(track.segments.back(), track.skipped.back());
}

TEST_F(StreamPagesTest, AfterARealBrowserEveryPlayerReportsWhatTheLabServed) {
  BrowserLaunch launch;
  launch.browser = BrowserKind::kChromium;
  launch.store = ChromiumStore::kBlockFile;
  launch.userDataDir = sandbox_.Path(L"Chromium\\User Data");
  launch.page = std::string(kAllStreams);
  std::optional<RunningBrowser> browser = lab_->Launch(launch);
  ASSERT_TRUE(browser) << lab_->Error();
  const std::optional<unsigned long long> waited = lab_->WaitIdle(kAllStreams, Milliseconds(90000));
  ASSERT_TRUE(waited) << lab_->Error();
  const std::optional<std::map<std::string, ServedStats, std::less<>>> stats = lab_->Stats();
  ASSERT_TRUE(stats) << lab_->Error();
  for (const std::string& name : pages_) {
    SCOPED_TRACE(name);
    const std::optional<StreamPage> page = lab_->Stream(name);
    ASSERT_TRUE(page) << lab_->Error();
    EXPECT_TRUE(page->done);
    EXPECT_EQ(page->error, "");
    EXPECT_EQ(page->fetchedCount, static_cast<int>(page->media.size()));
    for (const std::string& path : page->media) {
      const auto served = stats->find(path);
      ASSERT_NE(served, stats->end()) << path << " was never asked for";
      EXPECT_EQ(served->second.statuses, std::vector<int>{200}) << path;
      EXPECT_EQ(served->second.covered, files_.at(path).size) << path;
    }
    size_t fetchedSegments = 0;
    for (const StreamTrack& track : page->tracks) {
      fetchedSegments += track.fetched.size();
      for (const std::string& path : track.skipped) EXPECT_EQ(stats->count(path), 0u) << path;
    }
    EXPECT_EQ(page->appended, page->container == "fmp4" ? static_cast<int>(fetchedSegments) : 0);
  }
  const std::optional<BrowserStopped> stopped = browser->Stop();
  ASSERT_TRUE(stopped) << lab_->Error();
  EXPECT_EQ(stopped->remaining, 0);
  EXPECT_TRUE(FolderRemoveTree(launch.userDataDir));
}

TEST_F(StreamPagesTest, AWaitEndsAtOnceWhenAPlayerFails) {
  // A segment whose connection closes halfway: the player's fetch fails.
  const std::optional<StreamPage> page = lab_->Stream("/streams/hls-ts.html");
  ASSERT_TRUE(page) << lab_->Error();
  const std::string broken = page->tracks[0].segments[1];
  ASSERT_TRUE(lab_->SetMode(broken, "cut"));
  BrowserLaunch launch;
  launch.store = ChromiumStore::kSimple;
  launch.userDataDir = sandbox_.Path(L"Chromium\\User Data");
  launch.page = "/streams/hls-ts.html";
  std::optional<RunningBrowser> browser = lab_->Launch(launch);
  ASSERT_TRUE(browser) << lab_->Error();
  const std::optional<unsigned long long> waited = lab_->WaitIdle(launch.page, Milliseconds(90000));
  EXPECT_FALSE(waited);
  EXPECT_NE(lab_->Error().find("a stream player failed: /streams/hls-ts.html"), std::string::npos)
      << lab_->Error();
  const std::optional<StreamPage> after = lab_->Stream(launch.page);
  ASSERT_TRUE(after) << lab_->Error();
  EXPECT_TRUE(after->done);
  EXPECT_NE(after->error, "");
  // It got no further than the segment before the broken one.
  EXPECT_EQ(after->fetchedCount, 2);
  ASSERT_TRUE(browser->Stop()) << lab_->Error();
  ASSERT_TRUE(lab_->Reset());
  EXPECT_TRUE(FolderRemoveTree(launch.userDataDir));
}

}  // namespace
}  // namespace e2e
