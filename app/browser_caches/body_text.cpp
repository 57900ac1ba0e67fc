#include "app/browser_caches/body_text.h"

#include <algorithm>
#include <memory>
#include <span>
#include <vector>

namespace {

constexpr std::size_t kReadBytes = 64 * 1024;

// A compressed body is looked into for a playlist only: servers do not
// compress media, and a copy of compressed media would not play.
MediaSignature EncodedBodySignature(CacheFolder& folder, const CacheElement& element) {
  const DecodedBody first = CacheBodyText(folder, element, kMediaSniffBytes);
  if (first.end == DecodeEnd::Corrupt || first.end == DecodeEnd::Unsupported) return {MediaNature::NotMedia, {}};
  const bool complete = IsComplete(element) && first.end == DecodeEnd::Whole;
  const MediaSignature signature = MediaSignatureOf(
      element.contentType,
      std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(first.bytes.data()), first.bytes.size()),
      complete);
  if (signature.nature == MediaNature::Playlist || signature.nature == MediaNature::Unknown) return signature;
  return {MediaNature::NotMedia, {}};
}

}  // namespace

DecodedBody CacheBodyText(CacheFolder& folder, const CacheElement& element, std::size_t budget) {
  DecodedBody decoded;
  const ContentCoding coding = ContentCodingOf(element.contentEncoding);
  const std::uint64_t present = ContiguousLength(element);
  CacheBodyReader reader(folder, element);
  if (coding == ContentCoding::Identity) {
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(present, budget));
    decoded.bytes.resize(wanted);
    decoded.bytes.resize(reader.Read(0, decoded.bytes.data(), wanted));
    decoded.end = present > budget ? DecodeEnd::CutShort : DecodeEnd::Whole;
    if (decoded.bytes.size() < wanted) decoded.end = DecodeEnd::Unfinished;  // a file shorter than said
    return decoded;
  }
  const std::unique_ptr<ContentDecoder> decoder = ContentDecoder::Make(coding, budget);
  if (!decoder) {
    decoded.end = DecodeEnd::Unsupported;
    return decoded;
  }
  std::vector<std::uint8_t> block(static_cast<std::size_t>(std::min<std::uint64_t>(present, kReadBytes)));
  for (std::uint64_t at = 0; at < present;) {
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), present - at));
    const std::size_t got = reader.Read(at, block.data(), wanted);
    if (!decoder->Push(std::span<const std::uint8_t>(block.data(), got), decoded.bytes) || got < wanted) break;
    at += got;
  }
  decoded.end = decoder->End();
  return decoded;
}

// Here rather than beside the body reader: judging a compressed body takes
// the decoders, which the reader of plain bytes does not need.
MediaSignature CacheElementSignature(CacheFolder& folder, const CacheElement& element) {
  if (!element.contentEncoding.empty()) return EncodedBodySignature(folder, element);
  std::vector<std::uint8_t> first(kMediaSniffBytes);
  CacheBodyReader reader(folder, element);
  first.resize(reader.Read(0, first.data(), first.size()));
  // The bytes read are all there will be when the element is complete and short.
  const bool complete = IsComplete(element) && first.size() >= ContiguousLength(element);
  return MediaSignatureOf(element.contentType, first, complete);
}
