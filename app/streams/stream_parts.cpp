#include "app/streams/stream_parts.h"

#include "app/browser_caches/chromium_cache.h"
#include "app/browser_caches/firefox_cache2.h"

namespace {

StreamElements Sniffed(CacheFolder& folder, std::vector<CacheElement> elements) {
  StreamElements read;
  read.signatures.resize(elements.size());
  for (std::size_t i = 0; i < elements.size(); ++i) {
    // An element without a body byte says nothing yet.
    if (!elements[i].pieces.empty()) read.signatures[i] = CacheElementSignature(folder, elements[i]);
  }
  read.elements = std::move(elements);
  return read;
}

}  // namespace

std::optional<CacheElement> StreamPartRead(CacheFolder& folder, const StreamPartRef& part) {
  std::optional<CacheElement> element;
  if (part.store == CacheStore::FirefoxCache2) {
    element = FirefoxEntryRead(folder, part.fileName);
    // A raw body without metadata yet has no key to compare.
    if (element && !part.key.empty() && !element->key.empty() && element->key != part.key) element.reset();
    return element;
  }
  element = ChromiumElementRead(folder, part.store, part.fileName, part.key);
  if (element && element->key != part.key) element.reset();
  return element;
}

StreamElements StreamPartsRead(CacheFolder& folder, std::span<const StreamPartRef> parts) {
  std::vector<CacheElement> elements;
  for (const StreamPartRef& part : parts)
    if (std::optional<CacheElement> element = StreamPartRead(folder, part))
      elements.push_back(std::move(*element));
  return Sniffed(folder, std::move(elements));
}

StreamElements StreamFolderRead(CacheFolder& folder, CacheStore store) {
  return Sniffed(folder,
                 store == CacheStore::FirefoxCache2 ? FirefoxEntriesRead(folder) : ChromiumCacheRead(folder));
}

const CacheStream* StreamNamed(const CacheStreams& streams, const std::string& address,
                               const std::string& representation, bool segmentGroup) {
  for (const CacheStream& stream : streams.streams) {
    if (stream.address != address) continue;
    if ((stream.origin == CacheStreamOrigin::SegmentGroup) != segmentGroup) continue;
    if (!segmentGroup && stream.representation != representation) continue;
    return &stream;
  }
  if (!segmentGroup) return nullptr;
  for (const CacheStream& stream : streams.streams)
    for (const CacheElement& source : stream.sources)
      if (source.webAddress == address) return &stream;
  return nullptr;
}
