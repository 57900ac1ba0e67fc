// The local date and time and the tick count, from Win32.
#include <windows.h>

#include "runtime/commands/value_commands.h"

DateTime NowDateTime() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  // Whole seconds: the milliseconds are dropped.
  return DateTimeFromParts({now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond});
}

std::int32_t SystemTicks() { return static_cast<std::int32_t>(GetTickCount()); }
