// The recognizer's bookkeeping on hand-built caches that change between
// looks, with a clock the test moves: when an element is handed on, once,
// and what is forgotten.
#include <gtest/gtest.h>

#include "app/browser_caches/chromium_block_files.h"
#include "app/browser_caches/chromium_cache.h"
#include "app/cache_watch/cache_candidates.h"
#include "app/cache_watch/cache_file_names.h"
#include "tests/support/cache_folder_ref.h"
#include "tests/support/chromium_cache_builders.h"

namespace {

const std::string kKey = "1/0/_dk_https://a.test https://a.test https://a.test/v/clip.mp4";
const std::string kUrl = "https://a.test/v/clip.mp4";
const std::string kEntry = "0123456789abcdef";

// Every folder name opens the one memory folder of the test (or nothing).
class Folders final : public CacheFolderOpener {
 public:
  std::unique_ptr<CacheFolder> Open(const CacheFolderName& name) override {
    ++opens;
    if (name.ansi != "C:\\cache") return nullptr;
    return std::make_unique<CacheFolderRef>(memory);
  }
  MemoryCacheFolder memory;
  int opens = 0;
};

const CacheFolderName kCache{u"C:\\cache", "C:\\cache"};
const CacheFolderName kOther{u"C:\\other", "C:\\other"};

class CacheCandidatesTest : public testing::Test {
 protected:
  std::vector<MediaElementRef> LookAt(std::uint64_t now) {
    std::vector<MediaElementRef> found;
    candidates.Look(now, found);
    return found;
  }
  Folders folders;
  CacheCandidates candidates{folders};
};

TEST(CacheFileNamesTest, OnlyTheStoresOwnNamesAreCandidates) {
  EXPECT_EQ(CacheFileKindOf("index"), CacheFileKind::Index);
  EXPECT_EQ(CacheFileKindOf("0123456789abcdef_0"), CacheFileKind::SimpleEntry);
  EXPECT_EQ(CacheFileKindOf("0123456789abcdef_s"), CacheFileKind::SimpleEntry);
  EXPECT_EQ(CacheFileKindOf("f_00a1b2"), CacheFileKind::BlockExternal);
  EXPECT_EQ(CacheFileKindOf("data_0"), CacheFileKind::BlockData);
  EXPECT_EQ(CacheFileKindOf("data_3"), CacheFileKind::BlockData);
  for (const char* other : {"0123456789abcdef_1", "0123456789abcdeg_0", "0123456789abcdef_0.mp4", "f_0000001",
                            "f_00000g", "data_4", "data_10", "index-dir", "clip.mp4", "", "F_000001",
                            "todelete_0123456789abcdef_0_1"})  // renamed by the browser to be deleted
    EXPECT_EQ(CacheFileKindOf(other), CacheFileKind::None) << other;
}

TEST_F(CacheCandidatesTest, GrowingSimpleEntryIsHandedOnOnceWhenItsFirstBytesArrive) {
  folders.memory.Put("index", SimpleIndex());
  folders.memory.Put(kEntry + "_0", SimpleMainFile(kKey, {}, nullptr));  // key, no body yet
  candidates.FileAdded(1, kCache, kEntry + "_0", 0);
  EXPECT_TRUE(LookAt(0).empty());
  EXPECT_TRUE(candidates.Pending());

  const ByteVector body = Mp4Head(300000, 1);
  folders.memory.Put(kEntry + "_0",
                     SimpleMainFile(kKey, ByteVector(body.begin(), body.begin() + 4096), nullptr));
  const auto found = LookAt(200);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].session, 1u);
  EXPECT_EQ(found[0].webAddress, kUrl);
  EXPECT_EQ(found[0].key, kKey);
  EXPECT_EQ(found[0].nature, MediaNature::Video);
  EXPECT_EQ(found[0].extension, "mp4");
  EXPECT_EQ(found[0].store, CacheStore::ChromiumSimple);
  EXPECT_EQ(found[0].fileName, kEntry + "_0");
  EXPECT_EQ(found[0].folderAnsi, "C:\\cache");
  EXPECT_FALSE(candidates.Pending());

  // More of the body, its range file and its close: the same element.
  const ByteVector pickle = ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: video/mp4"}));
  folders.memory.Put(kEntry + "_0", SimpleMainFile(kKey, body, &pickle));
  candidates.FileAdded(1, kCache, kEntry + "_s", 400);
  EXPECT_TRUE(LookAt(400).empty());
  EXPECT_EQ(candidates.Figures().found, 1u);
}

