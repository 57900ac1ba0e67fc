// Whether a saved copy is named after a detection time between two moments.
// A time on a whole minute or hour leaves its zero fields out of the name
// ("2026年12月8日21时50分.ts"), so a name is checked against the time texts
// of every second in between, never for a fixed part such as "秒".
#pragma once

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/commands/value_commands.h"

// The names a copy whose detection time lies in [from, to] (whole seconds,
// as the clock gives them) can have.
inline std::vector<std::string> DetectionTimeNames(DateTime from, DateTime to, std::string_view suffix) {
  std::vector<std::string> names;
  const DateTimeParts start = DateTimeSplit(from);
  const long long seconds = std::llround((to.days - from.days) * 86400.0);
  for (long long second = 0; second <= seconds; ++second) {
    DateTimeParts at = start;
    at.second += static_cast<int>(second);  // carried into minutes, hours and days
    const Text text = ToText(DateTimeFromParts(at));
    names.push_back(std::string(text.data(), text.size()) + std::string(suffix));
  }
  return names;
}

inline bool NamedForATimeBetween(std::string_view name, DateTime from, DateTime to, std::string_view suffix) {
  for (const std::string& candidate : DetectionTimeNames(from, to, suffix)) {
    if (candidate == name) return true;
  }
  return false;
}
