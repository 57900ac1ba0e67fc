// Firefox cache2 entries followed by the recognizer's bookkeeping, on
// entries that grow between looks the way the browser writes them (raw body
// in 256 KiB chunks, metadata last), with a clock the test moves.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>

#include "app/cache_watch/cache_candidates.h"
#include "app/cache_watch/cache_file_names.h"
#include "tests/support/cache_folder_ref.h"
#include "tests/support/firefox_entry_builder.h"

namespace {

using firefox_entry::Body;
using firefox_entry::Bytes;
using firefox_entry::Mp4;
using firefox_entry::Slice;

const std::string kEntry = "6D5E2B0C9A1F4E3D2C1B0A99887766554433221A";
const std::string kOtherEntry = "0F1E2D3C4B5A69788796A5B4C3D2E1F001234567";
const std::string kUrl = "http://127.0.0.1:8765/media/video.mp4";
const std::string kKey = "O^partitionKey=%28http%2C127.0.0.1%29,a,:" + kUrl;
constexpr std::uint64_t kChunk = kFirefoxChunkSize;

Bytes Joined(Bytes first, const Bytes& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

// A folder of files held in memory under a path of the test's choice (the
// path decides whether it is an entries folder).  Open files see later
// changes, as a browser's writes would show.
class PathFolder final : public CacheFolder {
 public:
  explicit PathFolder(std::string path) : path(std::move(path)) {}
  void Put(const std::string& name, Bytes bytes) { *Slot(name) = std::move(bytes); }
  Bytes* Find(const std::string& name) {
    const auto found = files_.find(name);
    return found == files_.end() ? nullptr : found->second.get();
  }
  void Remove(const std::string& name) { files_.erase(name); }
  std::vector<CacheFileInfo> List() override {
    std::vector<CacheFileInfo> infos;
    for (const auto& [name, bytes] : files_) infos.push_back({name, bytes->size(), 0});
    return infos;
  }
  std::unique_ptr<CacheFile> Open(std::string_view name) override {
    const auto found = files_.find(std::string(name));
    if (found == files_.end()) return nullptr;
    return std::make_unique<File>(found->second);
  }
  std::string Path() const override { return path; }
  const std::string path;

 private:
  class File final : public CacheFile {
   public:
    explicit File(std::shared_ptr<Bytes> bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t Size() override { return bytes_->size(); }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
      if (offset >= bytes_->size()) return 0;
      const std::size_t taken =
          static_cast<std::size_t>(std::min<std::uint64_t>(count, bytes_->size() - offset));
      std::memcpy(buffer, bytes_->data() + offset, taken);
      return taken;
    }

   private:
    std::shared_ptr<Bytes> bytes_;
  };
  std::shared_ptr<Bytes> Slot(const std::string& name) {
    std::shared_ptr<Bytes>& slot = files_[name];
    if (!slot) slot = std::make_shared<Bytes>();
    return slot;
  }
  std::map<std::string, std::shared_ptr<Bytes>> files_;
};

// Three folders: a profile's entries, its doomed folder and a folder of
// another name.
class Folders final : public CacheFolderOpener {
 public:
  std::unique_ptr<CacheFolder> Open(const CacheFolderName& name) override {
    for (PathFolder* folder : {&entries, &doomed, &other}) {
      if (folder->path == name.ansi) return std::make_unique<CacheFolderRef>(*folder);
    }
    return nullptr;
  }
  PathFolder entries{"C:\\Users\\u\\AppData\\Local\\Mozilla\\Firefox\\Profiles\\x.default\\cache2\\entries"};
  PathFolder doomed{"C:\\Users\\u\\AppData\\Local\\Mozilla\\Firefox\\Profiles\\x.default\\cache2\\doomed"};
  PathFolder other{"C:\\Users\\u\\Downloads\\entries"};
};

CacheFolderName NameOf(const PathFolder& folder) {
  return {std::u16string(folder.path.begin(), folder.path.end()), folder.path};
}

class FirefoxCandidatesTest : public testing::Test {
 protected:
  std::vector<MediaElementRef> LookAt(std::uint64_t now) {
    std::vector<MediaElementRef> found;
    candidates.Look(now, found);
    return found;
  }
  void Grow(const std::string& name, const Bytes& more) {
    Bytes* bytes = folders.entries.Find(name);
    ASSERT_NE(bytes, nullptr);
    // The open entry's 0xFF marker moves behind the new bytes.
    if (bytes->size() >= 8 && Bytes(bytes->end() - 8, bytes->end()) == firefox_entry::OpenMarker())
      bytes->erase(bytes->end() - 8, bytes->end());
    bytes->insert(bytes->end(), more.begin(), more.end());
  }
  Folders folders;
  CacheCandidates candidates{folders};
};

TEST(FirefoxCacheFileNamesTest, EntryNamesAreCandidatesOnlyByTheirFortyHexDigits) {
  EXPECT_EQ(CacheFileKindOf(kEntry), CacheFileKind::FirefoxEntry);
  for (const char* other :
       {"6D5E2B0C9A1F4E3D2C1B0A99887766554433221", "6D5E2B0C9A1F4E3D2C1B0A99887766554433221AB",
        "6D5E2B0C9A1F4E3D2C1B0A99887766554433221G", "6D5E2B0C9A1F4E3D2C1B0A99887766554433221A.tmp"})
    EXPECT_EQ(CacheFileKindOf(other), CacheFileKind::None) << other;
}

TEST_F(FirefoxCandidatesTest, ARawBodyIsHandedOnAtItsFirstChunkAndTheMetadataAddsNothing) {
  const Bytes body = Mp4(3 * kChunk + 5000);
  // Created empty, then the first chunk, then more while the entry is open.
  folders.entries.Put(kEntry, {});
  candidates.FileAdded(1, NameOf(folders.entries), kEntry, 0);
  EXPECT_TRUE(candidates.Pending());
  EXPECT_TRUE(LookAt(200).empty());
  EXPECT_EQ(candidates.CandidateCount(), 1u);

  Grow(kEntry, Joined(Slice(body, 0, kChunk), firefox_entry::OpenMarker()));
  const std::vector<MediaElementRef> found = LookAt(400);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].store, CacheStore::FirefoxCache2);
  EXPECT_EQ(found[0].fileName, kEntry);
  EXPECT_EQ(found[0].folderAnsi, folders.entries.path);
  EXPECT_EQ(found[0].nature, MediaNature::Video);
  EXPECT_EQ(found[0].extension, "mp4");
  // Not known yet: the metadata comes last.
  EXPECT_TRUE(found[0].webAddress.empty());
  EXPECT_TRUE(found[0].key.empty());
  EXPECT_FALSE(candidates.Pending());

