// Streams from the command line, end to end: real Chromium (both stores)
// and Firefox load every stream page of the lab (HLS with fragmented MP4 or
// TS, a gap, AES-128, a playlist not stored, sound only, DASH) into caches
// in the Wine prefix's home, and over HTTPS the pages whose playlists come
// gzip-, br- and zstd-encoded, once for all cases; then the real program
// lists the streams (/scomma, /type) and saves them joined (/copyall,
// /partial), and every row and file is checked against what the lab served.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>

#include "tests/e2e/browser_scan/scan_run.h"
#include "tests/e2e/driver/browser_lab_client.h"
#include "tests/e2e/driver/program.h"
#include "tests/e2e/driver/sandbox.h"

namespace e2e {
namespace {

constexpr std::string_view kAllStreams = "/streams/all.html";
constexpr std::string_view kEncodedStreams = "/streams/encoded.html";
constexpr std::size_t kColumns = 19;
enum Column {
  kAddress,
  kType,
  kExtension,
  kClass,
  kFullLength,
  kPresent,
  kComplete,
  kBrowser,
  kFolder,
  kTime,
  kStream,
  kPresentSegments,
  kTotalSegments,
  kEncrypted
};

std::string Utf8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

// One stream as the scan should see it in each cache.
struct Expected {
  std::string page;
  std::string address;
  std::string extension;
  std::string mediaType;
  std::string kind;  // the stream column: HLS, DASH, 分段
  std::size_t present = 0;
  std::size_t total = 0;
  bool encrypted = false;
  std::uint64_t presentBytes = 0;  // the init and every fetched segment
  std::string joined;              // the init, then the segments up to the first skipped
  double seconds = 0;              // segments in the joined run, one second each

  bool Complete() const { return present == total; }
};

struct StreamCaches {
  std::optional<BrowserLab> lab;
  std::unique_ptr<Sandbox> sandbox;
  std::wstring localAppData;
  std::wstring program;
  std::vector<Expected> streams;
  std::string failure;
};

StreamCaches* shared = nullptr;

bool PlayPage(BrowserLab& lab, BrowserLaunch launch, std::string_view page, bool tls, std::string* failure) {
  launch.page = std::string(page);
  launch.tls = tls;
  std::optional<RunningBrowser> browser = lab.Launch(launch);
  if (!browser) return *failure = "launch: " + lab.Error(), false;
  if (!lab.WaitIdle(page, Milliseconds(90000))) return *failure = "wait-idle: " + lab.Error(), false;
  const std::optional<BrowserStopped> stopped = browser->Stop();
  if (!stopped || stopped->remaining != 0) return *failure = "stop: " + lab.Error(), false;
  return true;
}

// Every stream page, then (over HTTPS) those whose playlists come compressed.
bool PlayAll(BrowserLab& lab, const BrowserLaunch& launch, std::string* failure) {
  return PlayPage(lab, launch, kAllStreams, false, failure) &&
         PlayPage(lab, launch, kEncodedStreams, true, failure);
}

std::string Body(BrowserLab& lab, const std::string& path, std::string* failure) {
  const std::optional<HttpReply> reply = lab.Fetch(path);
  if (!reply || reply->status != 200) *failure = "fetch " + path;
  return reply ? reply->body : std::string();
}

// The streams of every page, from the lab's description and served bytes.
bool StreamsExpected(StreamCaches& caches) {
  BrowserLab& lab = *caches.lab;
  for (const std::string_view all : {kAllStreams, kEncodedStreams}) {
    const std::optional<std::vector<std::string>> pages = lab.StreamPages(all);
    if (!pages || pages->empty()) return caches.failure = "no stream pages: " + lab.Error(), false;
    for (const std::string& name : *pages) {
      const std::optional<StreamPage> page = lab.Stream(name);
      if (!page) return caches.failure = "page " + name + ": " + lab.Error(), false;
      if (page->codingSent != page->encoding)
        return caches.failure = "page " + name + ": playlist not sent encoded", false;
      for (const StreamTrack& track : page->tracks) {
        Expected stream;
        stream.page = name;
        const std::string path = page->playlistCached ? page->playlist : track.segments.front();
        stream.address = all == kEncodedStreams ? lab.TlsUrl(path) : lab.Url(path);
        stream.kind = !page->playlistCached ? Utf8(u8"分段") : page->protocol == "dash" ? "DASH" : "HLS";
        if (page->container == "ts") {
          stream.extension = "ts", stream.mediaType = "video/mp2t";
        } else if (track.type == "audio/mp4") {
          stream.extension = "m4a", stream.mediaType = "audio/mp4";
        } else {
          stream.extension = "mp4", stream.mediaType = "video/mp4";
        }
        stream.total = track.segments.size();
        stream.present = track.fetched.size();
        stream.encrypted = !page->key.empty();
        if (!track.init.empty()) {
          stream.joined = Body(lab, track.init, &caches.failure);
          stream.presentBytes = stream.joined.size();
        }
        bool running = true;
        for (const std::string& segment : track.segments) {
          if (std::find(track.skipped.begin(), track.skipped.end(), segment) != track.skipped.end()) {
            running = false;
            continue;
          }
          const std::string bytes = Body(lab, segment, &caches.failure);
          stream.presentBytes += bytes.size();
          if (!running) continue;
          stream.joined += bytes;
          stream.seconds += 1;
        }
        caches.streams.push_back(std::move(stream));
      }
    }
  }
  return caches.failure.empty();
}

void CachesMake(StreamCaches& caches) {
  caches.lab = BrowserLab::FromEnvironment();
  if (!caches.lab) return void(caches.failure = "EE_BROWSER_LAB_PORT is not set");
  caches.sandbox = std::make_unique<Sandbox>();
  const Sandbox& box = *caches.sandbox;
  caches.localAppData = box.Path(L"home\\AppData\\Local");
  if (!box.MakeFolder(L"home\\AppData\\Local") || !box.MakeFolder(L"program") || !box.MakeFolder(L"work"))
    return void(caches.failure = "sandbox folders");
  if (!box.CopyIn(ProductExecutable(), L"program\\ElementExtractor.exe"))
    return void(caches.failure = "program copy");
  caches.program = box.Path(L"program\\ElementExtractor.exe");

  BrowserLaunch blockFile;
  blockFile.browser = BrowserKind::kChromium;
  blockFile.store = ChromiumStore::kBlockFile;
  blockFile.userDataDir = caches.localAppData + L"\\Chromium\\User Data";
  BrowserLaunch simple = blockFile;
  simple.store = ChromiumStore::kSimple;
  simple.userDataDir = caches.localAppData + L"\\Google\\Chrome\\User Data";
  BrowserLaunch firefox;
  firefox.browser = BrowserKind::kFirefox;
  firefox.userDataDir = caches.localAppData + L"\\Mozilla\\Firefox\\Profiles\\streams.default";
  if (!PlayAll(*caches.lab, blockFile, &caches.failure) || !PlayAll(*caches.lab, simple, &caches.failure) ||
      !PlayAll(*caches.lab, firefox, &caches.failure))
    return;
  StreamsExpected(caches);
}

const std::vector<std::string> kBrowsers = {"Chromium", "Chrome", "Firefox"};

class StreamScanTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    shared = new StreamCaches;
    CachesMake(*shared);
  }
  static void TearDownTestSuite() {
    delete shared;
    shared = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(shared->failure.empty()) << shared->failure; }

