#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "runtime/commands/event_pump.h"

namespace {

constexpr UINT kPing = WM_APP + 20;
DWORD pingHandledAt = 0;

LRESULT CALLBACK PingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kPing) {
    pingHandledAt = GetTickCount();
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND PingWindowCreate() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = PingProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "PumpedWaitTestWindow";
  RegisterClassA(&windowClass);
  return CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         windowClass.hInstance, nullptr);
}

DWORD MillisecondsOf(void (*wait)()) {
  const DWORD start = GetTickCount();
  wait();
  return GetTickCount() - start;
}

}  // namespace

TEST(PumpedWait, DispatchesMessagesThatArriveWhileWaiting) {
  HWND window = PingWindowCreate();
  pingHandledAt = 0;
  const DWORD start = GetTickCount();
  std::thread poster([window] {
    Sleep(150);
    PostMessageA(window, kPing, 0, 0);
  });
  PumpedWait(600, 0);
  const DWORD end = GetTickCount();
  poster.join();
  DestroyWindow(window);

  EXPECT_GE(end - start, 550u);
  EXPECT_LT(end - start, 1500u);
  ASSERT_NE(pingHandledAt, 0u);
  EXPECT_LT(pingHandledAt - start, 450u);  // handled during the wait, not after it
}

TEST(PumpedWait, UnitCodesSetTheLength) {
  // 250000 microseconds in one wait.
  DWORD elapsed = MillisecondsOf([] { PumpedWait(250000, 1); });
  EXPECT_GE(elapsed, 200u);
  EXPECT_LT(elapsed, 1000u);
  // Seconds are a thousand successive waits of count milliseconds.
  elapsed = MillisecondsOf([] { PumpedWait(1, 2); });
  EXPECT_GE(elapsed, 950u);
  // Any other code counts the waits itself.
  elapsed = MillisecondsOf([] { PumpedWait(40, 7); });
  EXPECT_GE(elapsed, 260u);
  EXPECT_LT(elapsed, 2000u);
  elapsed = MillisecondsOf([] { PumpedWait(300, -1); });
  EXPECT_LT(elapsed, 100u);
}

TEST(PumpedWait, EndsWhileAQuitMessageWaitsAndLeavesItThere) {
  PostQuitMessage(9);
  const DWORD elapsed = MillisecondsOf([] { PumpedWait(300, 0); });
  EXPECT_GE(elapsed, 250u);
  EXPECT_LT(elapsed, 1500u);
  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 9u);
}
