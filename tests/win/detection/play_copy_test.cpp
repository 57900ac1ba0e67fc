// Copies made to be played: what is cached of an element (its beginning
// when incomplete), a stream's segments joined, a presentation the muxer
// refuses played as its picture alone, an encrypted stream refused; and the
// program's temporary folder for them, whose stale folders (their process
// gone) are removed and whose copies go with it.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/browser_caches/cache_folder_memory.h"
#include "app/command_line/scan_copies.h"
#include "app/media_list/play_folder.h"
#include "detection_scratch.h"

namespace {

std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

class PlayCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto folder = std::make_unique<MemoryCacheFolder>("memory");
    files = folder.get();
    folders.emplace_back();
    folders.back().folder = std::move(folder);
  }

  // An element whose body is `present` of `full` bytes (its beginning).
  std::size_t MediaAdd(const std::string& address, const std::string& body, std::uint64_t full,
                       ReportClass mediaClass = ReportClass::Video) {
    ScanFolder& folder = folders.back();
    const std::string file = "m" + std::to_string(folder.media.size());
    files->Put(file, Bytes(body));
    ScannedMedia media;
    media.element.id = file;
    media.element.webAddress = address;
    media.element.finished = true;
    media.element.fullLength = full;
    media.element.pieces.push_back({file, 0, 0, body.size()});
    media.extension = address.substr(address.rfind('.') + 1);
    media.mediaClass = mediaClass;
    folder.media.push_back(std::move(media));
    return folder.media.size() - 1;
  }

  std::size_t StreamAdd(const std::string& address, const std::vector<std::string>& segments,
                        bool encrypted) {
    ScanFolder& folder = folders.back();
    CacheStream stream;
    stream.address = address;
    stream.extension = "ts";
    stream.protectedContent = encrypted;
    stream.plan.complete = true;
    stream.plan.present = stream.plan.total = segments.size();
    for (const std::string& segment : segments) {
      const std::string file =
          "s" + std::to_string(folder.streams.size()) + "-" + std::to_string(stream.sources.size());
      files->Put(file, Bytes(segment));
      CacheElement source;
      source.id = file;
      source.finished = true;
      source.fullLength = segment.size();
      source.pieces.push_back({file, 0, 0, segment.size()});
      stream.pieces.push_back({stream.sources.size(), 0, segment.size(), false});
      stream.sources.push_back(std::move(source));
      stream.plan.bytes += segment.size();
    }
    folder.streams.push_back(std::move(stream));
    return folder.streams.size() - 1;
  }

  PlayCopy Copy(bool stream, std::size_t index) {
    return ScanCopiesPlayCopy(folders, CopyChoice{0, stream, index}, WideOf(scratch.Save()));
  }

  DetectionScratch scratch;
  MemoryCacheFolder* files = nullptr;
  std::vector<ScanFolder> folders;
};

TEST_F(PlayCopyTest, ElementsPlayWhatIsCachedAndStreamsJoined) {
  const std::size_t whole = MediaAdd("http://site/v/clip.mp4", "whole clip", 10);
  const std::size_t part = MediaAdd("http://site/v/part.mp4", "begin", 5000);
  const std::size_t stream = StreamAdd("http://site/live/index.m3u8", {"one-", "two-", "three"}, false);

  PlayCopy copy = Copy(false, whole);
  ASSERT_EQ(copy.outcome, PlayCopyOutcome::Written);
  EXPECT_EQ(copy.path, WideOf(scratch.Save()) + L"\\clip.mp4");
  EXPECT_EQ(FileContents(AnsiOf(copy.path)), "whole clip");
  // A second play of the same row never replaces the first copy.
  copy = Copy(false, whole);
  ASSERT_EQ(copy.outcome, PlayCopyOutcome::Written);
  EXPECT_EQ(copy.path, WideOf(scratch.Save()) + L"\\clip(2).mp4");

  copy = Copy(false, part);
  ASSERT_EQ(copy.outcome, PlayCopyOutcome::Written);
  EXPECT_EQ(FileContents(AnsiOf(copy.path)), "begin");

  copy = Copy(true, stream);
  ASSERT_EQ(copy.outcome, PlayCopyOutcome::Written);
  EXPECT_EQ(copy.path, WideOf(scratch.Save()) + L"\\index.ts");
  EXPECT_EQ(FileContents(AnsiOf(copy.path)), "one-two-three");
}

