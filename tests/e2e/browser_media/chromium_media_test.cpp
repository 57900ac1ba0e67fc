// Media played by the real Chromium while the real program watches the home
// folder: each element prompted for once with its web address and saved
// whole; what is not media, an unchecked class and a cancelled prompt save
// nothing; an element cut short offers the choice at OK.  Both of
// Chromium's stores, each with one program start and one profile.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/browser_media/chromium_watch.h"
#include "tests/e2e/driver/gbk.h"
#include "tests/e2e/driver/sandbox.h"

namespace e2e {
namespace {

template <class Store>
class ChromiumMedia : public ChromiumWatch<Store> {};

TYPED_TEST_SUITE(ChromiumMedia, ChromiumStores, ChromiumStoreNames);

// The new files of the save folder.
std::vector<std::wstring> Added(const std::set<std::wstring>& before, const std::set<std::wstring>& after) {
  std::vector<std::wstring> added;
  for (const std::wstring& name : after)
    if (!before.count(name)) added.push_back(name);
  return added;
}

// A bytes count at which a served answer stops: past the first 1 MiB part
// (so something is on disk in either store) and on a 1 KiB boundary.
constexpr std::uint64_t kCutAt = 1024 * 1024 + 300 * 1024;
// The start of a body looked for in new cache files (small enough to sit
// in the simple cache's first range record).
constexpr size_t kProbeBytes = 1024;

// The first run of a browser: its profile and cache folder are made while
// the program watches.  The page's image, script and stylesheet and the
// page itself are never prompted for.
TYPED_TEST(ChromiumMedia, FirstRunMakesTheCacheWhileWatchedAndEachMediumIsSavedWhole) {
  ChromiumWatchSession& session = this->Session();
  ASSERT_FALSE(FolderExists(session.UserDataFolder())) << "this case needs a profile not used yet";
  const std::optional<std::string> page = session.Lab().BenchPage(3, 3, "first");
  ASSERT_TRUE(page) << session.Lab().Error();
  ASSERT_TRUE(session.Watch(true, true));
  const std::set<std::wstring> before = session.SaveFolderFiles();

  ASSERT_TRUE(session.LaunchBrowser(*page));
  session.AnswerPrompts(*page, {{"/media/bench/first/0/video.mp4", MediaClass::kVideo, IDOK, ".mp4"},
                                {"/media/bench/first/1/clip.webm", MediaClass::kVideo, IDOK, ".webm"},
                                {"/media/bench/first/2/sound.mp3", MediaClass::kAudio, IDOK, ".mp3"}});
  EXPECT_TRUE(FolderExists(session.CacheFolder()));
  // Closing the browser writes to every entry once more: no second prompt.
  ASSERT_TRUE(session.StopBrowser());
  EXPECT_TRUE(session.NoBoxAppears());
  EXPECT_EQ(Added(before, session.SaveFolderFiles()).size(), 3u);
}

// A browser already in use: its cache folder, with the entries of earlier
// runs, is there before the watch starts; the entries already there are
// not prompted for.  The page's video (over 1 MiB, in ranges), WebM and MP3
// are, and never its image, script, stylesheet or the page itself; then a
// video served whole (200) in a second run.
TYPED_TEST(ChromiumMedia, BrowserInUseGetsEachMediumPromptedOnceAndSavedWhole) {
  ChromiumWatchSession& session = this->Session();
  ASSERT_TRUE(session.EnsureCacheFolder());
  ASSERT_TRUE(session.Watch(true, true));
  const std::set<std::wstring> before = session.SaveFolderFiles();

  ASSERT_TRUE(session.LaunchBrowser("/media.html"));
  session.AnswerPrompts("/media.html", {{"/media/video.mp4", MediaClass::kVideo, IDOK, ".mp4"},
                                        {"/media/clip.webm", MediaClass::kVideo, IDOK, ".webm"},
                                        {"/media/sound.mp3", MediaClass::kAudio, IDOK, ".mp3"}});
  std::optional<std::map<std::string, ServedStats, std::less<>>> stats = session.Lab().Stats();
  ASSERT_TRUE(stats) << session.Lab().Error();
  ASSERT_TRUE(stats->count("/media/video.mp4"));
  EXPECT_EQ(stats->at("/media/video.mp4").statuses.front(), 206);
  for (const char* other : {"/media.html", "/static/picture.png", "/static/app.js", "/static/style.css"}) {
    EXPECT_TRUE(stats->count(other)) << other << " was not fetched, so its absence of a prompt proves nothing";
  }
  ASSERT_TRUE(session.StopBrowser());
  EXPECT_TRUE(session.NoBoxAppears());

  ASSERT_TRUE(session.LaunchBrowser("/whole.html"));
  session.AnswerPrompts("/whole.html", {{"/media/whole.mp4", MediaClass::kVideo, IDOK, ".mp4"}});
  stats = session.Lab().Stats();
  ASSERT_TRUE(stats) << session.Lab().Error();
  ASSERT_TRUE(stats->count("/media/whole.mp4"));
  EXPECT_EQ(stats->at("/media/whole.mp4").statuses.front(), 200);
  ASSERT_TRUE(session.StopBrowser());
  EXPECT_TRUE(session.NoBoxAppears());
  EXPECT_EQ(Added(before, session.SaveFolderFiles()).size(), 4u);
}

// Only the video class checked: the audio element is never prompted for; a
// cancelled video saves nothing, a confirmed one is saved.
TYPED_TEST(ChromiumMedia, UncheckedClassIsNeverPromptedAndCancelSavesNothing) {
  ChromiumWatchSession& session = this->Session();
  ASSERT_TRUE(session.EnsureCacheFolder());
  const std::optional<std::string> page = session.Lab().BenchPage(3, 0);
  ASSERT_TRUE(page) << session.Lab().Error();
  const std::optional<std::vector<std::string>> media = session.Lab().PageMedia(*page);
  ASSERT_TRUE(media) << session.Lab().Error();
  ASSERT_EQ(*media, (std::vector<std::string>{"/media/bench/0/video.mp4", "/media/bench/1/clip.webm",
                                              "/media/bench/2/sound.mp3"}));
  ASSERT_TRUE(session.Watch(true, false));
  const std::set<std::wstring> before = session.SaveFolderFiles();

  ASSERT_TRUE(session.LaunchBrowser(*page));
  session.AnswerPrompts(*page, {{"/media/bench/0/video.mp4", MediaClass::kVideo, IDOK, ".mp4"},
                                {"/media/bench/1/clip.webm", MediaClass::kVideo, IDCANCEL, ".webm"}});
  ASSERT_TRUE(session.Lab().WaitIdle(*page, Milliseconds(60000))) << session.Lab().Error();
  ASSERT_TRUE(session.StopBrowser());
  EXPECT_TRUE(session.NoBoxAppears());
  const std::vector<std::wstring> added = Added(before, session.SaveFolderFiles());
  ASSERT_EQ(added.size(), 1u);
  EXPECT_EQ(ExtensionOf(added.front()), ".mp4");
}

// The server closes the connection part-way and the browser keeps what it
// got: OK offers the choice, and "continue" saves exactly the bytes from
// offset 0 that arrived.
TYPED_TEST(ChromiumMedia, ElementCutShortSavesItsContiguousPrefixOnContinue) {
  ChromiumWatchSession& session = this->Session();
  ASSERT_TRUE(session.EnsureCacheFolder());
  ASSERT_TRUE(session.Lab().SetMode("/media/cut.mp4", "cut", kCutAt));
  const std::string video = session.ServedBytes("/media/cut.mp4");
  ASSERT_GT(video.size(), kCutAt);
  ASSERT_TRUE(session.Watch(true, true));
  const std::set<std::wstring> before = session.SaveFolderFiles();

  const std::set<std::wstring> earlier = session.CacheFiles();
  ASSERT_TRUE(session.LaunchBrowser("/cut.html"));
  // The browser asks again and again for the rest, so the page never goes
  // quiet: wait for the cut itself.
  ASSERT_TRUE(WaitUntil(
      [&] {
        const auto stats = session.Lab().Stats();
        return stats && stats->count("/media/cut.mp4") && stats->at("/media/cut.mp4").covered >= kCutAt;
      },
      Milliseconds(60000)));
  ASSERT_TRUE(session.WaitBytesOnDisk(video.substr(0, kProbeBytes), earlier));
  ASSERT_TRUE(session.ConfirmPrompt({"/media/cut.mp4", MediaClass::kVideo, IDOK, ".mp4"}));
  std::optional<IncompleteBox> choice = session.WaitIncomplete("/media/cut.mp4");
  ASSERT_TRUE(choice);
  // What the browser buffers reaches the disk a moment later: try again
  // until all that was sent is there.
  const ULONGLONG deadline = GetTickCount64() + 20000;
  while (choice->contiguous < kCutAt && GetTickCount64() < deadline) {
    ASSERT_TRUE(choice->box.Answer(IDTRYAGAIN));
    choice = session.WaitIncomplete("/media/cut.mp4");
    ASSERT_TRUE(choice);
  }
  EXPECT_EQ(choice->contiguous, kCutAt);
  EXPECT_EQ(choice->present, kCutAt);
  if (choice->fullLength) {
    EXPECT_EQ(*choice->fullLength, video.size());
  }
  ASSERT_TRUE(choice->box.Answer(IDCONTINUE));
  const std::optional<std::wstring> saved = session.WaitSaved(MediaClass::kVideo);
  ASSERT_TRUE(saved);
  EXPECT_EQ(ExtensionOf(*saved), ".mp4");
  const std::optional<std::string> bytes = FileRead(*saved);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->size(), choice->contiguous);
  EXPECT_TRUE(*bytes == video.substr(0, static_cast<size_t>(choice->contiguous)))
      << "the saved part is not the start of the served file";
  ASSERT_TRUE(session.StopBrowser());
  EXPECT_TRUE(session.NoBoxAppears());
  EXPECT_EQ(Added(before, session.SaveFolderFiles()).size(), 1u);
}

// The answer stops part-way, its connection open: OK offers the choice; the
// user waits, the rest arrives, the browser closes the entry, and "try
// again" saves the whole file.  In the block files the parent lists its
// children only at its close: the element is found by its first child.
TYPED_TEST(ChromiumMedia, ElementStillArrivingIsSavedWholeWhenTriedAgainAfterTheRestArrived) {
  ChromiumWatchSession& session = this->Session();
  ASSERT_TRUE(session.EnsureCacheFolder());
  ASSERT_TRUE(session.Lab().SetMode("/media/stall.mp4", "stall", kCutAt));
  const std::string video = session.ServedBytes("/media/stall.mp4");
  ASSERT_TRUE(session.Watch(true, true));
  const std::set<std::wstring> before = session.SaveFolderFiles();

  const std::set<std::wstring> earlier = session.CacheFiles();
  ASSERT_TRUE(session.LaunchBrowser("/stall.html"));
  // The answer held: its first bytes are in a cache file, the rest is not.
  ASSERT_TRUE(WaitUntil(
      [&] {
        const auto stats = session.Lab().Stats();
        return stats && stats->count("/media/stall.mp4") && stats->at("/media/stall.mp4").covered >= kCutAt;
      },
      Milliseconds(60000)));
  ASSERT_TRUE(session.WaitBytesOnDisk(video.substr(0, kProbeBytes), earlier));
  ASSERT_TRUE(session.ConfirmPrompt({"/media/stall.mp4", MediaClass::kVideo, IDOK, ".mp4"}));
  std::optional<IncompleteBox> choice = session.WaitIncomplete("/media/stall.mp4");
  ASSERT_TRUE(choice);
  EXPECT_LE(choice->present, kCutAt);
  EXPECT_GT(choice->contiguous, 0u);

  ASSERT_TRUE(session.Lab().SetMode("/media/stall.mp4", "normal"));
  ASSERT_TRUE(session.Lab().WaitIdle("/stall.html", Milliseconds(60000))) << session.Lab().Error();
  ASSERT_TRUE(session.StopBrowser());
  ASSERT_TRUE(choice->box.Answer(IDTRYAGAIN));
  const std::optional<std::wstring> saved = session.WaitSaved(MediaClass::kVideo);
  ASSERT_TRUE(saved);
  EXPECT_EQ(ExtensionOf(*saved), ".mp4");
  const std::optional<std::string> bytes = FileRead(*saved);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->size(), video.size());
  EXPECT_TRUE(*bytes == video) << "the saved copy differs from the served file";
  EXPECT_TRUE(session.NoBoxAppears());
  EXPECT_EQ(Added(before, session.SaveFolderFiles()).size(), 1u);
}

}  // namespace
}  // namespace e2e
