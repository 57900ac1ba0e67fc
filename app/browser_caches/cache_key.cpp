#include "app/browser_caches/cache_key.h"

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

// Drops one "<digits>/" from the front, if there is one.
bool NumberPrefixDrop(std::string_view& key) {
  std::size_t digits = 0;
  while (digits < key.size() && key[digits] >= '0' && key[digits] <= '9') ++digits;
  if (digits == 0 || digits >= key.size() || key[digits] != '/') return false;
  key.remove_prefix(digits + 1);
  return true;
}

}  // namespace

std::string_view CacheKeyUrl(std::string_view key) {
  const std::size_t blank = key.rfind(' ');
  if (blank != std::string_view::npos) {
    key.remove_prefix(blank + 1);
  } else {
    // Older keys and keys without isolation: "1/0/URL", "0/URL" or the URL.
    if (NumberPrefixDrop(key)) NumberPrefixDrop(key);
  }
  // A URL has a scheme.
  const std::size_t colon = key.find(':');
  if (colon == std::string_view::npos || colon == 0) return {};
  return key;
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
