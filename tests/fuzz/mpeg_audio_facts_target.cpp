// The MP3 and ADTS facts reader on whole bodies, some only partly present
// (a full length beyond the bytes).
#include "app/media_facts/mpeg_audio_facts.h"
#include "tests/fuzz/media_facts_checks.h"

void FuzzMpegAudioFacts(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::uint32_t extra = input.Word();
  const auto rest = input.Rest();
  MemoryCacheFolder folder;
  folder.Put("body", {rest.begin(), rest.end()});
  auto file = folder.Open("body");
  const auto facts = MpegAudioFactsRead(
      *file, extra & 1 ? std::optional<std::uint64_t>(rest.size() + (extra >> 1)) : std::nullopt);
  if (facts) MediaFactsCheck(*facts);
}
