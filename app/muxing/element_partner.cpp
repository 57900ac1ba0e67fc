#include "app/muxing/element_partner.h"

#include <vector>

#include "app/browser_caches/cache_key.h"
#include "app/muxing/cache_track_file.h"

namespace {

// Firefox keys start with the origin attributes ("O^partitionKey=%28https%2Csite.test%29,a,:URL");
// the partition key names the top-level site.
std::string FirefoxPartition(std::string_view key) {
  if (key.substr(0, 2) != "O^") return {};
  const std::string_view attributes = key.substr(2, key.find(',') - 2);
  constexpr std::string_view kName = "partitionKey=";
  const std::size_t at = attributes.find(kName);
  if (at == std::string_view::npos) return {};
  std::string_view value = attributes.substr(at + kName.size());
  return std::string(value.substr(0, value.find('&')));
}

bool IsMedia(const MediaSignature& signature) {
  return signature.nature == MediaNature::Video || signature.nature == MediaNature::Audio;
}

}  // namespace

std::string ElementTopFrameSite(const CacheElement& element) {
  if (element.store == CacheStore::FirefoxCache2) return FirefoxPartition(element.key);
  const std::optional<CacheKeyParts> parts = CacheKeyParse(element.key);
  if (!parts || !parts->doubleKeyed) return {};
  return std::string(parts->topFrameSite);
}

PairCandidate ElementPairCandidate(CacheFolder& folder, const CacheElement& element, PartnerWholeness wholeness) {
  PairCandidate candidate;
  candidate.complete =
      wholeness == PartnerWholeness::Complete ? IsComplete(element) : element.fullLength.has_value();
  candidate.topFrameSite = ElementTopFrameSite(element);
  candidate.cachedAt = element.lastWritten;
  // Only a candidate that could fit is worth reading its headers.
  if (!candidate.complete || candidate.topFrameSite.empty()) return candidate;
  CacheElementFile file(folder, element);
  candidate.headline = TrackHeadlineRead(file);
  return candidate;
}

std::optional<std::size_t> ElementPartnerFind(CacheFolder& folder, std::span<const CacheElement> elements,
                                              std::span<const MediaSignature> signatures, std::size_t named,
                                              PartnerWholeness wholeness) {
  if (named >= elements.size()) return std::nullopt;
  const std::string site = ElementTopFrameSite(elements[named]);
  if (site.empty()) return std::nullopt;
  // Only the named element's site can hold its partner: the others' headers
  // are not read.
  std::vector<std::size_t> indexes;
  std::vector<PairCandidate> candidates;
  for (std::size_t i = 0; i < elements.size() && i < signatures.size(); ++i) {
    if (i != named && (!IsMedia(signatures[i]) || ElementTopFrameSite(elements[i]) != site)) continue;
    indexes.push_back(i);
    candidates.push_back(ElementPairCandidate(folder, elements[i], wholeness));
  }
  for (const TrackPair& pair : TrackPairsFind(candidates)) {
    if (indexes[pair.video] == named) return indexes[pair.audio];
    if (indexes[pair.audio] == named) return indexes[pair.video];
  }
  return std::nullopt;
}
