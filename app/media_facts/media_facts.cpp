#include "app/media_facts/media_facts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

void CodecList::Add(std::string_view name) {
  if (name.empty() || std::find(names_.begin(), names_.end(), name) != names_.end()) return;
  names_.emplace_back(name);
}

std::string CodecList::Text() const {
  std::string text;
  for (const std::string& name : names_) {
    if (!text.empty()) text += " / ";
    text += name;
  }
  return text;
}

std::string MediaFactsSecondsText(const MediaFacts& facts) {
  if (!facts.seconds) return {};
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", *facts.seconds);
  return text;
}

std::string MediaFactsClockText(const MediaFacts& facts) {
  if (!facts.seconds || !(*facts.seconds >= 0) || *facts.seconds > 1e9) return {};
  const auto whole = static_cast<long long>(std::llround(*facts.seconds));
  char text[48];
  if (whole >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
  return text;
}

std::string MediaFactsResolutionText(const MediaFacts& facts) {
  if (!facts.width || !facts.height) return {};
  return std::to_string(*facts.width) + "x" + std::to_string(*facts.height);
}