  ScanRun Run(const std::wstring& arguments) {
    ScanRun run =
        ScanRunProgram(shared->program, arguments, Path(L"work"), {{L"LOCALAPPDATA", shared->localAppData}});
    EXPECT_TRUE(run.failure.empty()) << run.failure;
    return run;
  }

  static std::wstring Path(std::wstring_view relative) { return shared->sandbox->Path(relative); }

  std::vector<std::vector<std::string>> Rows(const std::wstring& report) {
    const std::optional<std::string> text = FileRead(report);
    EXPECT_TRUE(text) << "no report";
    const auto records = ReportRecords(text.value_or(""), ',');
    EXPECT_TRUE(records) << "not a well-formed report";
    if (!records || records->empty()) return {};
    EXPECT_EQ(records->front().size(), kColumns);
    EXPECT_EQ(records->front()[kStream], Utf8(u8"流"));
    for (const auto& record : *records) EXPECT_EQ(record.size(), kColumns);
    return {records->begin() + 1, records->end()};
  }

  static const Expected* StreamOfRow(const std::vector<std::string>& row) {
    for (const Expected& stream : shared->streams)
      if (stream.address == row[kAddress] && stream.extension == row[kExtension]) return &stream;
    return nullptr;
  }

  // The rows are exactly the wanted streams of every browser, each as the
  // lab served it.
  void ExpectStreamRows(const std::vector<std::vector<std::string>>& rows,
                        const std::string& onlyClass = {}) {
    std::multiset<std::pair<std::string, const Expected*>> found;
    for (const auto& row : rows) {
      if (row.size() != kColumns) continue;
      const Expected* stream = StreamOfRow(row);
      if (!stream) {
        ADD_FAILURE() << "not a stream of the pages: " << row[kAddress] << " " << row[kExtension];
        continue;
      }
      SCOPED_TRACE(row[kBrowser] + " " + stream->page + " " + row[kExtension]);
      found.insert({row[kBrowser], stream});
      EXPECT_EQ(row[kType], stream->mediaType);
      EXPECT_EQ(row[kClass], Utf8(stream->extension == "m4a" ? u8"音频" : u8"视频"));
      EXPECT_EQ(row[kStream], stream->kind);
      EXPECT_EQ(row[kPresentSegments], std::to_string(stream->present));
      EXPECT_EQ(row[kTotalSegments], std::to_string(stream->total));
      EXPECT_EQ(row[kComplete], Utf8(stream->Complete() ? u8"是" : u8"否"));
      EXPECT_EQ(row[kEncrypted], Utf8(stream->encrypted ? u8"是" : u8"否"));
      EXPECT_EQ(row[kPresent], std::to_string(stream->presentBytes));
      EXPECT_EQ(row[kFullLength], stream->Complete() ? std::to_string(stream->presentBytes) : std::string());
      EXPECT_EQ(row[kTime].size(), 19u) << row[kTime];
      EXPECT_FALSE(row[kFolder].empty());
    }
    std::multiset<std::pair<std::string, const Expected*>> expected;
    for (const std::string& browser : kBrowsers)
      for (const Expected& stream : shared->streams)
        if (onlyClass.empty() || (onlyClass == "audio") == (stream.extension == "m4a"))
          expected.insert({browser, &stream});
    EXPECT_EQ(found.size(), expected.size());
    EXPECT_TRUE(found == expected) << "the rows are not the pages' streams, once per browser";
  }

