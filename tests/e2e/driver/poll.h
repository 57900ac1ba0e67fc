// Bounded polling: every wait of the end-to-end driver asks a question
// repeatedly until it holds or the time runs out, so a test never hangs and
// never sleeps longer than the program needs.
#pragma once

#include <windows.h>

namespace e2e {

// A span of time in milliseconds.  (<chrono> cannot be used here: its
// micro sign has no GBK form, and the program's texts are compiled to GBK.)
struct Milliseconds {
  constexpr explicit Milliseconds(unsigned long long value) : ms(value) {}
  constexpr unsigned long long count() const { return ms; }
  unsigned long long ms;
};

// Long enough for a program start under Wine on a loaded machine.
inline constexpr Milliseconds kDefaultTimeout{15000};
inline constexpr Milliseconds kPollInterval{25};

// Asks `condition` until it returns true or `timeout` has passed; returns
// whether it held.  The condition is always asked at least once, and once
// more after the deadline so a slow last step is not lost.
template <class Condition>
bool WaitUntil(Condition&& condition, Milliseconds timeout = kDefaultTimeout,
               Milliseconds interval = kPollInterval) {
  const ULONGLONG deadline = GetTickCount64() + timeout.count();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= deadline) return static_cast<bool>(condition());
    Sleep(static_cast<DWORD>(interval.count()));
  }
}

// Asks `produce` until its result converts to true (a found window, a
// filled optional) or the time runs out; returns the last result.
template <class Producer>
auto WaitFor(Producer&& produce, Milliseconds timeout = kDefaultTimeout,
             Milliseconds interval = kPollInterval) -> decltype(produce()) {
  decltype(produce()) result{};
  WaitUntil(
      [&] {
        result = produce();
        return static_cast<bool>(result);
      },
      timeout, interval);
  return result;
}

// Watches that `condition` stays true for the whole period (for "nothing
// happens" checks); returns false at the first moment it does not.
template <class Condition>
bool StaysTrue(Condition&& condition, Milliseconds period, Milliseconds interval = kPollInterval) {
  const ULONGLONG deadline = GetTickCount64() + period.count();
  while (GetTickCount64() < deadline) {
    if (!condition()) return false;
    Sleep(static_cast<DWORD>(interval.count()));
  }
  return static_cast<bool>(condition());
}

}  // namespace e2e
