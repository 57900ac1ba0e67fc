// The watcher on real folders: what is handed on, and what is not.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/watch/watch.h"
#include "watch_test_support.h"

namespace {

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

class WatcherTest : public ::testing::Test {
 protected:
  void SetUp() override { HandOffRecordStart(tree.Path() + "\\"); }
  void TearDown() override { CloseWatchHandleAsync(handle); }

  // Opened without the trailing separator: OpenWatchFolder adds it.
  void Start() {
    handle = OpenWatchFolder(tree.Path(), HandOffRecorder());
    ASSERT_NE(handle, 0u);
  }
  std::vector<std::string> FullPaths() const {
    std::vector<std::string> paths;
    for (const HandOff& handOff : HandOffsRecorded()) {
      if (handOff.fullPath != tree.Path() + "\\" + kMarker) paths.push_back(handOff.fullPath);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
  }
  // Waits for `count` hand-offs and for a marker file made after them: a
  // file the test's own changes reported as new would come before it.
  void Settle(std::size_t count) {
    tree.File(kMarker);
    const std::string marker = tree.Path() + "\\" + kMarker;
    EXPECT_TRUE(StateAwait(
        [&] {
          const std::vector<HandOff> handOffs = HandOffsRecorded();
          return handOffs.size() >= count + 1 &&
                 std::any_of(handOffs.begin(), handOffs.end(),
                             [&](const HandOff& handOff) { return handOff.fullPath == marker; });
        },
        5000));
  }
  static constexpr char kMarker[] = "settled.marker";

  TempTree tree;
  std::uintptr_t handle = 0;
};

TEST_F(WatcherTest, HandsOnNewFilesAtEveryDepthWithTheirExactNames) {
  tree.Folder("Old\\Deeper");  // existed before the start
  Start();
  tree.Folder("New\\Two\\Three");
  const std::vector<std::string> names = {"Top.FLV", "New\\Mid.Mp4", "New\\Two\\Three\\Deep.TXT",
                                          "Old\\Deeper\\Pre.Mp3"};
  for (const std::string& name : names) tree.File(name);
  Settle(names.size());

  std::vector<std::string> expected;
  for (const std::string& name : names) expected.push_back(tree.Path() + "\\" + Lower(name));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FullPaths(), expected);
  for (const HandOff& handOff : HandOffsRecorded()) {
    if (handOff.fullPath == tree.Path() + "\\" + kMarker) continue;
    const auto name = std::find_if(names.begin(), names.end(), [&](const std::string& candidate) {
      return tree.Path() + "\\" + Lower(candidate) == handOff.fullPath;
    });
    ASSERT_NE(name, names.end());
    EXPECT_EQ(handOff.exactPath, Wide(tree.Path() + "\\" + *name));
  }
}

// Files made in a folder that existed before the start, over a few seconds,
// are each handed on once (not only the first, which the start's walk lists).
TEST_F(WatcherTest, FilesMadeOverTimeInAFolderThatExistedBeforeTheStartAreEachHandedOnOnce) {
  tree.Folder("Old\\Deeper");
  Start();
  std::vector<std::string> expected;
  for (int i = 0; i < 6; ++i) {
    const std::string name = "Old\\Deeper\\f" + std::to_string(i) + ".flv";
    tree.File(name);
    expected.push_back(tree.Path() + "\\" + Lower(name));
    Sleep(700);
  }
  Settle(expected.size());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FullPaths(), expected);
}

// Wine keeps what it learnt of watched folders for as long as any watch is
// open (here another session's); a folder an earlier session watched must be
// watched again by the next session on the same tree.
TEST_F(WatcherTest, FilesInAFolderAnEarlierSessionWatchedAreHandedOnInTheNext) {
  TempTree elsewhere;
  std::uintptr_t other = OpenWatchFolder(elsewhere.Path(), HandOffRecorder());
  ASSERT_NE(other, 0u);
  struct Closer {
    std::uintptr_t& handle;
    ~Closer() { CloseWatchHandleAsync(handle); }
  } otherCloser{other};
  tree.Folder("Old\\Deeper");
  std::uint64_t walks = WatchStatisticsRead().walksDone;
  Start();
  ASSERT_TRUE(WalkAwait(walks, 10000));  // past the start's walk: the file below is reported, not listed
  tree.File("Old\\Deeper\\first.flv");
  ASSERT_TRUE(HandOffsAwait(1, 5000));
  CloseWatchHandleAsync(handle);
  ASSERT_TRUE(SessionEndAwait(HandOffsRecorded()[0].session, 10000));  // its folder is closed
  walks = WatchStatisticsRead().walksDone;
  Start();
  ASSERT_TRUE(WalkAwait(walks, 10000));
  tree.File("Old\\Deeper\\second.flv");
  Settle(2);
  EXPECT_EQ(FullPaths(), (std::vector<std::string>{tree.Path() + "\\old\\deeper\\first.flv",
                                                   tree.Path() + "\\old\\deeper\\second.flv"}));
}

TEST_F(WatcherTest, RewritesAndRenamesAreNotNewFiles) {
  tree.File("before.tmp");
  Start();
  tree.File("Written.flv", 50);
  ASSERT_TRUE(HandOffsAwait(1, 5000));
  MoveFileA(tree.Join("before.tmp").c_str(), tree.Join("after.flv").c_str());
  tree.File("marker.txt");
  Settle(2);
  EXPECT_EQ(FullPaths(),
            (std::vector<std::string>{tree.Path() + "\\marker.txt", tree.Path() + "\\written.flv"}));
}

TEST_F(WatcherTest, StartStopStartHandsEachFileOnOnce) {
  Start();
  tree.File("one.flv");
  ASSERT_TRUE(HandOffsAwait(1, 5000));
  CloseWatchHandleAsync(handle);
  EXPECT_EQ(handle, 0u);
  Start();
  tree.File("two.flv");
  Settle(2);
  EXPECT_EQ(FullPaths(), (std::vector<std::string>{tree.Path() + "\\one.flv", tree.Path() + "\\two.flv"}));
}

// The watcher is held still while far more records arrive than one read
// can return, so the read overflows; the recovery scan must hand on every
// file once.
TEST_F(WatcherTest, AnOverflowIsRecoveredWithoutDuplicates) {
  const std::vector<DWORD> before = ProcessThreadIds();
  Start();
  const std::vector<DWORD> session = ProcessThreadIds();  // the watcher and its helper
  tree.File("warmup.txt");                                // the read is armed once this arrives
  ASSERT_TRUE(HandOffsAwait(1, 5000));
  std::vector<HANDLE> held;
  for (DWORD id : session) {
    if (std::find(before.begin(), before.end(), id) != before.end()) continue;
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, id);
    if (thread != nullptr && id != GetCurrentThreadId()) {
      SuspendThread(thread);
      held.push_back(thread);
    }
  }
  const std::uint64_t overflowsBefore = WatchStatisticsRead().overflows;
  const int kFiles = 2000;
  const std::string padding(60, 'p');
  for (int i = 0; i < kFiles; ++i) tree.File("f" + std::to_string(i) + padding + ".bin", 0);
  for (HANDLE thread : held) {
    ResumeThread(thread);
    CloseHandle(thread);
  }
  Settle(kFiles + 1);
  EXPECT_GT(WatchStatisticsRead().overflows, overflowsBefore);
  const std::vector<std::string> paths = FullPaths();
  EXPECT_EQ(paths.size(), static_cast<std::size_t>(kFiles + 1));
  const auto twice = std::adjacent_find(paths.begin(), paths.end());
  EXPECT_EQ(twice, paths.end()) << "handed on twice: " << *twice;
}

}  // namespace