TEST_F(PlayCopyTest, RefusedPairsPlayThePictureAndBadChoicesSayWhy) {
  const std::size_t video = MediaAdd("http://site/v/pic.mp4", "not a movie", 11);
  const std::size_t audio = MediaAdd("http://site/v/snd.m4a", "not a sound", 11, ReportClass::Audio);
  folders.back().partners.media = {audio, video};
  const std::size_t locked = StreamAdd("http://site/drm/index.m3u8", {"secret"}, true);
  const std::size_t gone = MediaAdd("http://site/v/gone.mp4", "", 100);

  PlayCopy copy = Copy(false, video);
  ASSERT_EQ(copy.outcome, PlayCopyOutcome::Written);
  EXPECT_EQ(FileContents(AnsiOf(copy.path)), "not a movie");
  // The refused mux left nothing behind: only the picture's copy is there.
  EXPECT_EQ(scratch.SavedNames(), std::vector<std::string>{"pic.mp4"});

  EXPECT_EQ(Copy(true, locked).outcome, PlayCopyOutcome::Encrypted);
  EXPECT_EQ(Copy(false, gone).outcome, PlayCopyOutcome::Empty);
  EXPECT_EQ(Copy(false, 99).outcome, PlayCopyOutcome::Nothing);
  EXPECT_EQ(ScanCopiesPlayCopy(folders, CopyChoice{5, false, 0}, WideOf(scratch.Save())).outcome,
            PlayCopyOutcome::Nothing);
  // The browser dropped the element's file: the copy fails and leaves nothing.
  files->Remove("m1");
  copy = Copy(false, audio);
  EXPECT_EQ(copy.outcome, PlayCopyOutcome::Failed);
  EXPECT_EQ(scratch.SavedNames(), std::vector<std::string>{"pic.mp4"});
}

TEST(PlayFolderTest, StaleFoldersGoAtOpeningAndTheCopiesWithTheOwner) {
  wchar_t temporary[MAX_PATH + 1] = {};
  ASSERT_GT(GetTempPathW(MAX_PATH + 1, temporary), 0u);
  std::wstring folderOfTemporary = temporary;
  folderOfTemporary.pop_back();  // its trailing backslash
  const std::wstring root = PlayFolderRoot(folderOfTemporary);
  CreateDirectoryW(root.c_str(), nullptr);
  // A process id cannot be odd: no live process owns this folder.
  const std::wstring stale = root + L"\\99999993";
  CreateDirectoryW(stale.c_str(), nullptr);
  FileWrite(stale + L"\\old.mp4", "old");
  EXPECT_FALSE(PlayFolderOwnerAlive(L"99999993"));
  EXPECT_FALSE(PlayFolderOwnerAlive(L"12ab"));
  EXPECT_TRUE(PlayFolderOwnerAlive(std::to_wstring(GetCurrentProcessId())));
  {
    PlayFolder folder;
    EXPECT_EQ(GetFileAttributesW(stale.c_str()), INVALID_FILE_ATTRIBUTES);
    const std::wstring own = folder.Path();
    EXPECT_EQ(own, root + L"\\" + std::to_wstring(GetCurrentProcessId()));
    FileWrite(own + L"\\a.mp4", "a");
    FileWrite(own + L"\\b.mp4", "b");
  }
  EXPECT_EQ(GetFileAttributesW((root + L"\\" + std::to_wstring(GetCurrentProcessId())).c_str()),
            INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW(root.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
