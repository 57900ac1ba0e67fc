#include "app/media_facts/media_facts_read.h"

#include <array>
#include <cmath>
#include <string_view>

#include "app/media_facts/matroska_facts.h"
#include "app/media_facts/mp4_facts.h"
#include "app/media_facts/mpeg_audio_facts.h"
#include "app/media_facts/transport_stream_facts.h"

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