  static std::map<std::wstring, std::string> FolderFiles(const std::wstring& folder) {
    std::map<std::wstring, std::string> files;
    for (const std::wstring& name : FolderList(folder))
      files[name] = FileRead(folder + L"\\" + name).value_or("");
    return files;
  }

  // Each saved file is the join of one stream; with `partial` the
  // incomplete ones' contiguous runs count too.  Every such stream is saved
  // once per browser.
  void ExpectSavedJoins(const std::map<std::wstring, std::string>& files, bool partial) {
    std::map<const Expected*, int> saved;
    for (const auto& [name, bytes] : files) {
      const Expected* match = nullptr;
      for (const Expected& stream : shared->streams)
        if (!stream.encrypted && stream.joined == bytes) match = &stream;
      if (!match) {
        ADD_FAILURE() << "not the join of a stream: " << Utf8From(name) << " (" << bytes.size() << " bytes)";
        continue;
      }
      ++saved[match];
      EXPECT_EQ(Utf8From(name).substr(Utf8From(name).rfind('.') + 1), match->extension) << Utf8From(name);
    }
    for (const Expected& stream : shared->streams) {
      const bool wanted = !stream.encrypted && (stream.Complete() || partial);
      EXPECT_EQ(saved[&stream], wanted ? 3 : 0) << stream.page << " " << stream.extension;
    }
  }

  static int Count(bool (*keep)(const Expected&)) {
    return static_cast<int>(3 * std::count_if(shared->streams.begin(), shared->streams.end(), keep));
  }
};

TEST_F(StreamScanTest, ReportListsEveryPagesStreamsAsTheyWereFetched) {
  const ScanRun run = Run(L"/scomma streams.csv");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_TRUE(run.errors.empty()) << run.errors;
  const auto rows = Rows(Path(L"work\\streams.csv"));
  // The stream pages hold no plain media: every row is a stream.
  ExpectStreamRows(rows);
  // The lab's pages: a gap, an encrypted stream and a playlist not stored among them.
  EXPECT_TRUE(std::any_of(shared->streams.begin(), shared->streams.end(),
                          [](const Expected& s) { return !s.Complete(); }));
  EXPECT_TRUE(std::any_of(shared->streams.begin(), shared->streams.end(),
                          [](const Expected& s) { return s.encrypted; }));
  EXPECT_TRUE(std::any_of(shared->streams.begin(), shared->streams.end(),
                          [](const Expected& s) { return s.kind == Utf8(u8"分段"); }));

  const ScanRun audio = Run(L"/type audio /scomma audio.csv");
  ASSERT_EQ(audio.exitCode, 0) << audio.errors;
  ExpectStreamRows(Rows(Path(L"work\\audio.csv")), "audio");
}

