// The few facts a cache reader needs from a stored HTTP response: Chromium
// keeps the response as a pickle of its response info (the header block
// NUL-separated inside), Firefox as CRLF-separated text.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

struct HttpResponseSummary {
  int status = 0;               // 0 when the status line is missing or malformed
  std::string contentType;      // lower-case, without parameters
  std::string contentEncoding;  // lower-case; empty for none or "identity"
  std::optional<std::uint64_t> contentLength;
  std::optional<std::uint64_t> rangeTotal;  // the total of "Content-Range: bytes a-b/total"
  // Chromium's record says the browser stopped writing the body midway.
  bool truncated = false;
};

// Header text whose lines end in NUL, CR LF or LF; the first line is the
// status line.  Empty optional when the text does not start with "HTTP/".
std::optional<HttpResponseSummary> HttpHeadersParse(std::string_view text);

// Chromium's persisted response info (net/http/http_response_info.cc): a
// pickle holding flags (since 2025 followed by extra flags when flagged so),
// times and then the raw header block; the flags carry the truncated mark.
std::optional<HttpResponseSummary> ChromiumResponseInfoParse(std::span<const std::uint8_t> pickle);

// The length of the whole resource: the Content-Range total, else the
// Content-Length of a 200 answer.
std::optional<std::uint64_t> HttpFullLength(const HttpResponseSummary& summary);
