// The Matroska facts reader: Info and Tracks masters on their own, and
// whole files (EBML header, Segment, the masters before the first Cluster).
#include "app/media_facts/matroska_facts.h"
#include "tests/fuzz/media_facts_checks.h"

void FuzzMatroskaFacts(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  if (input.Byte() & 1) {
    const auto info = input.Bytes(input.Word() % 4096);
    MediaFactsCheck(MatroskaFactsFromMasters(info, input.Rest()));
    return;
  }
  MediaFactsOfFileCheck(input);
}