TEST_F(StreamScanTest, CopyAllSavesCompleteStreamsJoinedAndNeverTheEncryptedOne) {
  const std::wstring saved = Path(L"work\\joined");
  // Each stream on its own (a DASH page's picture and sound would be one muxed file without /separate).
  const ScanRun run = Run(L"/copyall \"" + saved + L"\" /separate");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  const int complete = Count([](const Expected& s) { return s.Complete() && !s.encrypted; });
  const int incomplete = Count([](const Expected& s) { return !s.Complete() && !s.encrypted; });
  const int encrypted = Count([](const Expected& s) { return s.encrypted; });
  ASSERT_GT(encrypted, 0);
  ASSERT_GT(incomplete, 0);
  EXPECT_NE(run.output.find("已保存 " + std::to_string(complete) + " 个，因不完整而跳过 " +
                            std::to_string(incomplete) + " 个，失败 0 个"),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("加密的流不能保存，跳过 " + std::to_string(encrypted) + " 个"), std::string::npos)
      << run.output;
  const std::map<std::wstring, std::string> files = FolderFiles(saved);
  EXPECT_EQ(files.size(), static_cast<std::size_t>(complete));
  ExpectSavedJoins(files, false);
  // Named after the playlist (the group after its first segment), numbered from the second on.
  for (const wchar_t* name : {L"index.mp4", L"index(2).mp4", L"index.ts", L"index.m4a", L"manifest.mp4",
                              L"manifest(3).m4a", L"seg0.mp4", L"seg0(3).mp4"})
    EXPECT_TRUE(files.count(name)) << Utf8From(name);

  // What ffprobe reads of them: as long as their segments, with video and
  // sound where the stream has both.
  const std::optional<KeyValues> probe =
      shared->lab->Control("probe", {{"path", Utf8From(saved + L"\\index.mp4")}});
  ASSERT_TRUE(probe) << shared->lab->Error();
  if (probe->at("probed") != "1") GTEST_SKIP() << "ffprobe: " << probe->at("error");
  for (const auto& [name, bytes] : files) {
    const std::optional<KeyValues> probed =
        shared->lab->Control("probe", {{"path", Utf8From(saved + L"\\" + name)}});
    ASSERT_TRUE(probed) << shared->lab->Error();
    EXPECT_EQ(probed->at("probed"), "1") << Utf8From(name) << ": " << probed->at("error");
    const Expected* stream = nullptr;
    for (const Expected& candidate : shared->streams)
      if (candidate.joined == bytes) stream = &candidate;
    ASSERT_TRUE(stream);
    const double duration = std::atof(probed->at("duration").c_str());
    EXPECT_NEAR(duration, stream->seconds, 0.5) << Utf8From(name);
    // DASH keeps video and sound in representations of their own.
    const std::string kinds = probed->at("streams");
    EXPECT_EQ(kinds.find("video") != std::string::npos, stream->extension != "m4a")
        << Utf8From(name) << ": " << kinds;
    EXPECT_EQ(kinds.find("audio") != std::string::npos, stream->extension == "m4a" || stream->kind != "DASH")
        << Utf8From(name) << ": " << kinds;
  }
}

// Without /separate, each browser's DASH page (a video and a sound
// Representation of one manifest, both complete) is one muxed file.
TEST_F(StreamScanTest, CopyAllJoinsTheDashPagesPictureAndSoundIntoOneFile) {
  const std::wstring saved = Path(L"work\\muxed");
  const ScanRun run = Run(L"/copyall \"" + saved + L"\"");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_NE(run.output.find("其中 3 个是视频和声音合成的一个文件"), std::string::npos) << run.output;
  const std::map<std::wstring, std::string> files = FolderFiles(saved);
  int muxed = 0;
  for (const auto& [name, bytes] : files) {
    if (!name.starts_with(L"manifest")) continue;
    EXPECT_TRUE(name.ends_with(L".mp4")) << Utf8From(name) << ": the sound is inside the video";
    const std::optional<KeyValues> probed = shared->lab->Control("probe", {{"path", Utf8From(saved + L"\\" + name)}});
    ASSERT_TRUE(probed) << shared->lab->Error();
    if (probed->at("probed") != "1" && probed->at("error") == "no ffprobe") GTEST_SKIP() << "no ffprobe";
    EXPECT_NE(probed->at("streams").find("video"), std::string::npos) << Utf8From(name) << probed->at("streams");
    EXPECT_NE(probed->at("streams").find("audio"), std::string::npos) << Utf8From(name) << probed->at("streams");
    ++muxed;
  }
  EXPECT_EQ(muxed, 3);
}

TEST_F(StreamScanTest, PartialSavesTheContiguousRunOfTheStreamWithAGap) {
  const std::wstring saved = Path(L"work\\partial");
  const ScanRun run = Run(L"/copyall partial /partial /separate");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  const int saveable = Count([](const Expected& s) { return !s.encrypted; });
  EXPECT_NE(run.output.find("已保存 " + std::to_string(saveable) + " 个，因不完整而跳过 0 个，失败 0 个"),
            std::string::npos)
      << run.output;
  const std::map<std::wstring, std::string> files = FolderFiles(saved);
  EXPECT_EQ(files.size(), static_cast<std::size_t>(saveable));
  ExpectSavedJoins(files, true);
  // The gap page's run: its segments before the first skipped one, shorter than the stream.
  for (const Expected& stream : shared->streams) {
    if (stream.Complete() || stream.encrypted) continue;
    EXPECT_LT(stream.seconds, static_cast<double>(stream.present)) << stream.page;
    EXPECT_GT(stream.seconds, 0) << stream.page;
  }
}

}  // namespace
}  // namespace e2e
