// Addresses from playlists: resolution always yields an address without a
// fragment and, for a reference with a path against an absolute base,
// without dot segments; the
// sequence number split of segment addresses stays inside the address.
#include "app/streams/segment_groups.h"
#include "app/streams/web_address.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

bool HasDotSegment(std::string_view path) {
  while (!path.empty()) {
    const std::size_t slash = path.find('/');
    const std::string_view segment = path.substr(0, slash);
    if (segment == "." || segment == "..") return true;
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return false;
}

}  // namespace

void FuzzWebAddress(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::size_t split = input.Byte();
  const auto rest = input.Rest();
  const std::string_view base = AsChars(rest.first(split < rest.size() ? split : rest.size()));
  const std::string_view reference = AsChars(rest.subspan(split < rest.size() ? split : rest.size()));
  const std::string resolved = WebAddressResolve(base, reference);
  FUZZ_CHECK(resolved.find('#') == std::string::npos);
  const WebAddressParts referenceParts = WebAddressSplit(reference);
  // Resolution is defined against an absolute base (the program's bases are
  // cached elements' addresses): a relative one may resolve to text such as
  // "s:./x" that reads back with a scheme.
  if (WebAddressSplit(base).hasScheme && !referenceParts.path.empty() &&
      referenceParts.path.find_first_of(" \t") == std::string_view::npos)
    FUZZ_CHECK(!HasDotSegment(WebAddressSplit(resolved).path));
  // Resolving nothing against a resolved address gives it back.
  FUZZ_CHECK(WebAddressResolve(resolved, "") == resolved);

  for (const std::string_view address : {base, reference, std::string_view(resolved)}) {
    const auto parts = SegmentAddressSplitOf(address);
    if (!parts) continue;
    FUZZ_CHECK(parts->number < 1'000'000'000'000'000'000ull);
    FUZZ_CHECK(parts->pattern.find("{#}") != std::string::npos);
    FUZZ_CHECK(parts->pattern.size() <= address.size() + 3);
  }
}
