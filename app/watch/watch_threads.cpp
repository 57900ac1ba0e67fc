#include "app/watch/watch_threads.h"

#include "runtime/core/declared_calls.h"

std::uint64_t SystemTimeNow() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return static_cast<std::uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
}

bool RunningUnderWine() {
  static const bool wine = [] {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  return wine;
}

HANDLE WatchThreadStart(LPTHREAD_START_ROUTINE body, void* parameter) {
  return DeclaredCreateThread(nullptr, 0, body, parameter, 0, nullptr);
}
