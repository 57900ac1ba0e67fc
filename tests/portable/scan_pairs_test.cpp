// Which scanned tracks the copy joins and the report names: the site a
// cached element was fetched under, a manifest's streams, the class filter
// keeping a video's sound with it, and the partner column's text.
#include <gtest/gtest.h>

#include "app/browser_caches/cache_folder_memory.h"
#include "app/command_line/scan_pairs.h"

namespace {

std::string Utf8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

CacheElement Keyed(CacheStore store, std::string key) {
  CacheElement element;
  element.store = store;
  element.key = std::move(key);
  return element;
}

ScannedMedia Media(ReportClass mediaClass, std::string address) {
  ScannedMedia media;
  media.mediaClass = mediaClass;
  media.element.webAddress = std::move(address);
  return media;
}

CacheStream DashStream(std::string manifest, StreamKind kind, std::uint64_t present, std::string id) {
  CacheStream stream;
  stream.origin = CacheStreamOrigin::Dash;
  stream.address = std::move(manifest);
  stream.kind = kind;
  stream.plan.present = present;
  stream.representation = std::move(id);
  return stream;
}

TEST(ScanPairs, TopFrameSiteOfEachStoresKey) {
  EXPECT_EQ(ElementTopFrameSite(Keyed(CacheStore::ChromiumSimple, "1/0/_dk_https://top.test https://cdn.test "
                                                                  "https://cdn.test/v.mp4")),
            "https://top.test");
  EXPECT_EQ(ElementTopFrameSite(Keyed(CacheStore::ChromiumBlockFiles, "1/0/_dk_s_https://a.test https://b.test "
                                                                      "https://b.test/a.mp4")),
            "https://a.test");
  // A cache not split by site tells none: such tracks never pair by the heuristic.
  EXPECT_EQ(ElementTopFrameSite(Keyed(CacheStore::ChromiumSimple, "https://cdn.test/v.mp4")), "");
  EXPECT_EQ(ElementTopFrameSite(Keyed(CacheStore::FirefoxCache2,
                                      "O^partitionKey=%28https%2Ctop.test%29,a,:https://cdn.test/v.mp4")),
            "%28https%2Ctop.test%29");
  EXPECT_EQ(ElementTopFrameSite(Keyed(CacheStore::FirefoxCache2, "O^userContextId=1&partitionKey=%28https%2Cb.test%29,"
                                                                 ":https://cdn.test/v.mp4")),
            "%28https%2Cb.test%29");
  EXPECT_EQ(ElementTopFrameSite(Keyed(CacheStore::FirefoxCache2, "a,:https://cdn.test/v.mp4")), "");
  // A partition key after the attributes is part of the address, not of the key's attributes.
  EXPECT_EQ(ElementTopFrameSite(Keyed(CacheStore::FirefoxCache2, "O^a,:https://x.test/?partitionKey=1")), "");
}

TEST(ScanPairs, ManifestStreamsPairAndElementsWithoutSitesDoNot) {
  MemoryCacheFolder folder;
  const std::vector<CacheStream> streams = {
      DashStream("https://a.test/m.mpd", StreamKind::Audio, 10, "a1"),
      DashStream("https://a.test/m.mpd", StreamKind::Video, 4, "v-low"),
      DashStream("https://a.test/m.mpd", StreamKind::Video, 10, "v-high"),
      DashStream("https://b.test/n.mpd", StreamKind::Video, 10, "v"),
  };
  // Complete elements, but from a cache that names no site: never read, never paired.
  std::vector<ScannedMedia> media = {Media(ReportClass::Video, "https://a.test/v.mp4"),
                                     Media(ReportClass::Audio, "https://a.test/a.mp4")};
  const ScanPartners partners = ScanPartnersFind(folder, media, streams);
  ASSERT_EQ(partners.streams.size(), 4u);
  EXPECT_EQ(partners.streams[0], 2u);
  EXPECT_EQ(partners.streams[1], std::nullopt);  // the lower quality the player left
  EXPECT_EQ(partners.streams[2], 0u);
  EXPECT_EQ(partners.streams[3], std::nullopt);  // another manifest, no sound
  ASSERT_EQ(partners.media.size(), 2u);
  EXPECT_EQ(partners.media[0], std::nullopt);
  EXPECT_EQ(partners.media[1], std::nullopt);
}

TEST(ScanPairs, ClassFilterKeepsAVideosSoundAndRenumbersPartners) {
  const auto make = [] {
    std::vector<ScannedMedia> media = {Media(ReportClass::Audio, "lone.m4a"), Media(ReportClass::Video, "v.mp4"),
                                       Media(ReportClass::Audio, "a.m4a")};
    std::vector<CacheStream> streams = {DashStream("m.mpd", StreamKind::Video, 1, "v"),
                                        DashStream("m.mpd", StreamKind::Audio, 1, "a"),
                                        DashStream("n.mpd", StreamKind::Audio, 1, "b")};
    ScanPartners partners;
    partners.media = {std::nullopt, 2u, 1u};
    partners.streams = {1u, 0u, std::nullopt};
    return std::tuple{media, streams, partners};
  };

  auto [media, streams, partners] = make();
  ScanTracksKeepWanted(media, streams, partners, ScanClassFilter::Video);
  ASSERT_EQ(media.size(), 2u);
  EXPECT_EQ(media[0].element.webAddress, "v.mp4");
  EXPECT_EQ(media[1].element.webAddress, "a.m4a");
  EXPECT_EQ(partners.media, (std::vector<std::optional<std::size_t>>{1u, 0u}));
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[1].representation, "a");
  EXPECT_EQ(partners.streams, (std::vector<std::optional<std::size_t>>{1u, 0u}));

  // Sound only: the videos go, and with them every partner.
  auto [audioMedia, audioStreams, audioPartners] = make();
  ScanTracksKeepWanted(audioMedia, audioStreams, audioPartners, ScanClassFilter::Audio);
  ASSERT_EQ(audioMedia.size(), 2u);
  EXPECT_EQ(audioMedia[1].element.webAddress, "a.m4a");
  EXPECT_EQ(audioPartners.media, (std::vector<std::optional<std::size_t>>{std::nullopt, std::nullopt}));
  ASSERT_EQ(audioStreams.size(), 2u);
  EXPECT_EQ(audioPartners.streams, (std::vector<std::optional<std::size_t>>{std::nullopt, std::nullopt}));

  auto [allMedia, allStreams, allPartners] = make();
  ScanTracksKeepWanted(allMedia, allStreams, allPartners, ScanClassFilter::All);
  EXPECT_EQ(allMedia.size(), 3u);
  EXPECT_EQ(allPartners.media, (std::vector<std::optional<std::size_t>>{std::nullopt, 2u, 1u}));
}

TEST(ScanPairs, PartnerTextNamesKindAddressAndRepresentation) {
  EXPECT_EQ(ScanPartnerText(false, "https://a.test/m.mpd", "a1"), Utf8(u8"音频：https://a.test/m.mpd（a1）"));
  EXPECT_EQ(ScanPartnerText(true, "https://a.test/v.mp4", ""), Utf8(u8"视频：https://a.test/v.mp4"));
}

}  // namespace