TEST_F(CacheCandidatesTest, NotMediaSegmentsAndPlaylistsAreSettledWithoutBeingHandedOnAsElements) {
  folders.memory.Put("index", SimpleIndex());
  ByteVector png = Pattern(5000, 2);
  const char pngHead[] = "\x89PNG\r\n\x1a\n";
  std::copy(pngHead, pngHead + 8, png.begin());
  ByteVector fragment = Pattern(5000, 3);
  const char moof[] = "\0\0\0\x18moof";
  std::copy(moof, moof + 8, fragment.begin());
  // An fMP4 initialisation segment: ftyp, then a moov whose mvex says fragments follow.
  ByteVector init = Pattern(5000, 4);
  const std::uint8_t initHead[] = {0,   0,   0,   0x10, 'f', 't',  'y', 'p', 'i', 's', 'o', '6', 0, 0,
                                   0,   0,   0,   0,    0,   0x18, 'm', 'o', 'o', 'v', 0,   0,   0, 0x10,
                                   'm', 'v', 'e', 'x',  0,   0,    0,   8,   't', 'r', 'e', 'x'};
  std::copy(std::begin(initHead), std::end(initHead), init.begin());
  ByteVector playlist(5000, '\n');
  const char m3u[] = "#EXTM3U";
  std::copy(m3u, m3u + 7, playlist.begin());
  const ByteVector html = [] {
    ByteVector text;
    Append(text, "<!DOCTYPE html><html><body>hello</body></html>");
    return text;
  }();
  const ByteVector htmlPickle = ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: text/html"}));
  folders.memory.Put("1111111111111111_0", SimpleMainFile("1/0/https://a.test/p.png", png, nullptr));
  folders.memory.Put("2222222222222222_0", SimpleMainFile("1/0/https://a.test/s.m4s", fragment, nullptr));
  folders.memory.Put("3333333333333333_0", SimpleMainFile("1/0/https://a.test/l.m3u8", playlist, nullptr));
  folders.memory.Put("4444444444444444_0", SimpleMainFile("1/0/https://a.test/", html, &htmlPickle));
  folders.memory.Put("5555555555555555_0", SimpleMainFile("1/0/https://a.test/init.mp4", init, nullptr));
  for (const char* name : {"1111111111111111_0", "2222222222222222_0", "3333333333333333_0",
                           "4444444444444444_0", "5555555555555555_0"})
    candidates.FileAdded(1, kCache, name, 0);
  EXPECT_TRUE(LookAt(0).empty());
  EXPECT_EQ(candidates.Figures().looks, 5u);
  EXPECT_EQ(candidates.CandidateCount(), 0u);
  EXPECT_EQ(candidates.Figures().forgotten, 0u);  // settled, not timed out
  // The fragment, playlist and init segment, still being written, are
  // followed as stream parts (no stream among them) until left unchanged too long.
  EXPECT_TRUE(candidates.Pending());
  EXPECT_TRUE(LookAt(60000).empty());
  EXPECT_FALSE(candidates.Pending());
}

