// The picture or sound partner of one cached element among its folder's
// elements, by the pairing rules of track_pairing.h, for the live watch and
// the scan alike.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "app/browser_caches/cache_element.h"
#include "app/browser_caches/cache_files.h"
#include "app/browser_caches/media_signature.h"
#include "app/muxing/track_pairing.h"

// The top-frame site a cached element was fetched under: a Chromium key's
// (split cache), a Firefox key's partitionKey; empty when the key says none.
std::string ElementTopFrameSite(const CacheElement& element);

// How whole an element must be to count.  The scan wants every byte
// (`Complete`); the live watch asks while the player is still fetching, so
// there an element counts once the cache knows its full length
// (`LengthKnown`), and each track is checked again when it is saved.
enum class PartnerWholeness { Complete, LengthKnown };

// What the pairing reads of one element; headers only for an element that
// could fit (whole enough, of a known site).
PairCandidate ElementPairCandidate(CacheFolder& folder, const CacheElement& element, PartnerWholeness wholeness);

// The index of `named`'s one fitting partner among `elements` (only media
// elements, by `signatures`, are looked at); nothing when none or more
// than one fits.
std::optional<std::size_t> ElementPartnerFind(CacheFolder& folder, std::span<const CacheElement> elements,
                                              std::span<const MediaSignature> signatures, std::size_t named,
                                              PartnerWholeness wholeness);
