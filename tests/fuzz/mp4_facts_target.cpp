// The MP4 facts reader: a moov on its own, and whole files (moov, sidx and
// fragments read from the file).
#include "app/media_facts/mp4_facts.h"
#include "tests/fuzz/media_facts_checks.h"

void FuzzMp4Facts(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  if (input.Byte() & 1) {
    MediaFactsCheck(Mp4FactsFromMoov(input.Rest()));
    return;
  }
  MediaFactsOfFileCheck(input);
}