TEST_F(CacheCandidatesTest, UnknownCandidatesAreForgottenAfterTheirLifetimeAndTheCapKeepsTheNewest) {
  CacheCandidateLimits limits;
  limits.candidateLifetimeMs = 1000;
  limits.maxCandidates = 3;
  CacheCandidates bounded(folders, limits);
  folders.memory.Put("index", SimpleIndex());
  for (int i = 0; i < 5; ++i) {
    const std::string entry = std::string(15, 'a') + static_cast<char>('0' + i);
    folders.memory.Put(entry + "_0", SimpleMainFile("1/0/https://a.test/" + std::to_string(i), {}, nullptr));
    bounded.FileAdded(1, kCache, entry + "_0", 0);  // the folder is not known yet: waiting files
  }
  std::vector<MediaElementRef> found;
  bounded.Look(0, found);  // index checked: the waiting files become candidates, capped
  EXPECT_EQ(bounded.CandidateCount(), 3u);
  EXPECT_EQ(bounded.Figures().forgotten, 2u);
  bounded.Look(999, found);
  EXPECT_EQ(bounded.CandidateCount(), 3u);
  bounded.Look(1000, found);
  EXPECT_EQ(bounded.CandidateCount(), 0u);
  EXPECT_EQ(bounded.Figures().forgotten, 5u);
  EXPECT_TRUE(found.empty());
  EXPECT_FALSE(bounded.Pending());
}

TEST_F(CacheCandidatesTest, AFolderWithoutIndexIsCheckedABoundedNumberOfTimesUnlessAnIndexAppears) {
  CacheCandidateLimits limits;
  limits.indexChecks = 3;
  CacheCandidates bounded(folders, limits);
  const ByteVector body = Mp4Head(5000, 4);
  folders.memory.Put(kEntry + "_0", SimpleMainFile(kKey, body, nullptr));
  bounded.FileAdded(1, kCache, kEntry + "_0", 0);
  bounded.FileAdded(1, kOther, kEntry + "_0", 0);  // a folder that does not even open
  std::vector<MediaElementRef> found;
  for (int look = 0; look < 3; ++look) bounded.Look(look * 200, found);
  EXPECT_FALSE(bounded.Pending());  // both judged no cache
  const int opens = folders.opens;
  bounded.FileAdded(1, kCache, "fedcba9876543210_0", 700);
  bounded.Look(800, found);
  EXPECT_EQ(folders.opens, opens);  // a known non-cache folder costs nothing
  EXPECT_TRUE(found.empty());

  // A first run: the index comes after the first entries.
  folders.memory.Put("index", SimpleIndex());
  bounded.FileAdded(1, kCache, "index", 900);
  bounded.FileAdded(1, kCache, kEntry + "_0", 900);
  bounded.Look(1000, found);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].webAddress, kUrl);
}

TEST_F(CacheCandidatesTest, AnEntryMadeAgainIsHandedOnAgainAndEachSessionHasItsOwnMemory) {
  folders.memory.Put("index", SimpleIndex());
  const ByteVector body = Mp4Head(5000, 5);
  folders.memory.Put(kEntry + "_0", SimpleMainFile(kKey, body, nullptr));
  candidates.FileAdded(1, kCache, kEntry + "_0", 0);
  EXPECT_EQ(LookAt(0).size(), 1u);
  candidates.FileAdded(1, kCache, kEntry + "_s", 100);  // a later file of the same entry
  EXPECT_TRUE(LookAt(200).empty());
  // The browser dropped the entry and made it again: "_0" is new again.
  candidates.FileAdded(1, kCache, kEntry + "_0", 300);
  EXPECT_EQ(LookAt(400).size(), 1u);

  // Another session running beside it has not seen the element.
  candidates.FileAdded(2, kCache, kEntry + "_s", 500);
  const auto second = LookAt(600);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0].session, 2u);

  // A session that ended forgets its folders and candidates.
  folders.memory.Put("fedcba9876543210_0", SimpleMainFile("1/0/https://a.test/b.mp4", {}, nullptr));
  candidates.FileAdded(2, kCache, "fedcba9876543210_0", 700);
  EXPECT_EQ(candidates.FolderCount(), 2u);
  candidates.SessionEnded(2);
  EXPECT_EQ(candidates.FolderCount(), 1u);
  EXPECT_EQ(candidates.CandidateCount(), 0u);
  folders.memory.Put("fedcba9876543210_0", SimpleMainFile("1/0/https://a.test/b.mp4", body, nullptr));
  EXPECT_TRUE(LookAt(800).empty());
}