  Grow(kEntry, Joined(Slice(body, kChunk, body.size()), firefox_entry::OpenMarker()));
  EXPECT_TRUE(LookAt(600).empty());
  Grow(kEntry, firefox_entry::Metadata(body.size(), kKey,
                                       firefox_entry::RangeHead("video/mp4", body.size(), body.size())));
  EXPECT_TRUE(LookAt(800).empty());
  EXPECT_EQ(candidates.Figures().found, 1u);
}

TEST_F(FirefoxCandidatesTest, ASmallEntryWrittenAtCloseIsJudgedWithItsTypeAndAddress) {
  // Shorter than a chunk: nothing until the browser closes it, then body
  // and metadata.  audio/mp4 makes an ISO body audio.
  const Bytes body = Body(90000,
                          std::string_view("\0\0\0\x1c"
                                           "ftypM4A ",
                                           12),
                          2);
  const std::string url = "http://127.0.0.1:8765/a,,b.m4a";  // a comma, doubled as stored
  folders.entries.Put(kEntry, {});
  candidates.FileAdded(1, NameOf(folders.entries), kEntry, 0);
  EXPECT_TRUE(LookAt(200).empty());
  folders.entries.Put(kEntry,
                      firefox_entry::Whole(body, "a,:" + url, firefox_entry::Head("audio/mp4", body.size())));
  const std::vector<MediaElementRef> found = LookAt(400);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].nature, MediaNature::Audio);
  EXPECT_EQ(found[0].extension, "m4a");
  EXPECT_EQ(found[0].webAddress, url);
  EXPECT_EQ(found[0].key, "a,:" + url);
}

