#include "runtime/commands/event_pump.h"

#include <windows.h>

#include "runtime/core/declared_calls.h"

namespace {

constexpr std::int32_t kUnitMilliseconds = 0;
constexpr std::int32_t kUnitMicroseconds = 1;
constexpr std::int32_t kUnitSeconds = 2;
constexpr std::int32_t kUnitMinutes = 3;
constexpr std::int32_t kUnitHours = 4;
constexpr std::int32_t kUnitDays = 5;
constexpr DWORD kWakeOnAnyMessage = QS_KEY | QS_MOUSEMOVE | QS_MOUSEBUTTON | QS_POSTMESSAGE | QS_TIMER |
                                    QS_PAINT | QS_SENDMESSAGE | QS_HOTKEY;
static_assert(kWakeOnAnyMessage == 0xFF);

std::int64_t RepetitionsOf(std::int32_t unitCode) {
  switch (unitCode) {
    case kUnitMilliseconds:
    case kUnitMicroseconds:
      return 1;
    case kUnitSeconds:
      return 1000;
    case kUnitMinutes:
      return 60000;
    case kUnitHours:
      return 3600000;
    case kUnitDays:
      return 86400000;
    default:
      return unitCode;
  }
}

// A waitable timer made and closed through the declared functions.
class WaitableTimer {
 public:
  WaitableTimer() : handle_(DeclaredCreateWaitableTimerA(nullptr, FALSE, nullptr)) {}
  WaitableTimer(const WaitableTimer&) = delete;
  WaitableTimer& operator=(const WaitableTimer&) = delete;
  ~WaitableTimer() {
    if (handle_ != nullptr) DeclaredCloseHandleAgain(handle_);
  }

  // Arms the timer once, dueTime in 100-nanosecond steps (negative: relative).
  bool Arm(std::int64_t dueTime) {
    if (handle_ == nullptr) return false;
    LARGE_INTEGER due;
    due.QuadPart = dueTime;
    return DeclaredSetWaitableTimer(handle_, &due, 0, nullptr, nullptr, FALSE) != FALSE;
  }

  // Waits until the timer fires, dispatching messages in between.  False when
  // the wait itself fails, so the caller can fall back to a plain sleep.
  bool WaitPumping() {
    HANDLE handles[] = {handle_};
    for (;;) {
      const DWORD result = DeclaredMsgWaitForMultipleObjects(1, handles, FALSE, INFINITE, kWakeOnAnyMessage);
      if (result == WAIT_OBJECT_0) return true;
      if (result == WAIT_FAILED) return false;
      EventsProcess();
    }
  }

 private:
  HANDLE handle_;
};

void SleepMilliseconds(std::int64_t milliseconds) {
  if (milliseconds > 0) Sleep(static_cast<DWORD>(milliseconds));
}

// One timed wait; sleeps instead when the timer cannot be made, armed or
// waited for, so the wait still takes about its length.
void WaitOnce(std::int64_t dueTime, std::int64_t fallbackMilliseconds) {
  WaitableTimer timer;
  if (timer.Arm(dueTime) && timer.WaitPumping()) return;
  SleepMilliseconds(fallbackMilliseconds);
}

}  // namespace

void PumpedWait(std::int32_t count, std::int32_t unitCode) {
  if (unitCode == kUnitMicroseconds) {
    WaitOnce(static_cast<std::int64_t>(count) * -10, count / 1000);
    return;
  }
  const std::int64_t repetitions = RepetitionsOf(unitCode);
  for (std::int64_t i = 0; i < repetitions; ++i) {
    WaitOnce(static_cast<std::int64_t>(count) * -10000, count);
  }
}
