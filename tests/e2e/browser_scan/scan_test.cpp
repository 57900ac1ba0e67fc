// The scan from the command line, end to end: real Chromium (both stores)
// and Firefox fill caches in the Wine prefix's home from the lab's media
// page, once for all cases; then the real program lists them (/scomma,
// /stab, /type, /cachefolder), saves them (/copyall, /partial, twice into
// one folder) and refuses bad arguments, and everything it wrote is checked
// against what the lab served.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "tests/e2e/browser_scan/scan_run.h"
#include "tests/e2e/driver/browser_lab_client.h"
#include "tests/e2e/driver/checksum.h"
#include "tests/e2e/driver/program.h"
#include "tests/e2e/driver/sandbox.h"

namespace e2e {
namespace {

constexpr std::string_view kPage = "/media.html";
const std::vector<std::string> kMedia = {"/media/clip.webm", "/media/sound.mp3", "/media/video.mp4"};
constexpr std::size_t kColumns = 19;  // then five of a stream's, the partner, and the media's facts
constexpr std::size_t kCutBody = 256 * 1024;  // one of Firefox's chunks
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
  kSeconds = kStream + 6,  // after the stream's five and the partner
};

std::string Utf8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

// Sets a file's last write to a local time given to the second.
bool LastWriteSetLocal(const std::wstring& path, WORD year, WORD month, WORD day, WORD hour, WORD minute,
                       WORD second) {
  SYSTEMTIME parts{};
  parts.wYear = year;
  parts.wMonth = month;
  parts.wDay = day;
  parts.wHour = hour;
  parts.wMinute = minute;
  parts.wSecond = second;
  FILETIME local{}, utc{};
  if (!SystemTimeToFileTime(&parts, &local) || !LocalFileTimeToFileTime(&local, &utc)) return false;
  HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool set = SetFileTime(file, nullptr, nullptr, &utc);
  CloseHandle(file);
  return set;
}

struct Served {
  std::string address;  // as the browsers asked for it
  std::string bytes;
  std::string type;
};

// What all cases share: the served media, the caches the three runs left,
// and a copy of the program.
struct Caches {
  std::optional<BrowserLab> lab;
  std::unique_ptr<Sandbox> sandbox;
  std::map<std::string, Served> served;  // by address
  std::wstring localAppData, roamingAppData;
  std::wstring blockFileCache, simpleCache, firefoxEntries;
  std::wstring program;
  std::string failure;
};

Caches* shared = nullptr;

bool PlayPage(BrowserLab& lab, BrowserLaunch launch, std::wstring* cacheFolder, std::string* failure) {
  std::optional<RunningBrowser> browser = lab.Launch(launch);
  if (!browser) return *failure = "launch: " + lab.Error(), false;
  *cacheFolder = browser->CacheFolder();
  if (!lab.WaitIdle(launch.page, Milliseconds(60000))) return *failure = "wait-idle: " + lab.Error(), false;
  const std::optional<BrowserStopped> stopped = browser->Stop();
  if (!stopped || stopped->remaining != 0) return *failure = "stop: " + lab.Error(), false;
  return true;
}

void CachesMake(Caches& caches) {
  caches.lab = BrowserLab::FromEnvironment();
  if (!caches.lab) return void(caches.failure = "EE_BROWSER_LAB_PORT is not set");
  caches.sandbox = std::make_unique<Sandbox>();
  const Sandbox& box = *caches.sandbox;
  caches.localAppData = box.Path(L"home\\AppData\\Local");
  caches.roamingAppData = box.Path(L"home\\AppData\\Roaming");
  if (!box.MakeFolder(L"home\\AppData\\Local") || !box.MakeFolder(L"home\\AppData\\Roaming") ||
      !box.MakeFolder(L"program") || !box.MakeFolder(L"work"))
    return void(caches.failure = "sandbox folders");
  if (!box.CopyIn(ProductExecutable(), L"program\\ElementExtractor.exe"))
    return void(caches.failure = "program copy");
  caches.program = box.Path(L"program\\ElementExtractor.exe");

  for (const std::string& path : kMedia) {
    const std::optional<ServedFile> file = caches.lab->File(path);
    const std::optional<HttpReply> reply = caches.lab->Fetch(path);
    if (!file || !reply || reply->body.size() != file->size) return void(caches.failure = "fetch " + path);
    caches.served[caches.lab->Url(path)] = Served{caches.lab->Url(path), reply->body, file->type};
  }

  BrowserLaunch blockFile;
  blockFile.browser = BrowserKind::kChromium;
  blockFile.store = ChromiumStore::kBlockFile;
  blockFile.userDataDir = caches.localAppData + L"\\Chromium\\User Data";
  blockFile.page = std::string(kPage);
  BrowserLaunch simple = blockFile;
  simple.store = ChromiumStore::kSimple;
  simple.userDataDir = caches.localAppData + L"\\Google\\Chrome\\User Data";
  BrowserLaunch firefox;
  firefox.browser = BrowserKind::kFirefox;
  firefox.userDataDir = caches.localAppData + L"\\Mozilla\\Firefox\\Profiles\\scan.default";
  firefox.page = std::string(kPage);
  std::wstring cache2;
  if (!PlayPage(*caches.lab, blockFile, &caches.blockFileCache, &caches.failure) ||
      !PlayPage(*caches.lab, simple, &caches.simpleCache, &caches.failure) ||
      !PlayPage(*caches.lab, firefox, &cache2, &caches.failure))
    return;
  caches.firefoxEntries = cache2 + L"\\entries";
}

class ScanTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    shared = new Caches;
    CachesMake(*shared);
  }
  static void TearDownTestSuite() {
    delete shared;
    shared = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(shared->failure.empty()) << shared->failure; }

  // The program with `arguments`, started in the sandbox's work folder, with
  // %LOCALAPPDATA% in the sandbox's home (where the browsers left their caches).
  ScanRun Run(const std::wstring& arguments) {
    return Run(arguments, shared->localAppData, shared->roamingAppData);
  }
  ScanRun Run(const std::wstring& arguments, const std::wstring& local, const std::wstring& roaming) {
    ScanRun run = ScanRunProgram(shared->program, arguments, Path(L"work"),
                                 {{L"LOCALAPPDATA", local}, {L"APPDATA", roaming}});
    EXPECT_TRUE(run.failure.empty()) << run.failure;
    // Command-line mode never touches the settings file.
    EXPECT_FALSE(shared->sandbox->Exists(L"program\\setting.ini"));
    return run;
  }

  static std::wstring Path(std::wstring_view relative) { return shared->sandbox->Path(relative); }

  // The report's rows without the header, checked for shape.
  std::vector<std::vector<std::string>> Rows(const std::wstring& report, char separator) {
    const std::optional<std::string> text = FileRead(report);
    EXPECT_TRUE(text) << "no report";
    const auto records = ReportRecords(text.value_or(""), separator);
    EXPECT_TRUE(records) << "not a well-formed report";
    if (!records || records->empty()) return {};
    EXPECT_EQ(records->front()[0], Utf8(u8"网址"));
    EXPECT_EQ(records->front().size(), kColumns);
    for (const auto& record : *records) EXPECT_EQ(record.size(), kColumns);
    return {records->begin() + 1, records->end()};
  }

  // Each row is a served medium, whole and complete; the rows are exactly
  // the expected (browser, address) pairs.
  void ExpectRowsAreServedMedia(const std::vector<std::vector<std::string>>& rows,
                                const std::set<std::pair<std::string, std::string>>& expected) {
    std::set<std::pair<std::string, std::string>> found;
    for (const auto& row : rows) {
      if (row.size() != kColumns) continue;
      EXPECT_TRUE(found.insert({row[kBrowser], row[kAddress]}).second) << "twice: " << row[kAddress];
      const auto served = shared->served.find(row[kAddress]);
      if (served == shared->served.end()) {
        ADD_FAILURE() << "not a served medium: " << row[kAddress];
        continue;
      }
      const Served& medium = served->second;
      EXPECT_EQ(row[kType], medium.type) << row[kAddress];
      EXPECT_EQ(row[kFullLength], std::to_string(medium.bytes.size())) << row[kAddress];
      EXPECT_EQ(row[kPresent], std::to_string(medium.bytes.size())) << row[kAddress];
      EXPECT_EQ(row[kComplete], Utf8(u8"是")) << row[kAddress];
      const std::string extension = row[kAddress].substr(row[kAddress].rfind('.') + 1);
      EXPECT_EQ(row[kExtension], extension);
      EXPECT_EQ(row[kClass], Utf8(extension == "mp3" ? u8"音频" : u8"视频")) << row[kAddress];
      EXPECT_EQ(row[kTime].size(), 19u) << row[kTime];
      EXPECT_FALSE(row[kFolder].empty());
      // A file's row leaves the stream columns empty.
      for (std::size_t column = kStream; column < kSeconds; ++column) EXPECT_EQ(row[column], "") << column;
    }
    EXPECT_EQ(found, expected);
  }

  static std::set<std::pair<std::string, std::string>> Expected(std::initializer_list<const char*> browsers,
                                                                std::initializer_list<const char*> paths) {
    std::set<std::pair<std::string, std::string>> expected;
    for (const char* browser : browsers)
      for (const char* path : paths) expected.insert({browser, shared->lab->Url(path)});
    return expected;
  }

  // name -> bytes of every file in a folder.
  static std::map<std::wstring, std::string> FolderFiles(const std::wstring& folder) {
    std::map<std::wstring, std::string> files;
    for (const std::wstring& name : FolderList(folder))
      files[name] = FileRead(folder + L"\\" + name).value_or("");
    return files;
  }

  static bool IsServedFile(const std::string& bytes) {
    return std::any_of(shared->served.begin(), shared->served.end(),
                       [&](const auto& served) { return served.second.bytes == bytes; });
  }
};

