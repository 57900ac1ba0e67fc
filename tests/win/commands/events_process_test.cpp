#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "runtime/commands/event_pump.h"

namespace {

constexpr UINT kFirst = WM_APP + 1;
constexpr UINT kSecond = WM_APP + 2;
constexpr UINT kThird = WM_APP + 3;
constexpr UINT kPostedByHandler = WM_APP + 10;
constexpr UINT kQuitFromHandler = WM_APP + 11;

std::vector<UINT> dispatched;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= WM_APP) {
    dispatched.push_back(message);
    if (message == kSecond) PostMessageA(window, kPostedByHandler, 0, 0);
    if (message == kQuitFromHandler) PostQuitMessage(5);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// A message-only window on the calling thread that records what reaches it.
class RecordingWindow {
 public:
  RecordingWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = RecordingProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "EventsProcessTestWindow";
    RegisterClassA(&windowClass);
    window_ = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              windowClass.hInstance, nullptr);
    DrainQueue();
    dispatched.clear();
  }
  ~RecordingWindow() { DestroyWindow(window_); }
  void Post(UINT message) { PostMessageA(window_, message, 0, 0); }

  static void DrainQueue() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
  }

 private:
  HWND window_ = nullptr;
};

// Removes and returns the quit message's exit code, or -1 when none waits.
int TakeQuitCode() {
  MSG message;
  if (!PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return -1;
  return static_cast<int>(message.wParam);
}

DWORD WINAPI PumpOnFreshThread(void*) {
  MSG message;
  PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // gives the thread its queue
  EventsProcess();
  return 0;
}

}  // namespace

TEST(EventsProcess, ReturnsAtOnceWhenNothingWaits) {
  // On a fresh thread with an empty queue; a blocking fetch would hang it.
  HANDLE worker = CreateThread(nullptr, 0, PumpOnFreshThread, nullptr, 0, nullptr);
  ASSERT_NE(worker, nullptr);
  const DWORD result = WaitForSingleObject(worker, 2000);
  EXPECT_EQ(result, WAIT_OBJECT_0);
  if (result != WAIT_OBJECT_0) TerminateThread(worker, 1);
  CloseHandle(worker);
}

TEST(EventsProcess, DispatchesWaitingMessagesInOrderWithThoseTheHandlersPost) {
  RecordingWindow window;
  window.Post(kFirst);
  window.Post(kSecond);
  window.Post(kThird);
  EventsProcess();
  EXPECT_EQ(dispatched, (std::vector<UINT>{kFirst, kSecond, kThird, kPostedByHandler}));
  MSG message;
  EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE));
}

TEST(EventsProcess, LeavesTheQuitMessageForTheMessageLoop) {
  RecordingWindow window;
  window.Post(kFirst);
  PostQuitMessage(3);
  window.Post(kSecond);  // posted messages still come before the quit message
  EventsProcess();
  EXPECT_EQ(dispatched, (std::vector<UINT>{kFirst, kSecond, kPostedByHandler}));
  EXPECT_EQ(TakeQuitCode(), 3);

  // A quit posted by a handler ends the pumping too; what follows it stays.
  dispatched.clear();
  window.Post(kQuitFromHandler);
  EventsProcess();
  EXPECT_EQ(dispatched, (std::vector<UINT>{kQuitFromHandler}));
  EXPECT_EQ(TakeQuitCode(), 5);
  RecordingWindow::DrainQueue();
}
