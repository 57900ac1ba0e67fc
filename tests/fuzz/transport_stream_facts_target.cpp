// The transport-stream facts reader: packets at the start and at the end
// (the program map, times, an H.264 parameter set), and the picture-size
// reader on a byte stream of its own.
#include "app/media_facts/h264_picture_size.h"
#include "app/media_facts/transport_stream_facts.h"
#include "tests/fuzz/media_facts_checks.h"

void FuzzTransportStreamFacts(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::uint8_t mode = input.Byte();
  if (mode % 3 == 0) {
    if (const auto picture = H264PictureSizeFind(input.Rest()))
      FUZZ_CHECK(picture->width > 0 && picture->height > 0 && picture->width <= 65535 &&
                 picture->height <= 65535);
    return;
  }
  if (mode % 3 == 1) {
    const auto head = input.Bytes(input.Word() % (64u << 10));
    MediaFactsCheck(TransportStreamFacts(head, input.Rest()));
    return;
  }
  MediaFactsOfFileCheck(input);
}
