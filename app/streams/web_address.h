// Web addresses as playlists use them: the parts of an address and the
// resolution of a reference (a segment's URI, a BaseURL) against the address
// of the playlist that holds it, by the rules of RFC 3986 section 5.
#pragma once

#include <string>
#include <string_view>

// The five parts of RFC 3986 section 3.  An absent part differs from an
// empty one ("http://h/p?" has an empty query), hence the flags.
struct WebAddressParts {
  std::string_view scheme;
  std::string_view authority;
  std::string_view path;
  std::string_view query;
  std::string_view fragment;
  bool hasScheme = false;
  bool hasAuthority = false;
  bool hasQuery = false;
  bool hasFragment = false;
};

// Splits without validating (views into `address`).
WebAddressParts WebAddressSplit(std::string_view address);

// `reference` resolved against `base` (RFC 3986 5.2.2, dot segments removed),
// without its fragment: segments are fetched, never navigated to.  Spaces
// and tabs around the reference are ignored.
std::string WebAddressResolve(std::string_view base, std::string_view reference);
