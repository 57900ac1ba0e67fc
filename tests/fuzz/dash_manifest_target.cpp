// DASH manifests and the XML under them: the tokenizer always moves on and
// ends, and the reader keeps to its caps whatever the timelines and
// templates ask for.
#include "app/streams/dash_manifest.h"
#include "app/streams/xml_tokens.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

void TokensCheck(std::string_view text) {
  XmlTokenizer tokenizer(text);
  // Every token but the last consumes at least one byte.
  for (std::size_t count = 0;; ++count) {
    FUZZ_CHECK(count <= text.size() + 1);
    const XmlToken token = tokenizer.Next();
    if (token.kind == XmlTokenKind::Finished || token.kind == XmlTokenKind::Malformed) {
      FUZZ_CHECK(tokenizer.Next().kind == token.kind);  // it stays where it ended
      return;
    }
    FUZZ_CHECK(token.attributes.size() <= kXmlMaxAttributes);
    if (token.kind == XmlTokenKind::Text) FUZZ_CHECK(!token.text.empty());
    if (token.kind != XmlTokenKind::Text) FUZZ_CHECK(!token.name.empty());
  }
}

}  // namespace

void FuzzDashManifest(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = AsChars({data, size});
  TokensCheck(text);
  const std::optional<DashManifest> manifest = DashManifestParse(text, "https://cdn.test/a/manifest.mpd");
  if (!manifest) return;
  FUZZ_CHECK(manifest->streams.size() <= kDashMaxStreams);
  std::size_t total = 0;
  bool anyProtected = false;
  bool anyTruncated = false;
  for (const DashStream& stream : manifest->streams) {
    FUZZ_CHECK(stream.stream.segments.size() <= kDashMaxSegmentsPerStream);
    if (stream.segmentsOpen) FUZZ_CHECK(stream.stream.segments.empty());
    total += stream.stream.segments.size();
    anyProtected = anyProtected || stream.stream.protectedContent;
    anyTruncated = anyTruncated || stream.stream.truncated;
    for (const SegmentRef& segment : stream.stream.segments) {
      FUZZ_CHECK(segment.address.Text().find('#') == std::string::npos);
      if (segment.range && segment.range->length) FUZZ_CHECK(*segment.range->length > 0);
    }
  }
  FUZZ_CHECK(total <= kDashMaxSegmentsTotal);
  FUZZ_CHECK(manifest->protectedContent == anyProtected);
  if (anyTruncated) FUZZ_CHECK(manifest->truncated);
}
