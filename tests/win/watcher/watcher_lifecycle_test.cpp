// Starting and stopping sessions: stops return at once, nothing is left
// behind, and a session that ends by itself says so.
#include <gtest/gtest.h>

#include <optional>

#include "app/watch/watch.h"
#include "tests/support/open_descriptors.h"
#include "watch_test_support.h"

namespace {

constexpr UINT kEndedMessage = WM_APP + 21;

// Threads of earlier tests (closers, workers) end within moments.
std::size_t SettledThreadCount() {
  std::size_t count = ProcessThreadIds().size();
  for (int i = 0; i < 50; ++i) {
    Sleep(20);
    const std::size_t now = ProcessThreadIds().size();
    if (now == count && i > 5) break;
    count = now;
  }
  return count;
}

// Wine always reports a handle count of 0; there the folder and file
// handles are counted as the descriptors they hold on the Linux side.
long OpenHandleCount() {
  if (const std::optional<int> descriptors = OpenDescriptorCount()) return *descriptors;
  DWORD count = 0;
  GetProcessHandleCount(GetCurrentProcess(), &count);
  return static_cast<long>(count);
}

// A message-only window that receives the ended notice.
class NoticeWindow {
 public:
  NoticeWindow()
      : window_(CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr)) {
    WatchEndedNotifySet(window_, kEndedMessage);
  }
  ~NoticeWindow() {
    WatchEndedNotifySet(nullptr, 0);
    DestroyWindow(window_);
  }
  // The wParam of the first notice within timeoutMs, or 0.
  std::uintptr_t Await(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    MSG message;
    while (GetTickCount() - start <= timeoutMs) {
      if (PeekMessageA(&message, window_, kEndedMessage, kEndedMessage, PM_REMOVE)) return message.wParam;
      Sleep(10);
    }
    return 0;
  }

 private:
  HWND window_;
};

class WatchLifecycleTest : public ::testing::Test {
 protected:
  // Waits until a file made now has been handed on: the watcher re-arms its
  // read as soon as it has handed the batch over, so the read is pending.
  void ReadPendingAwait(const std::string& relative) {
    HandOffRecordStart(tree.Path() + "\\");
    tree.File(relative);
    ASSERT_TRUE(HandOffsAwait(1, 10000));
  }
  TempTree tree;
};

TEST_F(WatchLifecycleTest, StopDuringAPendingReadReturnsAtOnceWithoutANotice) {
  NoticeWindow notices;
  const std::size_t threads = SettledThreadCount();
  std::uintptr_t handle = OpenWatchFolder(tree.Path() + "\\", HandOffRecorder());
  ASSERT_NE(handle, 0u);
  ReadPendingAwait("armed.txt");
  const DWORD start = GetTickCount();
  CloseWatchHandleAsync(handle);
  // It does not wait for the read to end (a generous bound: a stop that
  // waited for a stuck read would take the closer's 15 s).
  EXPECT_LT(GetTickCount() - start, 5000u);
  EXPECT_EQ(handle, 0u);
  EXPECT_TRUE(ThreadCountAwait(threads, 10000));  // the hand-off threads linger a second
  EXPECT_EQ(notices.Await(300), 0u);
  // A variable that is already 0 is ignored.
  CloseWatchHandleAsync(handle);
  EXPECT_EQ(handle, 0u);
}

TEST_F(WatchLifecycleTest, FiftyStartsAndStopsLeaveNoThreadOrHandle) {
  std::uintptr_t handle = OpenWatchFolder(tree.Path(), HandOffRecorder());
  CloseWatchHandleAsync(handle);  // first-use allocations out of the count
  const std::size_t threads = SettledThreadCount();
  const long handles = OpenHandleCount();
  ASSERT_GT(handles, 0) << "nothing counted: the check below could not fail";
  for (int i = 0; i < 50; ++i) {
    handle = OpenWatchFolder(tree.Path(), HandOffRecorder());
    ASSERT_NE(handle, 0u);
    if (i % 5 == 0) Sleep(20);  // some with the read pending, some before it
    CloseWatchHandleAsync(handle);
  }
  EXPECT_TRUE(ThreadCountAwait(threads, 5000));
  const DWORD start = GetTickCount();
  while (OpenHandleCount() > handles && GetTickCount() - start < 5000) Sleep(20);
  EXPECT_LE(OpenHandleCount(), handles);
}

TEST_F(WatchLifecycleTest, MissingFolderGivesZeroAndNoThread) {
  const std::size_t threads = SettledThreadCount();
  EXPECT_EQ(OpenWatchFolder(tree.Join("missing"), HandOffRecorder()), 0u);
  EXPECT_LE(ProcessThreadIds().size(), threads);
}

// Wine keeps a folder that this process holds open until the handle goes
// (the delete stays pending), so the folder is moved away here; a delete
// from the Linux side makes it vanish the same way.
TEST_F(WatchLifecycleTest, VanishedFolderEndsTheSessionWithANotice) {
  NoticeWindow notices;
  tree.Folder("gone\\inner");
  const std::string folder = tree.Join("gone");
  std::uintptr_t handle = OpenWatchFolder(folder, HandOffRecorder());
  ASSERT_NE(handle, 0u);
  const std::size_t threads = ProcessThreadIds().size();
  ReadPendingAwait("gone\\armed.txt");
  ASSERT_TRUE(MoveFileA(folder.c_str(), tree.Join("moved").c_str()));
  EXPECT_EQ(notices.Await(5000), handle);
  EXPECT_TRUE(WatchEndedByItself(handle));
  EXPECT_TRUE(ThreadCountAwait(threads - 2, 10000));  // the watcher and its helper have ended
  CloseWatchHandleAsync(handle);
  EXPECT_EQ(handle, 0u);
}

}  // namespace
