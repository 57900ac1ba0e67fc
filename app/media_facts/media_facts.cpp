#include "app/media_facts/media_facts.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "app/media_facts/matroska_facts.h"
#include "app/media_facts/mp4_facts.h"
#include "app/media_facts/mpeg_audio_facts.h"
#include "app/media_facts/transport_stream_facts.h"

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

MediaFacts MediaFactsRead(CacheFile& file, std::optional<std::uint64_t> fullLength) {
  std::array<std::uint8_t, 8> start{};
  const std::size_t got = file.ReadAt(0, start.data(), start.size());
  const std::string_view type(reinterpret_cast<const char*>(start.data()) + 4, got >= 8 ? 4 : 0);
  std::optional<MediaFacts> facts;
  if (type == "ftyp" || type == "moov" || type == "free" || type == "skip" || type == "wide" ||
      type == "pdin" || type == "styp") {
    facts = Mp4FactsRead(file);
  } else if (got >= 4 && start[0] == 0x1A && start[1] == 0x45 && start[2] == 0xDF && start[3] == 0xA3) {
    facts = MatroskaFactsRead(file);
  } else if (got >= 1 && start[0] == 0x47) {
    facts = TransportStreamFactsRead(file);
  } else {
    facts = MpegAudioFactsRead(file, fullLength);
  }
  MediaFacts read = facts.value_or(MediaFacts());
  // Damaged headers may say anything: a length must be one.
  if (read.seconds && (!std::isfinite(*read.seconds) || *read.seconds <= 0)) read.seconds.reset();
  if (!read.width || !read.height || *read.width == 0 || *read.height == 0) {
    read.width.reset();
    read.height.reset();
  }
  return read;
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