TEST_F(FirefoxCandidatesTest, OtherResourcesDoomedEntriesAndOtherFoldersAreNeverHandedOn) {
  const std::string page = "1111111111111111111111111111111111111111";
  const std::string script = "2222222222222222222222222222222222222222";
  const std::string fragment = "3333333333333333333333333333333333333333";
  folders.entries.Put(page, firefox_entry::Whole(Body(3000, "<!DOCTYPE html>", 3), ":http://h/p.html",
                                                 firefox_entry::Head("text/html", 3000)));
  // A body of unknown bytes that is all there: settled by its metadata.
  folders.entries.Put(script, firefox_entry::Whole(Body(700, "var a", 4), ":http://h/s.js",
                                                   firefox_entry::Head("text/javascript", 700)));
  folders.entries.Put(
      fragment, Joined(Body(kChunk, std::string_view("\0\0\0\x18moof", 8), 5), firefox_entry::OpenMarker()));
  for (const std::string& name : {page, script, fragment})
    candidates.FileAdded(1, NameOf(folders.entries), name, 0);
  // Media in a doomed folder and in a folder that only shares the leaf name.
  folders.doomed.Put(kEntry, Mp4(kChunk));
  folders.other.Put(kEntry, Mp4(kChunk));
  candidates.FileAdded(1, NameOf(folders.doomed), kEntry, 0);
  candidates.FileAdded(1, NameOf(folders.other), kEntry, 0);
  EXPECT_EQ(candidates.CandidateCount(), 3u);
  EXPECT_TRUE(LookAt(200).empty());
  EXPECT_EQ(candidates.CandidateCount(), 0u);
  EXPECT_EQ(candidates.Figures().found, 0u);
  EXPECT_EQ(candidates.Figures().filesSeen, 5u);
  // The fragment still being written is followed as a stream part until it
  // has stayed unchanged too long; it never makes an element of its own.
  EXPECT_TRUE(candidates.Pending());
  EXPECT_TRUE(LookAt(61000).empty());
  EXPECT_FALSE(candidates.Pending());
}

TEST_F(FirefoxCandidatesTest, AnEntryThatNeverShowsItsFirstBytesOrVanishesIsForgottenInTime) {
  const CacheCandidateLimits limits;
  folders.entries.Put(kEntry, {});
  folders.entries.Put(kOtherEntry, {});
  candidates.FileAdded(1, NameOf(folders.entries), kEntry, 0);
  candidates.FileAdded(1, NameOf(folders.entries), kOtherEntry, 1000);
  // The browser dooms one: its file moves away.
  folders.entries.Remove(kOtherEntry);
  EXPECT_TRUE(LookAt(1200).empty());
  EXPECT_EQ(candidates.CandidateCount(), 2u);
  EXPECT_TRUE(LookAt(limits.candidateLifetimeMs).empty());
  EXPECT_EQ(candidates.CandidateCount(), 1u);
  EXPECT_TRUE(LookAt(limits.candidateLifetimeMs + 1000).empty());
  EXPECT_EQ(candidates.CandidateCount(), 0u);
  EXPECT_EQ(candidates.Figures().forgotten, 2u);
  EXPECT_FALSE(candidates.Pending());
}

TEST_F(FirefoxCandidatesTest, EachNewFileIsOneElementPerSessionAndASessionEndForgetsItsOwn) {
  const Bytes body = Mp4(kChunk);
  folders.entries.Put(kEntry, body);
  candidates.FileAdded(1, NameOf(folders.entries), kEntry, 0);
  candidates.FileAdded(2, NameOf(folders.entries), kEntry, 0);  // a second watch of the same tree
  EXPECT_EQ(candidates.CandidateCount(), 2u);
  EXPECT_EQ(candidates.FolderCount(), 2u);
  std::vector<MediaElementRef> found = LookAt(200);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_NE(found[0].session, found[1].session);
  EXPECT_TRUE(LookAt(400).empty());

  // A pending entry of a session that ends is not handed on.
  folders.entries.Put(kOtherEntry, {});
  candidates.FileAdded(2, NameOf(folders.entries), kOtherEntry, 500);
  EXPECT_EQ(candidates.CandidateCount(), 1u);
  candidates.SessionEnded(2);
  EXPECT_EQ(candidates.CandidateCount(), 0u);
  folders.entries.Put(kOtherEntry, body);
  EXPECT_TRUE(LookAt(700).empty());

  // The browser made the entry again (the old one doomed): a new element.
  candidates.FileAdded(1, NameOf(folders.entries), kEntry, 800);
  found = LookAt(1000);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].session, 1u);
}

TEST_F(FirefoxCandidatesTest, TheCandidateCapDropsTheOldestEntry) {
  CacheCandidateLimits limits;
  limits.maxCandidates = 2;
  CacheCandidates capped(folders, limits);
  const std::string names[] = {"A000000000000000000000000000000000000000",
                               "B000000000000000000000000000000000000000",
                               "C000000000000000000000000000000000000000"};
  for (int i = 0; i < 3; ++i) {
    folders.entries.Put(names[i], {});
    capped.FileAdded(1, NameOf(folders.entries), names[i], static_cast<std::uint64_t>(i) * 10);
  }
  EXPECT_EQ(capped.CandidateCount(), 2u);
  EXPECT_EQ(capped.Figures().forgotten, 1u);
  for (const std::string& name : names) folders.entries.Put(name, Mp4(kChunk));
  std::vector<MediaElementRef> found;
  capped.Look(100, found);
  ASSERT_EQ(found.size(), 2u);
  for (const MediaElementRef& ref : found) EXPECT_NE(ref.fileName, names[0]);
}

}  // namespace
