// The first bytes of a body, with a stored type.
#include "app/browser_caches/media_signature.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

constexpr std::string_view kTypes[] = {"",
                                       "video/mp4",
                                       "audio/mp4",
                                       "audio/webm",
                                       "video/webm",
                                       "audio/mpeg",
                                       "text/html",
                                       "application/dash+xml",
                                       "video/mp2t",
                                       "audio/x-ms-wma",
                                       "application/octet-stream"};

bool Named(MediaNature nature) {
  return nature == MediaNature::Video || nature == MediaNature::Audio || nature == MediaNature::Segment ||
         nature == MediaNature::Playlist;
}

}  // namespace

void FuzzMediaSignature(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::string_view type = kTypes[input.Byte() % std::size(kTypes)];
  const std::size_t cut = input.Word() % 4096;
  const auto bytes = input.Rest();
  for (const bool complete : {false, true}) {
    const MediaSignature of = MediaSignatureOfBytes(bytes, complete);
    FUZZ_CHECK(Named(of.nature) == !of.extension.empty());
    const MediaSignature typed = MediaSignatureOf(type, bytes, complete);
    FUZZ_CHECK(Named(typed.nature) == !typed.extension.empty());
  }
  // More bytes never change a verdict given on fewer.
  if (cut < bytes.size()) {
    const MediaSignature prefix = MediaSignatureOfBytes(bytes.first(cut), false);
    const MediaSignature whole = MediaSignatureOfBytes(bytes, false);
    FUZZ_CHECK(prefix.nature == MediaNature::Unknown ||
               (prefix.nature == whole.nature && prefix.extension == whole.extension));
  }
}
