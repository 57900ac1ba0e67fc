#include "app/browser_caches/cache_key.h"

#include <cstdint>
#include <cstdio>

namespace {

// 1 to 16 hex digits, nothing else.
std::optional<std::uint64_t> HexParse(std::string_view text) {
  if (text.empty() || text.size() > 16) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    value = value << 4 | static_cast<std::uint64_t>(digit);
  }
  return value;
}

// A run of decimal digits (with a leading minus where `signedNumber`): an
// int64 as printed.
std::optional<std::int64_t> DecimalParse(std::string_view text, bool signedNumber) {
  bool negative = false;
  if (signedNumber && !text.empty() && text.front() == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > 19) return std::nullopt;
  std::uint64_t value = 0;  // 19 digits fit
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
  return negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
}

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// An absolute URL as the browser prints it: a scheme, a colon, no blank.
bool IsUrl(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0 || !IsAlpha(text.front())) return false;
  for (const char c : text.substr(0, colon))
    if (!IsAlpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return false;
  return text.find(' ') == std::string_view::npos;
}

// A site as the key holds it: "scheme://host[:port]" (file sites have no host).
bool IsSite(std::string_view text) {
  const std::size_t marker = text.find("://");
  return marker != std::string_view::npos && IsUrl(text) && text.find('/', marker + 3) == std::string_view::npos;
}

bool PrefixDrop(std::string_view& text, std::string_view prefix) {
  if (text.substr(0, prefix.size()) != prefix) return false;
  text.remove_prefix(prefix.size());
  return true;
}

// The isolation part after "_dk_" and its prefixes: two sites and perhaps a
// partition number, each followed by a blank.
bool IsolationParse(std::string_view isolation, CacheKeyParts& parts) {
  std::string_view fields[3];
  std::size_t count = 0;
  while (!isolation.empty()) {
    if (count == 3) return false;
    const std::size_t blank = isolation.find(' ');
    fields[count++] = isolation.substr(0, blank);
    isolation.remove_prefix(blank == std::string_view::npos ? isolation.size() : blank + 1);
  }
  if (count < 2 || !IsSite(fields[0]) || !IsSite(fields[1])) return false;
  parts.topFrameSite = fields[0];
  parts.frameSite = fields[1];
  if (count == 3) {
    const auto partition = DecimalParse(fields[2], false);
    if (!partition || *partition > INT32_MAX) return false;
    parts.partition = static_cast<std::int32_t>(*partition);
  }
  return true;
}

}  // namespace

std::optional<CacheKeyParts> CacheKeyParse(std::string_view key) {
  CacheKeyParts parts;
  std::string_view rest = key;
  // "<credentials>/<upload id>/", or the older "<upload id>/", or nothing.
  const std::size_t firstSlash = rest.find('/');
  if (firstSlash != std::string_view::npos && firstSlash > 0 && !IsUrl(rest.substr(0, firstSlash + 1))) {
    const auto first = DecimalParse(rest.substr(0, firstSlash), true);
    if (!first) return std::nullopt;
    rest.remove_prefix(firstSlash + 1);
    const std::size_t secondSlash = rest.find('/');
    const auto second =
        secondSlash == std::string_view::npos ? std::nullopt : DecimalParse(rest.substr(0, secondSlash), true);
    if (second && (*first == 0 || *first == 1)) {
      parts.credentials = *first == 1;
      parts.uploadId = *second;
      rest.remove_prefix(secondSlash + 1);
    } else {
      parts.uploadId = *first;
    }
  }
  if (PrefixDrop(rest, "_dk_")) {
    parts.doubleKeyed = true;
    parts.subframeDocument = PrefixDrop(rest, "s_");
    parts.crossSiteNavigation = PrefixDrop(rest, "cn_");
    const std::size_t lastBlank = rest.rfind(' ');
    if (lastBlank == std::string_view::npos || !IsolationParse(rest.substr(0, lastBlank), parts)) return std::nullopt;
    rest.remove_prefix(lastBlank + 1);
  }
  if (!IsUrl(rest)) return std::nullopt;
  parts.url = rest;
  return parts;
}

std::string_view CacheKeyUrl(std::string_view key) {
  const std::optional<CacheKeyParts> parts = CacheKeyParse(key);
  return parts ? parts->url : std::string_view();
}

std::string CacheKeyAddress(std::string_view key) {
  const std::optional<CacheKeyParts> parts = CacheKeyParse(key);
  return std::string(parts ? parts->url : key);
}

std::optional<RangeChildKey> RangeChildKeyParse(std::string_view key) {
  constexpr std::string_view kPrefix = "Range_";
  if (key.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
  key.remove_prefix(kPrefix.size());
  const std::size_t indexColon = key.rfind(':');
  if (indexColon == std::string_view::npos || indexColon == 0) return std::nullopt;
  const std::size_t signatureColon = key.rfind(':', indexColon - 1);
  if (signatureColon == std::string_view::npos || signatureColon == 0) return std::nullopt;
  const auto signature = HexParse(key.substr(signatureColon + 1, indexColon - signatureColon - 1));
  const auto index = HexParse(key.substr(indexColon + 1));
  if (!signature || !index) return std::nullopt;
  return RangeChildKey{key.substr(0, signatureColon), *signature, *index};
}

std::string RangeChildKeyMake(std::string_view parentKey, std::uint64_t signature, std::uint64_t childIndex) {
  char tail[48];
  std::snprintf(tail, sizeof tail, ":%llx:%llx", static_cast<unsigned long long>(signature),
                static_cast<unsigned long long>(childIndex));
  std::string key = "Range_";
  key += parentKey;
  key += tail;
  return key;
}
