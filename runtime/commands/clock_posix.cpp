// Native stand-ins for the local date and time and the tick count.
#include <time.h>

#include "runtime/commands/value_commands.h"

DateTime NowDateTime() {
  const time_t seconds = time(nullptr);
  struct tm local {};
  localtime_r(&seconds, &local);
  return DateTimeFromParts(
      {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec});
}

// Milliseconds since an arbitrary start, wrapping at 2^32 like GetTickCount.
std::int32_t SystemTicks() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const auto milliseconds = static_cast<unsigned long long>(now.tv_sec) * 1000ULL +
                            static_cast<unsigned long long>(now.tv_nsec) / 1000000ULL;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(milliseconds));
}
