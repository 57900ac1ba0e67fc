// Compressed bodies: whatever the bytes, the output stays within the budget,
// cutting short fills it exactly, and the result is the same however the
// body is split and (as far as the smaller one goes) whatever the budget.
// The decoded text goes on to the playlist reader, as a cached one would.
#include <algorithm>
#include <string>

#include "app/browser_caches/content_decoding.h"
#include "app/streams/hls_playlist.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

constexpr ContentCoding kCodings[] = {ContentCoding::Gzip, ContentCoding::Deflate, ContentCoding::Brotli,
                                      ContentCoding::Zstd};

DecodedBody DecodeInPieces(ContentCoding coding, std::span<const std::uint8_t> body, std::size_t piece,
                           std::size_t budget) {
  DecodedBody decoded;
  const std::unique_ptr<ContentDecoder> decoder = ContentDecoder::Make(coding, budget);
  FUZZ_CHECK(decoder != nullptr);
  for (std::size_t at = 0; at < body.size(); at += piece)
    if (!decoder->Push(body.subspan(at, std::min(piece, body.size() - at)), decoded.bytes)) break;
  decoded.end = decoder->End();
  return decoded;
}

bool OneBeginsTheOther(const std::string& a, const std::string& b) {
  const std::size_t common = std::min(a.size(), b.size());
  return a.compare(0, common, b, 0, common) == 0;
}

}  // namespace

void FuzzContentDecoding(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const ContentCoding coding = kCodings[input.Byte() % std::size(kCodings)];
  const std::size_t budget = (input.Byte() + 1u) * 257u;  // up to 64 KiB
  const std::size_t piece = input.Byte() % 64u + 1u;
  const std::span<const std::uint8_t> body = input.Rest();

  const DecodedBody whole = ContentDecode(coding, body, budget);
  FUZZ_CHECK(whole.end != DecodeEnd::Unsupported);
  FUZZ_CHECK(whole.bytes.size() <= budget);
  if (whole.end == DecodeEnd::CutShort) FUZZ_CHECK(whole.bytes.size() == budget);

  // How much a decoder gives out before it finds damage depends on where
  // the input was split (the budget may even be reached first): then both
  // are beginnings of one text.
  const DecodedBody pieces = DecodeInPieces(coding, body, piece, budget);
  const bool damaged = pieces.end == DecodeEnd::Corrupt || whole.end == DecodeEnd::Corrupt;
  if (damaged) {
    for (const DecodeEnd end : {pieces.end, whole.end})
      FUZZ_CHECK(end == DecodeEnd::Corrupt || end == DecodeEnd::CutShort);
    FUZZ_CHECK(OneBeginsTheOther(pieces.bytes, whole.bytes));
  } else {
    FUZZ_CHECK(pieces.end == whole.end);
    FUZZ_CHECK(pieces.bytes == whole.bytes);
  }

  const DecodedBody larger = ContentDecode(coding, body, budget * 4);
  FUZZ_CHECK(OneBeginsTheOther(larger.bytes, whole.bytes));
  if (larger.end == DecodeEnd::Corrupt || whole.end == DecodeEnd::Corrupt) {
    // As above: damage found sooner or later.
  } else if (whole.end == DecodeEnd::Whole || whole.end == DecodeEnd::Unfinished) {
    FUZZ_CHECK(larger.end == whole.end);
    FUZZ_CHECK(larger.bytes == whole.bytes);
  } else if (whole.end == DecodeEnd::CutShort) {
    FUZZ_CHECK(larger.bytes.size() >= whole.bytes.size());
  }

  if (const std::optional<HlsPlaylist> playlist = HlsPlaylistParse(whole.bytes, "https://cdn.test/index.m3u8"))
    FUZZ_CHECK(playlist->segments.size() <= kHlsMaxSegments);
}