// A range answer's "_0" holds only its key and, once closed, its headers;
// its body goes to "_s", whose file may come after "_0" was judged.
TEST_F(CacheCandidatesTest, AnEntrySettledWithoutBodyIsLookedAtAgainWhenItsRangesArrive) {
  folders.memory.Put("index", SimpleIndex());
  const ByteVector pickle = ResponsePickle(
      HeaderBlock({"HTTP/1.1 206 Partial Content", "Content-Type: video/mp4", "Content-Range: bytes 0-1/5000"}));
  folders.memory.Put(kEntry + "_0", SimpleMainFile(kKey, {}, &pickle));
  candidates.FileAdded(1, kCache, kEntry + "_0", 0);
  EXPECT_TRUE(LookAt(0).empty());
  EXPECT_FALSE(candidates.Pending());  // finished with nothing recognised: settled

  const ByteVector body = Mp4Head(5000, 8);
  folders.memory.Put(kEntry + "_s", SimpleSparseFile(kKey, {{0, body}}));
  candidates.FileAdded(1, kCache, kEntry + "_s", 100);
  const auto found = LookAt(200);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].webAddress, kUrl);
  EXPECT_EQ(found[0].extension, "mp4");
  EXPECT_EQ(found[0].fileName, kEntry + "_0");
  // Judged with its body, the entry is settled for good.
  candidates.FileAdded(1, kCache, kEntry + "_s", 300);
  EXPECT_TRUE(LookAt(400).empty());
  EXPECT_EQ(candidates.Figures().found, 1u);
}

// ---- block files ----

constexpr std::uint64_t kMiB = 1u << 20;
constexpr std::uint64_t kSignature = 0x2fc0b309a3c608ull;

std::string ChildKey(std::uint64_t index) {
  char tail[48];
  std::snprintf(tail, sizeof tail, ":%llx:%llx", static_cast<unsigned long long>(kSignature),
                static_cast<unsigned long long>(index));
  return "Range_" + kKey + tail;
}

