// A folder made while the watch runs and a file made in it right after, as
// a browser makes a cache folder and its first entry.  Under Wine the new
// folder is walked as soon as it is reported, and the start's walk of an
// older tree may still be running; the processor is kept busy so that the
// walks and the files interleave in every way.  Every file must be handed
// on exactly once.
#include <gtest/gtest.h>

#include <atomic>
#include <map>

#include "app/watch/watch.h"
#include "watch_test_support.h"

namespace {

// Threads that keep the processor busy until destroyed.
class BusyLoops {
 public:
  explicit BusyLoops(int count) {
    for (int i = 0; i < count; ++i) {
      HANDLE thread = CreateThread(nullptr, 0, Spin, &stop_, 0, nullptr);
      if (thread != nullptr) threads_.push_back(thread);
    }
  }
  ~BusyLoops() {
    stop_ = true;
    for (HANDLE thread : threads_) {
      WaitForSingleObject(thread, INFINITE);
      CloseHandle(thread);
    }
  }
  BusyLoops(const BusyLoops&) = delete;
  BusyLoops& operator=(const BusyLoops&) = delete;
  std::size_t Count() const { return threads_.size(); }

 private:
  static DWORD WINAPI Spin(LPVOID parameter) {
    const auto& stop = *static_cast<const std::atomic<bool>*>(parameter);
    volatile unsigned turns = 0;
    while (!stop.load(std::memory_order_relaxed)) turns = turns + 1;
    return 0;
  }
  std::atomic<bool> stop_{false};
  std::vector<HANDLE> threads_;
};

// Created, written and closed at once, as a browser writes a small entry.
bool FileMake(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const std::string bytes(25000, 'v');
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  CloseHandle(file);
  return ok;
}

std::wstring WideOf(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

TEST(NewFolderFileTest, AFileMadeRightAfterItsNewFolderIsHandedOnExactlyOnceUnderLoad) {
  // The emoji has no form in code page 936, the accent has one.
  const std::wstring names[] = {L"clip.flv", L"clip_\U0001F600_\u00e9.flv"};
  // From at once to past the folder's walk on a quiet machine.
  const DWORD delays[] = {0, 50, 150, 350, 700};
  constexpr int kRounds = 50;

  // Another session held open keeps Wine's memory of every folder a watch
  // reached; a tree watched and deleted before leaves file numbers that the
  // new folders may be given again.  Wine then need not watch a new folder.
  TempTree elsewhere;
  std::uintptr_t other = OpenWatchFolder(elsewhere.Path(), HandOffRecorder());
  ASSERT_NE(other, 0u);
  struct Closer {
    std::uintptr_t& handle;
    ~Closer() { CloseWatchHandleAsync(handle); }
  } otherCloser{other};
  {
    TempTree gone;
    std::uintptr_t goneSession = OpenWatchFolder(gone.Path(), HandOffRecorder());
    Closer goneCloser{goneSession};
    const std::uint64_t walks = WatchStatisticsRead().walksDone;
    for (int i = 0; i < 200; ++i) gone.Folder("D" + std::to_string(i) + "\\x");
    // Every folder made was reported and walked.
    EXPECT_TRUE(WalkAwait(walks, 10000));
  }

  TempTree tree;
  // An older tree: the start's walk is still running while the rounds begin.
  for (int i = 0; i < 300; ++i) tree.Folder("Old" + std::to_string(i / 20) + "\\" + std::to_string(i));
  HandOffRecordStart(tree.Path() + "\\");
  const std::uint64_t walksBefore = WatchStatisticsRead().walksDone;
  std::uintptr_t handle = OpenWatchFolder(tree.Path(), HandOffRecorder());
  ASSERT_NE(handle, 0u);
  Closer closer{handle};

  const std::wstring top = WideOf(tree.Path()) + L"\\";
  std::vector<std::wstring> expected;
  {
    BusyLoops load(4);
    ASSERT_EQ(load.Count(), 4u);
    for (int round = 0; round < kRounds; ++round) {
      const std::wstring folder = top + L"Wide" + std::to_wstring(round);
      ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
      Sleep(delays[round % 5]);
      const std::wstring file = folder + L"\\" + names[round % 2];
      ASSERT_TRUE(FileMake(file));
      expected.push_back(file);
    }
    EXPECT_TRUE(HandOffsAwait(expected.size(), 30000));
  }
  // Any second hand-off of these files would come from a walk: wait for a
  // marker made after them (every folder reported before it is queued for
  // its walk by then), then for the start's walk and every folder's.
  const std::wstring marker = top + L"settled.marker";
  ASSERT_TRUE(FileMake(marker));
  EXPECT_TRUE(StateAwait(
      [&] {
        for (const HandOff& handOff : HandOffsRecorded())
          if (handOff.exactPath == marker) return true;
        return false;
      },
      30000));
  EXPECT_TRUE(WalkAwait(walksBefore, 30000));
  EXPECT_TRUE(StateAwait([] { return WatchStatisticsRead().foldersToWalk == 0; }, 30000));

  std::map<std::wstring, int> seen;
  for (const HandOff& handOff : HandOffsRecorded()) ++seen[handOff.exactPath];
  seen.erase(marker);
  for (std::size_t round = 0; round < expected.size(); ++round) {
    const auto found = seen.find(expected[round]);
    EXPECT_EQ(found == seen.end() ? 0 : found->second, 1)
        << "round " << round << " (" << delays[round % 5] << " ms, name " << round % 2 << ")";
    if (found != seen.end()) seen.erase(found);
  }
  for (const auto& [path, times] : seen)
    ADD_FAILURE() << "not made by the test, handed on " << times << " times";
}

}  // namespace
