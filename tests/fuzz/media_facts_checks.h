// What every media-facts reader's answer must be, whatever bytes it read.
#pragma once

#include <cmath>

#include "app/browser_caches/cache_folder_memory.h"
#include "app/media_facts/media_facts_read.h"
#include "tests/fuzz/fuzz_targets.h"

inline void MediaFactsCheck(const MediaFacts& facts) {
  if (facts.seconds) FUZZ_CHECK(std::isfinite(*facts.seconds) && *facts.seconds >= 0);
  FUZZ_CHECK(facts.width.has_value() == facts.height.has_value());
  FUZZ_CHECK(facts.codecs.size() < 4096);
}

// The whole reader on the bytes as a file, with a full length taken from the input.
inline void MediaFactsOfFileCheck(FuzzInput& input) {
  const std::uint32_t extra = input.Word();
  const auto rest = input.Rest();
  MemoryCacheFolder folder;
  folder.Put("body", {rest.begin(), rest.end()});
  auto file = folder.Open("body");
  const MediaFacts facts = MediaFactsRead(
      *file, extra % 3 == 0 ? std::optional<std::uint64_t>(rest.size() + extra) : std::nullopt);
  MediaFactsCheck(facts);
  if (facts.seconds) FUZZ_CHECK(*facts.seconds > 0);
  if (facts.width) FUZZ_CHECK(*facts.width > 0 && *facts.height > 0);
}
