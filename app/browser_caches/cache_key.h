// Chromium's HTTP cache keys (net/http/http_cache.cc): an optional
// "<credentials>/<upload id>/" prefix, with the split cache "_dk_" and the
// isolation sites separated by blanks, then the URL.  Range answers kept in
// the block files are split into child entries of 1 MiB whose keys name the
// parent's key.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The parts of a key as net/http/http_cache.cc writes it:
//   <credentials 0|1>/<upload id>/[_dk_[s_][cn_]<top-frame site> <frame site>[ <partition>] ]<URL>
// and the older forms "<upload id>/<URL>" and the bare URL.  The URL is what
// follows the last blank.  All views point into the key.
struct CacheKeyParts {
  std::optional<bool> credentials;   // the leading digit, where there is one
  std::optional<std::int64_t> uploadId;  // a POST body's identifier (0 for none)
  bool doubleKeyed = false;          // "_dk_": the cache split by site
  bool subframeDocument = false;     // "s_": a document loaded in a frame
  bool crossSiteNavigation = false;  // "cn_": a main-frame navigation from another site
  std::string_view topFrameSite;
  std::string_view frameSite;
  std::optional<std::int32_t> partition;  // a network isolation partition other than the general one
  std::string_view url;
};

// Empty optional when the key does not follow that grammar.
std::optional<CacheKeyParts> CacheKeyParse(std::string_view key);

// The URL inside a key (a view into it); empty when the key holds none.
std::string_view CacheKeyUrl(std::string_view key);

// What an element's address is shown as: the key's URL, or, for a key the
// grammar does not know (a newer browser's), the key's own text, so that the
// element is still listed and told apart.
std::string CacheKeyAddress(std::string_view key);

struct RangeChildKey {
  std::string_view parentKey;  // a view into the child's key
  std::uint64_t signature = 0;
  std::uint64_t childIndex = 0;  // element offset >> 20
};

// "Range_<parent key>:<signature hex>:<child index hex>".
std::optional<RangeChildKey> RangeChildKeyParse(std::string_view key);
// The key of a child, as the browser makes it (lower-case hex).
std::string RangeChildKeyMake(std::string_view parentKey, std::uint64_t signature, std::uint64_t childIndex);