// The parent with the children written so far (children dirty: still open).
void BuildRanges(MemoryCacheFolder& folder, const ByteVector& all, int children, int pages = 1) {
  BlockCacheBuilder builder;
  static const ByteVector pageHeaders =
      ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: text/html"}));
  static const ByteVector page = Pattern(20000, 9);  // large enough for its own f_ file
  std::vector<std::string> pageKeys;
  for (int i = 0; i < pages; ++i) pageKeys.push_back("1/0/https://a.test/" + std::to_string(i));
  for (const std::string& key : pageKeys) {
    BlockCacheBuilder::Entry entry{key, 0, {&pageHeaders, &page}};
    builder.Add(entry, BlockFileKeyHash(entry.key));
  }
  const ByteVector headers =
      ResponsePickle(HeaderBlock({"HTTP/1.1 206 Partial Content", "Content-Type: video/mp4",
                                  "Content-Range: bytes 0-1/" + std::to_string(all.size())}));
  ByteVector list(128, 0);
  for (int i = 0; i < children; ++i) list[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
  const ByteVector parentSparse = SparseStream(kSignature, 0, 0, list);
  BlockCacheBuilder::Entry parent;
  parent.key = kKey;
  parent.flags = 1;
  parent.streams[0] = &headers;
  parent.streams[2] = &parentSparse;
  builder.Add(parent, BlockFileKeyHash(kKey));
  std::vector<ByteVector> bodies;
  bodies.reserve(children);
  for (int i = 0; i < children; ++i) {
    const std::size_t from = i * kMiB;
    const std::size_t to = std::min<std::size_t>(all.size(), from + kMiB);
    bodies.emplace_back(all.begin() + from, all.begin() + to);
    BlockCacheBuilder::Entry child;
    child.key = ChildKey(i);
    child.flags = 2;
    child.streams[1] = &bodies.back();
    child.dirty = true;
    child.forceExternalBody = true;
    builder.Add(child, BlockFileKeyHash(child.key));
  }
  builder.Build(folder);
}

TEST_F(CacheCandidatesTest, BlockFileChildrenFindTheirParentOnceAndFurtherChildrenAddNothing) {
  const ByteVector all = Mp4Head(2 * kMiB + 3000, 6);
  BuildRanges(folders.memory, all, 1);
  // The page's file comes first (f_000001), then the first child's (f_000002).
  candidates.FileAdded(1, kCache, "index", 0);
  candidates.FileAdded(1, kCache, "f_000001", 0);
  candidates.FileAdded(1, kCache, "f_000002", 0);
  auto found = LookAt(0);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].store, CacheStore::ChromiumBlockFiles);
  EXPECT_EQ(found[0].key, kKey);
  EXPECT_EQ(found[0].webAddress, kUrl);
  EXPECT_EQ(found[0].fileName, "");
  EXPECT_EQ(candidates.Figures().ownerScans, 1u);
  EXPECT_EQ(candidates.Figures().fullReads, 0u);  // the pass over data_1 found both

  BuildRanges(folders.memory, all, 3);
  candidates.FileAdded(1, kCache, "f_000003", 300);
  candidates.FileAdded(1, kCache, "f_000004", 300);
  EXPECT_TRUE(LookAt(400).empty());
  // Nothing left to follow but the folder itself, for new entries.
  EXPECT_EQ(candidates.CandidateCount(), 0u);

  // The entry replaced: the browser gives the new entry's first child a new
  // external file (here after a second page), and its new file arrives.
  BuildRanges(folders.memory, all, 1, 2);
  candidates.FileAdded(1, kCache, "f_000003", 500);
  EXPECT_TRUE(LookAt(550).empty());  // searched at 400: not again before 600
  found = LookAt(600);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].key, kKey);
}

// A range answer as Chromium 156 left it on disk while the answer was still
// arriving: the parent open, without flag, list or headers; each whole MiB
// in a closed child with its flag and block bitmap; the child being written
// in the index with nothing on disk yet (the browser holds its bytes).
// `bytes` of the body received so far.
void BuildArriving(MemoryCacheFolder& folder, const ByteVector& all, std::size_t bytes) {
  BlockCacheBuilder builder;
  static const ByteVector pageHeaders =
      ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: text/html"}));
  static const ByteVector page = Pattern(20000, 9);
  BlockCacheBuilder::Entry pageEntry{"1/0/https://a.test/0", 0, {&pageHeaders, &page}};
  builder.Add(pageEntry, BlockFileKeyHash(pageEntry.key));  // f_000001
  BlockCacheBuilder::Entry parent;
  parent.key = kKey;
  parent.dirty = true;
  builder.Add(parent, BlockFileKeyHash(kKey));
  static const ByteVector bitmap = SparseStream(kSignature, -1, 0, Bits(1024, {{0, 1024}}));
  std::vector<ByteVector> bodies;
  bodies.reserve(all.size() / kMiB + 1);
  for (std::size_t from = 0; from < bytes; from += kMiB) {
    BlockCacheBuilder::Entry child;
    child.key = ChildKey(from / kMiB);
    if (from + kMiB <= bytes) {
      bodies.emplace_back(all.begin() + from, all.begin() + from + kMiB);
      child.flags = 2;
      child.streams[1] = &bodies.back();
      child.streams[2] = &bitmap;
      child.forceExternalBody = true;  // f_000002, f_000003...
    } else {
      child.dirty = true;
    }
    builder.Add(child, BlockFileKeyHash(child.key));
  }
  builder.Build(folder);
}

