#include "app/browser_caches/http_headers.h"

#include <cstring>

#include "runtime/core/text_encoding.h"

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

// Decimal digits only, without overflow.
std::optional<std::uint64_t> NumberParse(std::string_view text) {
  text = Trim(text);
  if (text.empty() || text.size() > 19) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

// "HTTP/1.1 206 Partial Content" -> 206.
int StatusParse(std::string_view line) {
  if (line.substr(0, 5) != "HTTP/") return 0;
  const std::size_t blank = line.find(' ');
  if (blank == std::string_view::npos || blank + 4 > line.size()) return 0;
  int status = 0;
  for (std::size_t i = blank + 1; i < blank + 4; ++i) {
    if (line[i] < '0' || line[i] > '9') return 0;
    status = status * 10 + (line[i] - '0');
  }
  if (blank + 4 < line.size() && line[blank + 4] != ' ') return 0;
  return status;
}

void FieldApply(std::string_view name, std::string_view value, HttpResponseSummary& summary) {
  value = Trim(value);
  if (AsciiEqualFold(name, "content-type")) {
    const std::size_t semicolon = value.find(';');
    summary.contentType = AsciiLowered(Trim(value.substr(0, semicolon)));
  } else if (AsciiEqualFold(name, "content-encoding")) {
    std::string encoding = AsciiLowered(value);
    summary.contentEncoding = encoding == "identity" ? std::string() : encoding;
  } else if (AsciiEqualFold(name, "content-length")) {
    summary.contentLength = NumberParse(value);
  } else if (AsciiEqualFold(name, "content-range")) {
    // "bytes 0-99/1234"; "bytes */1234" for an unsatisfied range; "/*" unknown.
    const std::size_t slash = value.rfind('/');
    if (slash != std::string_view::npos) summary.rangeTotal = NumberParse(value.substr(slash + 1));
  }
}

std::uint32_t U32At(std::span<const std::uint8_t> bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(bytes[at + i]) << (8 * i);
  return value;
}

// base::Pickle: a 32-bit payload size, then fields each aligned to 4 bytes.
class PickleReader {
 public:
  explicit PickleReader(std::span<const std::uint8_t> payload) : payload_(payload) {}
  std::optional<std::uint32_t> Word() {
    if (payload_.size() - at_ < 4) return std::nullopt;
    const std::uint32_t value = U32At(payload_, at_);
    at_ += 4;
    return value;
  }
  bool Skip(std::size_t count) {
    const std::size_t aligned = (count + 3) & ~std::size_t{3};
    if (count > payload_.size() || payload_.size() - at_ < aligned) return false;
    at_ += aligned;
    return true;
  }
  std::optional<std::string_view> String() {
    const auto length = Word();
    if (!length || *length > payload_.size() - at_) return std::nullopt;
    const std::string_view text(reinterpret_cast<const char*>(payload_.data()) + at_, *length);
    if (!Skip(*length)) return std::nullopt;
    return text;
  }

 private:
  std::span<const std::uint8_t> payload_;
  std::size_t at_ = 0;
};

constexpr std::uint32_t kTruncated = 1u << 12;
constexpr std::uint32_t kHasExtraFlags = 1u << 31;
constexpr std::uint32_t kExtraHasOriginalResponseTime = 1u << 2;

}  // namespace

std::optional<HttpResponseSummary> HttpHeadersParse(std::string_view text) {
  HttpResponseSummary summary;
  bool first = true;
  while (!text.empty()) {
    std::size_t end = text.find_first_of(std::string_view("\0\n", 2));
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (first) {
      if (line.substr(0, 5) != "HTTP/") return std::nullopt;
      summary.status = StatusParse(line);
      first = false;
      continue;
    }
    if (line.empty()) {
      // A blank line ends a CRLF block; in Chromium's block it is the end too.
      break;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) continue;
    FieldApply(line.substr(0, colon), line.substr(colon + 1), summary);
  }
  if (first) return std::nullopt;
  return summary;
}

std::optional<HttpResponseSummary> ChromiumResponseInfoParse(std::span<const std::uint8_t> pickle) {
  if (pickle.size() < 4) return std::nullopt;
  const std::uint32_t payloadSize = U32At(pickle, 0);
  if (payloadSize > pickle.size() - 4) return std::nullopt;
  PickleReader reader(pickle.subspan(4, payloadSize));
  const auto flags = reader.Word();
  if (!flags) return std::nullopt;
  std::uint32_t extraFlags = 0;
  if (*flags & kHasExtraFlags) {
    const auto extra = reader.Word();
    if (!extra) return std::nullopt;
    extraFlags = *extra;
  }
  // Request and response time, and the original response time when flagged.
  const std::size_t times = (extraFlags & kExtraHasOriginalResponseTime) ? 3 : 2;
  if (!reader.Skip(times * 8)) return std::nullopt;
  const auto headers = reader.String();
  if (!headers) return std::nullopt;
  std::optional<HttpResponseSummary> summary = HttpHeadersParse(*headers);
  if (summary) summary->truncated = (*flags & kTruncated) != 0;
  return summary;
}

std::optional<std::uint64_t> HttpFullLength(const HttpResponseSummary& summary) {
  if (summary.rangeTotal) return summary.rangeTotal;
  if (summary.status == 200) return summary.contentLength;
  return std::nullopt;
}