TEST_F(ScanTest, CommaReportListsTheMediaOfEveryBrowserInTheDefaultPlaces) {
  const std::wstring report = Path(L"work\\报告.csv");
  const ScanRun run = Run(L"/scomma \"" + report + L"\"");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_TRUE(run.errors.empty()) << run.errors;
  EXPECT_NE(run.output.find("报告已写入"), std::string::npos) << run.output;
  const auto rows = Rows(report, ',');
  ExpectRowsAreServedMedia(rows, Expected({"Chromium", "Chrome", "Firefox"},
                                          {"/media/clip.webm", "/media/sound.mp3", "/media/video.mp4"}));
  // Each row names the cache folder it came from.
  std::set<std::string> folders;
  for (const auto& row : rows) folders.insert(row[kFolder]);
  EXPECT_EQ(folders.size(), 3u);
}

std::string Utf8FromWide(const std::wstring& text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(std::max(length, 0)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), length, nullptr,
                      nullptr);
  return utf8;
}

// Copies a folder and everything below it.
bool FolderTreeCopy(const std::wstring& from, const std::wstring& to) {
  if (!CreateDirectoryW(to.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  WIN32_FIND_DATAW found{};
  HANDLE find = FindFirstFileW((from + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return false;
  bool copied = true;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      copied = FolderTreeCopy(from + L"\\" + name, to + L"\\" + name) && copied;
    else
      copied = CopyFileW((from + L"\\" + name).c_str(), (to + L"\\" + name).c_str(), FALSE) && copied;
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return copied;
}

bool FolderPathMake(const std::wstring& path) {
  for (std::size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
    CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
  return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// A desktop as our users have it: the real caches copied into the places of
// many Chromium browsers (a roaming one, a second profile, a Service Worker
// cache, an unknown fork, a code cache that is no media cache).  Each place
// lists the media once, named by its browser.
TEST_F(ScanTest, EveryChromiumBrowserProfileAndForkIsListedWithItsName) {
  const std::wstring local = Path(L"desktop\\Local"), roaming = Path(L"desktop\\Roaming");
  const struct {
    const std::wstring* root;
    std::wstring place;
    bool simple;
    std::string browser;  // empty: not listed
  } places[] = {
      {&local, L"Google\\Chrome\\User Data\\Default\\Cache\\Cache_Data", true, "Chrome"},
      {&local, L"Google\\Chrome\\User Data\\Profile 2\\Cache\\Cache_Data", false, "Chrome"},
      {&local, L"Google\\Chrome\\User Data\\Default\\Service Worker\\CacheStorage\\5f1e\\0c3b", true,
       "Chrome"},
      {&local, L"Google\\Chrome\\User Data\\Default\\Code Cache\\js", false, ""},
      {&local, L"Microsoft\\Edge\\User Data\\Default\\Cache\\Cache_Data", false, "Edge"},
      {&local, L"Tencent\\QQBrowser\\User Data\\Default\\Cache\\Cache_Data", false, Utf8(u8"QQ浏览器")},
      {&local, L"2345Explorer\\User Data\\Default\\Cache\\Cache_Data", true, Utf8(u8"2345浏览器")},
      {&local, L"BraveSoftware\\Brave-Browser\\User Data\\Default\\Cache\\Cache_Data", false, "Brave"},
      {&local, L"Vivaldi\\User Data\\Default\\Cache\\Cache_Data", false, "Vivaldi"},
      {&local, L"Yandex\\YandexBrowser\\User Data\\Default\\Cache\\Cache_Data", false, "Yandex"},
      {&local, L"Opera Software\\Opera Stable\\Cache\\Cache_Data", false, "Opera"},
      {&local, L"Acme\\Zeta Browser\\User Data\\Default\\Cache\\Cache_Data", false, "Zeta Browser"},
      {&roaming, L"360se6\\User Data\\Default\\Cache\\Cache_Data", false, Utf8(u8"360安全浏览器")},
      {&roaming, L"SogouExplorer\\Webkit\\Default\\Cache\\Cache_Data", true, Utf8(u8"搜狗浏览器")},
  };
  std::map<std::string, std::string> expected;  // folder as the report names it -> browser
  for (const auto& place : places) {
    const std::wstring folder = *place.root + L"\\" + place.place;
    ASSERT_TRUE(FolderPathMake(folder));
    ASSERT_TRUE(FolderTreeCopy(place.simple ? shared->simpleCache : shared->blockFileCache, folder));
    if (!place.browser.empty()) expected[Utf8FromWide(folder)] = place.browser;
  }

  const std::wstring report = Path(L"work\\desktop.csv");
  const ScanRun run = Run(L"/scomma \"" + report + L"\"", local, roaming);
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  std::map<std::string, std::string> browserOf;
  std::map<std::string, std::set<std::string>> addressesOf;
  for (const auto& row : Rows(report, ',')) {
    EXPECT_TRUE(addressesOf[row[kFolder]].insert(row[kAddress]).second) << "twice: " << row[kAddress];
    browserOf[row[kFolder]] = row[kBrowser];
  }
  EXPECT_EQ(browserOf, expected);
  std::set<std::string> media;
  for (const std::string& path : kMedia) media.insert(shared->lab->Url(path));
  for (const auto& [folder, addresses] : addressesOf) EXPECT_EQ(addresses, media) << folder;
}

TEST_F(ScanTest, TabReportOfOneClassFromNamedFolders) {
  const std::wstring report = Path(L"work\\audio.tsv");
  ScanRun run = Run(L"/stab audio.tsv /type audio");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  ExpectRowsAreServedMedia(Rows(report, '\t'),
                           Expected({"Chromium", "Chrome", "Firefox"}, {"/media/sound.mp3"}));

  // Named folders replace the default places: each store alone, then two.
  const std::wstring videos = Path(L"work\\videos.csv");
  run = Run(L"/type VIDEO /scomma videos.csv /cachefolder \"" + shared->blockFileCache + L"\"");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  ExpectRowsAreServedMedia(Rows(videos, ','),
                           Expected({"Chromium"}, {"/media/clip.webm", "/media/video.mp4"}));
  run = Run(L"/scomma videos.csv /cachefolder \"" + shared->simpleCache + L"\" /cachefolder \"" +
            shared->firefoxEntries + L"\\..\"");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  ExpectRowsAreServedMedia(
      Rows(videos, ','),
      Expected({"Chrome", "Firefox"}, {"/media/clip.webm", "/media/sound.mp3", "/media/video.mp4"}));
}

TEST_F(ScanTest, CopyAllSavesEveryElementByteForByteAndNeverOverwrites) {
  const std::wstring saved = Path(L"work\\保存");
  ScanRun run = Run(L"/copyall \"" + saved + L"\"");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_NE(run.output.find("已保存 9 个，因不完整而跳过 0 个，失败 0 个"), std::string::npos) << run.output;
  const std::map<std::wstring, std::string> first = FolderFiles(saved);
  ASSERT_EQ(first.size(), 9u);
  // Named after the address, numbered from the second on.
  for (const wchar_t* name : {L"video.mp4", L"video(2).mp4", L"video(3).mp4", L"clip.webm", L"clip(3).webm",
                              L"sound.mp3", L"sound(2).mp3"})
    EXPECT_TRUE(first.count(name)) << Utf8From(name);
  for (const auto& [name, bytes] : first) EXPECT_TRUE(IsServedFile(bytes)) << Utf8From(name);

  // Again into the same folder: nine new names, the first nine untouched.
  run = Run(L"/copyall \"" + saved + L"\"");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  const std::map<std::wstring, std::string> second = FolderFiles(saved);
  ASSERT_EQ(second.size(), 18u);
  for (const auto& [name, bytes] : first) EXPECT_EQ(second.at(name), bytes) << Utf8From(name);
  for (const auto& [name, bytes] : second) EXPECT_TRUE(IsServedFile(bytes)) << Utf8From(name);
  EXPECT_TRUE(second.count(L"video(6).mp4"));

  // One class only.
  const std::wstring sounds = Path(L"work\\sounds");
  run = Run(L"/copyall \"" + sounds + L"\" /type audio");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  const std::map<std::wstring, std::string> audio = FolderFiles(sounds);
  EXPECT_EQ(audio.size(), 3u);
  for (const auto& [name, bytes] : audio)
    EXPECT_EQ(bytes, shared->served.at(shared->lab->Url("/media/sound.mp3")).bytes);
}

// An entry the browser is still writing (its body so far, no metadata yet)
// is incomplete: skipped, or with /partial saved as far as it goes.
TEST_F(ScanTest, PartialSavesTheBeginningOfAnEntryStillBeingWritten) {
  const Served& video = shared->served.at(shared->lab->Url("/media/video.mp4"));
  const std::wstring entries = Path(L"work\\cut\\cache2\\entries");
  ASSERT_TRUE(FolderCreateAll(entries));
  std::string cutName;
  for (const std::wstring& name : FolderList(shared->firefoxEntries)) {
    std::string bytes = FileRead(shared->firefoxEntries + L"\\" + name).value_or("");
    if (bytes.size() > video.bytes.size() && bytes.compare(0, 4096, video.bytes, 0, 4096) == 0) {
      // As an open entry looks: the body in whole chunks so far, then eight 0xFF bytes.
      bytes.resize(kCutBody);
      bytes.append(8, '\xFF');
      cutName = Utf8From(name);
    }
    ASSERT_TRUE(FileWrite(entries + L"\\" + name, bytes));
    // Without metadata the last write is the entry's only time: a whole hour
    // leaves the minutes and seconds out of the name it is saved under.
    if (cutName == Utf8From(name)) {
      ASSERT_TRUE(LastWriteSetLocal(entries + L"\\" + name, 2026, 12, 8, 21, 0, 0));
    }
  }
  ASSERT_FALSE(cutName.empty()) << "the video's entry was not found";

  const std::wstring report = Path(L"work\\cut.csv");
  const std::wstring whole = Path(L"work\\whole");
  ScanRun run = Run(L"/scomma cut.csv /copyall whole /cachefolder cut\\cache2\\entries");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_NE(run.output.find("已保存 2 个，因不完整而跳过 1 个，失败 0 个"), std::string::npos) << run.output;
  const auto rows = Rows(report, ',');
  ASSERT_EQ(rows.size(), 3u);
  int incomplete = 0;
  for (const auto& row : rows) {
    if (row[kComplete] != Utf8(u8"否")) continue;
    ++incomplete;
    EXPECT_EQ(row[kPresent], std::to_string(kCutBody));
    EXPECT_EQ(row[kClass], Utf8(u8"视频"));
  }
  EXPECT_EQ(incomplete, 1);
  const auto wholeFiles = FolderFiles(whole);
  EXPECT_EQ(wholeFiles.size(), 2u);
  for (const auto& [name, bytes] : wholeFiles) EXPECT_TRUE(IsServedFile(bytes)) << Utf8From(name);

  const std::wstring partial = Path(L"work\\partial");
  run = Run(L"/copyall partial /partial /cachefolder cut\\cache2\\entries");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_NE(run.output.find("已保存 3 个，因不完整而跳过 0 个，失败 0 个"), std::string::npos) << run.output;
  const auto partialFiles = FolderFiles(partial);
  ASSERT_EQ(partialFiles.size(), 3u);
  int prefixes = 0;
  for (const auto& [name, bytes] : partialFiles) {
    if (IsServedFile(bytes)) continue;
    ++prefixes;
    EXPECT_EQ(bytes, video.bytes.substr(0, kCutBody)) << Utf8From(name);
    // No address without the entry's metadata: named by its time, as the watch names copies.
    EXPECT_EQ(Utf8From(name), Utf8(u8"2026年12月8日21时.mp4"));
  }
  EXPECT_EQ(prefixes, 1);
}

TEST_F(ScanTest, UsageAndBadArguments) {
  ScanRun run = Run(L"/?");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.output.find("/scomma"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("退出码"), std::string::npos) << run.output;

  const auto expectRefused = [&](const std::wstring& arguments, int code, const std::string& named) {
    const auto before = FolderList(Path(L"work"));
    const ScanRun refused = Run(arguments);
    EXPECT_EQ(refused.exitCode, code) << Utf8From(arguments);
    EXPECT_NE(refused.errors.find(named), std::string::npos) << Utf8From(arguments) << ": " << refused.errors;
    EXPECT_TRUE(refused.output.empty()) << refused.output;
    EXPECT_EQ(FolderList(Path(L"work")), before) << "wrote something for " << Utf8From(arguments);
  };
  expectRefused(L"/scomma new.csv /bogus", 1, "无法识别的参数：/bogus");
  expectRefused(L"/copyall newcopies /scomma", 1, "开关 /scomma 后面缺少值");
  expectRefused(L"/stab new.tsv /type pictures", 1, "pictures");
  expectRefused(L"/scomma new.csv /partial", 1, "/partial");
  expectRefused(L"/type audio", 1, "/scomma");
  expectRefused(L"/scomma new.csv /cachefolder nowhere", 1, "nowhere");
  // A report in a folder that does not exist: nothing else is written (not the copies either).
  expectRefused(L"/copyall newcopies /scomma missing\\r.csv", 2, "missing\\r.csv");

  const std::wstring readOnly = PathFromEnvironment(L"EE_SCAN_READONLY_REPORT");
  if (readOnly.empty()) GTEST_SKIP() << "no file that refuses writes could be made (chattr)";
  const std::optional<std::string> kept = FileRead(readOnly);
  ASSERT_TRUE(kept);
  expectRefused(L"/copyall newcopies /stab \"" + readOnly + L"\"", 2, "readonly.csv");
  EXPECT_EQ(FileRead(readOnly), kept);
}

}  // namespace
}  // namespace e2e