TEST_F(CacheCandidatesTest, ABlockFileAnswerStillArrivingIsHandedOnBeforeItsParentListsItsChildren) {
  const ByteVector all = Mp4Head(3 * kMiB, 10);
  BuildArriving(folders.memory, all, kMiB + 300000);
  candidates.FileAdded(1, kCache, "index", 0);
  candidates.FileAdded(1, kCache, "f_000002", 0);
  const auto found = LookAt(0);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].key, kKey);
  EXPECT_EQ(found[0].webAddress, kUrl);
  EXPECT_EQ(found[0].nature, MediaNature::Video);
  EXPECT_EQ(found[0].rangeSignature, kSignature);
  EXPECT_EQ(candidates.Figures().fullReads, 0u);  // the pass over data_1 found it
  // Nothing left to follow but the folder itself, for new entries.
  EXPECT_EQ(candidates.CandidateCount(), 0u);

  // The read at OK, by what the found element carries: the children on disk
  // so far, then (the parent still listing none) those that came since.
  const auto now = ChromiumElementRead(folders.memory, found[0].store, found[0].fileName, found[0].key,
                                       found[0].rangeSignature);
  ASSERT_TRUE(now);
  EXPECT_FALSE(IsComplete(*now));
  EXPECT_EQ(ContiguousLength(*now), kMiB);
  BuildArriving(folders.memory, all, 2 * kMiB + 300000);
  candidates.FileAdded(1, kCache, "f_000003", 300);
  EXPECT_TRUE(LookAt(400).empty());  // a further child of an element handed on
  const auto later = ChromiumElementRead(folders.memory, found[0].store, found[0].fileName, found[0].key,
                                         found[0].rangeSignature);
  ASSERT_TRUE(later);
  EXPECT_EQ(BodyOf(folders.memory, *later), ByteVector(all.begin(), all.begin() + 2 * kMiB));
  EXPECT_FALSE(later->finished);  // until the browser closes it
}

TEST_F(CacheCandidatesTest, AnExternalFileWithoutOwnerIsLookedForLessOftenThenForgotten) {
  CacheCandidateLimits limits;
  limits.maxFullReads = 3;
  limits.fullReadBackoffMs = 100;
  CacheCandidates bounded(folders, limits);
  BuildRanges(folders.memory, Mp4Head(3000, 7), 0, 0);
  folders.memory.Put("f_0000aa", Pattern(100, 1));  // no entry points at it
  bounded.FileAdded(1, kCache, "index", 0);
  bounded.FileAdded(1, kCache, "f_0000aa", 0);
  std::vector<MediaElementRef> found;
  bounded.Look(0, found);
  EXPECT_EQ(bounded.Figures().ownerScans, 1u);
  bounded.Look(50, found);  // too soon for another search
  EXPECT_EQ(bounded.Figures().ownerScans, 1u);
  bounded.Look(100, found);
  EXPECT_EQ(bounded.Figures().ownerScans, 2u);
  bounded.Look(250, found);  // the wait grew
  EXPECT_EQ(bounded.Figures().ownerScans, 2u);
  EXPECT_EQ(bounded.Figures().fullReads, 0u);
  bounded.Look(300, found);  // the last try walks the whole index as well
  EXPECT_EQ(bounded.Figures().ownerScans, 3u);
  EXPECT_EQ(bounded.Figures().fullReads, 1u);
  // Nothing left to follow but the folder itself, for new entries.
  EXPECT_EQ(bounded.CandidateCount(), 0u);
  EXPECT_EQ(bounded.Figures().forgotten, 1u);
  EXPECT_TRUE(found.empty());
}

}  // namespace
