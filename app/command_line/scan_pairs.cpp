#include "app/command_line/scan_pairs.h"

#include "app/muxing/element_partner.h"
#include "app/muxing/presentation_pairs.h"
#include "app/muxing/track_pairing.h"

namespace {

std::string Utf8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

// Drops the items `keep` says no to, and moves the partner indexes along.
template <class Item>
void KeepItems(std::vector<Item>& items, std::vector<std::optional<std::size_t>>& partners,
               const std::vector<bool>& keep) {
  std::vector<std::optional<std::size_t>> newIndex(items.size());
  std::size_t next = 0;
  for (std::size_t i = 0; i < items.size(); ++i)
    if (keep[i]) newIndex[i] = next++;
  std::vector<Item> keptItems;
  std::vector<std::optional<std::size_t>> keptPartners;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (!keep[i]) continue;
    keptItems.push_back(std::move(items[i]));
    const std::optional<std::size_t> partner = partners[i];
    keptPartners.push_back(partner ? newIndex[*partner] : std::nullopt);
  }
  items = std::move(keptItems);
  partners = std::move(keptPartners);
}

template <class Item, class ClassOf>
std::vector<bool> Wanted(const std::vector<Item>& items, const std::vector<std::optional<std::size_t>>& partners,
                         ScanClassFilter filter, ClassOf classOf) {
  std::vector<bool> keep(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    keep[i] = ClassWanted(classOf(items[i]), filter);
    // The sound of a video presentation goes into the video's file.
    if (!keep[i] && filter == ScanClassFilter::Video && partners[i] &&
        classOf(items[*partners[i]]) == ReportClass::Video)
      keep[i] = true;
  }
  return keep;
}

}  // namespace

ScanPartners ScanPartnersFind(CacheFolder& folder, std::span<const ScannedMedia> media,
                              std::span<const CacheStream> streams) {
  ScanPartners partners;
  partners.media.resize(media.size());
  partners.streams.resize(streams.size());
  for (const StreamPair& pair : DashStreamPairs(streams)) {
    partners.streams[pair.video] = pair.audio;
    partners.streams[pair.audio] = pair.video;
  }
  std::vector<PairCandidate> candidates;
  candidates.reserve(media.size());
  for (const ScannedMedia& found : media)
    candidates.push_back(ElementPairCandidate(folder, found.element, PartnerWholeness::Complete));
  for (const TrackPair& pair : TrackPairsFind(candidates)) {
    partners.media[pair.video] = pair.audio;
    partners.media[pair.audio] = pair.video;
  }
  return partners;
}

void ScanTracksKeepWanted(std::vector<ScannedMedia>& media, std::vector<CacheStream>& streams,
                          ScanPartners& partners, ScanClassFilter filter) {
  const std::vector<bool> keepMedia =
      Wanted(media, partners.media, filter, [](const ScannedMedia& found) { return found.mediaClass; });
  const std::vector<bool> keepStreams = Wanted(streams, partners.streams, filter, StreamClassOf);
  KeepItems(media, partners.media, keepMedia);
  KeepItems(streams, partners.streams, keepStreams);
}

std::string ScanPartnerText(bool partnerIsVideo, std::string_view address, std::string_view representation) {
  std::string text = Utf8(partnerIsVideo ? u8"视频：" : u8"音频：");
  text += address;
  if (!representation.empty()) text += Utf8(u8"（") + std::string(representation) + Utf8(u8"）");
  return text;
}
