// Bodies of 16 KiB or less, which the block-file store keeps inside its data
// files without any new file: played by the real Chromium in an existing
// profile while the real program watches.  An HLS stream of small fMP4
// parts with two fragments skipped is prompted for once with its playlist's
// address and offers the choice in segments; a 10 KB MP3 is prompted for
// once and saved byte for byte; nothing else is prompted for.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/browser_media/chromium_watch.h"
#include "tests/e2e/driver/gbk.h"
#include "tests/e2e/driver/sandbox.h"

namespace e2e {
namespace {

class ChromiumSmallBodies : public ChromiumWatch<BlockFileStore> {};

constexpr std::size_t kBlockBodyMax = 16 * 1024;

std::size_t AddedCount(const std::set<std::wstring>& before, const std::set<std::wstring>& after) {
  return static_cast<std::size_t>(std::count_if(
      after.begin(), after.end(), [&](const std::wstring& name) { return !before.count(name); }));
}

// The served size of a path, from the lab.
std::size_t ServedSize(BrowserLab& lab, const std::string& path) {
  const std::optional<HttpReply> reply = lab.Fetch(path);
  EXPECT_TRUE(reply && reply->status == 200) << path;
  return reply ? reply->body.size() : 0;
}

TEST_F(ChromiumSmallBodies, StreamOfSmallPartsIsPromptedOnceWithItsPlaylistAndOffersTheChoice) {
  ChromiumWatchSession& session = Session();
  ASSERT_TRUE(session.EnsureCacheFolder());  // a browser in use: no new index
  ASSERT_TRUE(session.Watch(true, true));
  const std::set<std::wstring> before = session.SaveFolderFiles();
  const std::set<std::wstring> cacheBefore = session.CacheFiles();
  const std::string page = "/streams/hls-small.html";
  ASSERT_TRUE(session.LaunchBrowser(page));
  ASSERT_TRUE(session.Lab().WaitIdle(page, Milliseconds(90000))) << session.Lab().Error();
  const std::optional<StreamPage> stream = session.Lab().Stream(page);
  ASSERT_TRUE(stream && stream->tracks.size() == 1) << session.Lab().Error();
  const StreamTrack& track = stream->tracks.front();
  ASSERT_EQ(track.skipped.size(), 2u);
  // The case is about parts that stay in the blocks: each is small enough.
  EXPECT_LT(ServedSize(session.Lab(), track.init), kBlockBodyMax);
  for (const std::string& segment : track.fetched)
    EXPECT_LT(ServedSize(session.Lab(), segment), kBlockBodyMax);

  MessageBoxWindow box = session.NextBox();
  ASSERT_TRUE(box) << "no prompt for the stream";
  EXPECT_EQ(box.Caption(), kVideoPromptCaption);
  EXPECT_NE(box.Message().find(session.Lab().Url(stream->playlist)), std::string::npos) << box.Message();
  ASSERT_TRUE(box.Answer(IDOK));
  MessageBoxWindow choice = session.NextBox(Milliseconds(30000));
  ASSERT_TRUE(choice);
  EXPECT_EQ(choice.Caption(), kIncompleteCaption);
  const std::string counts = "已缓存 " + std::to_string(track.fetched.size()) + " 段，共 " +
                             std::to_string(track.segments.size()) + " 段。";
  EXPECT_NE(choice.Message().find(counts), std::string::npos) << choice.Message();
  ASSERT_TRUE(choice.Answer(IDCONTINUE));
  const std::optional<std::wstring> saved = session.WaitSaved(MediaClass::kVideo);
  ASSERT_TRUE(saved);
  EXPECT_EQ(ExtensionOf(*saved), ".mp4");
  ASSERT_TRUE(session.StopBrowser());
  EXPECT_TRUE(session.NoBoxAppears(Milliseconds(3000)));
  EXPECT_EQ(AddedCount(before, session.SaveFolderFiles()), 1u);
  // Had the browser made a file of its own for a part, the old way would have found it.
  for (const std::wstring& name : session.CacheFiles()) {
    if (!cacheBefore.count(name)) {
      EXPECT_NE(name.substr(0, 2), L"f_") << Utf8From(name);
    }
  }
}

TEST_F(ChromiumSmallBodies, SmallMp3IsPromptedOnceAndSavedByteForByte) {
  ChromiumWatchSession& session = Session();
  ASSERT_TRUE(session.EnsureCacheFolder());
  ASSERT_TRUE(session.Watch(true, true));
  const std::set<std::wstring> before = session.SaveFolderFiles();
  EXPECT_LT(session.ServedBytes("/media/small.mp3").size(), kBlockBodyMax);
  ASSERT_TRUE(session.LaunchBrowser("/small.html"));
  // AnswerPrompts checks the copy against the served file and fails on any other prompt.
  session.AnswerPrompts("/small.html", {{"/media/small.mp3", MediaClass::kAudio, IDOK, ".mp3"}});
  ASSERT_TRUE(session.StopBrowser());
  EXPECT_TRUE(session.NoBoxAppears(Milliseconds(3000)));
  EXPECT_EQ(AddedCount(before, session.SaveFolderFiles()), 1u);
}

}  // namespace
}  // namespace e2e
