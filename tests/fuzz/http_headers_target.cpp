// Stored response headers: Chromium's pickle and CRLF text.
#include "app/browser_caches/http_headers.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

void SummaryCheck(const HttpResponseSummary& summary) {
  FUZZ_CHECK(summary.status >= 0 && summary.status <= 999);
  for (char c : summary.contentType) {
    FUZZ_CHECK(!(c >= 'A' && c <= 'Z'));
    FUZZ_CHECK(c != ';');
  }
  FUZZ_CHECK(summary.contentEncoding != "identity");
  if (const auto full = HttpFullLength(summary)) {
    FUZZ_CHECK(full == summary.rangeTotal || full == summary.contentLength);
  }
}

}  // namespace

void FuzzHttpHeaders(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  if (const auto summary = ChromiumResponseInfoParse(bytes)) SummaryCheck(*summary);
  if (const auto summary = HttpHeadersParse(AsChars(bytes))) SummaryCheck(*summary);
}
