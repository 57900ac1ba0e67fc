// Which tracks are offered as one presentation: by a manifest, or without
// one by the heuristic that offers a pair only when each is the other's one
// fitting partner; and a stream's pieces read as one file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/browser_caches/cache_folder_memory.h"
#include "app/muxing/cache_track_file.h"
#include "app/muxing/presentation_pairs.h"
#include "app/muxing/track_pairing.h"

namespace {

constexpr std::uint64_t kSecond = 10'000'000;

PairCandidate Track(TrackKind kind, double seconds, std::uint64_t at = 1000 * kSecond,
                    std::string site = "https://video.test") {
  PairCandidate candidate;
  candidate.headline.container = TrackContainer::Mp4;
  candidate.headline.kind = kind;
  candidate.headline.seconds = seconds;
  candidate.topFrameSite = std::move(site);
  candidate.cachedAt = at;
  candidate.complete = true;
  return candidate;
}

TEST(TrackPairing, OnlyAPairWhereEachIsTheOthersOneFit) {
  const std::vector<PairCandidate> one = {Track(TrackKind::Audio, 100.5), Track(TrackKind::Video, 100)};
  const auto pairs = TrackPairsFind(one);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].video, 1u);
  EXPECT_EQ(pairs[0].audio, 0u);

  // Two sounds fit one picture: a guess, so nothing pairs.
  const std::vector<PairCandidate> two = {Track(TrackKind::Video, 100), Track(TrackKind::Audio, 100),
                                          Track(TrackKind::Audio, 99.5)};
  EXPECT_TRUE(TrackPairsFind(two).empty());

  // Two presentations of different lengths pair each with its own.
  const std::vector<PairCandidate> both = {Track(TrackKind::Video, 100), Track(TrackKind::Video, 300),
                                           Track(TrackKind::Audio, 300.2), Track(TrackKind::Audio, 100.1)};
  const auto pairsOfBoth = TrackPairsFind(both);
  ASSERT_EQ(pairsOfBoth.size(), 2u);
  EXPECT_EQ(pairsOfBoth[0].audio, 3u);
  EXPECT_EQ(pairsOfBoth[1].audio, 2u);
}

TEST(TrackPairing, EachConditionKeepsTracksApart) {
  const PairCandidate video = Track(TrackKind::Video, 100);
  EXPECT_TRUE(TracksFit(video, Track(TrackKind::Audio, 101)));  // 1 % of the longer
  EXPECT_FALSE(TracksFit(video, Track(TrackKind::Audio, 101.5)));
  EXPECT_FALSE(TracksFit(video, Track(TrackKind::Audio, 100, 1000 * kSecond, "https://other.test")));
  EXPECT_FALSE(TracksFit(video, Track(TrackKind::Audio, 100, 1000 * kSecond, "")));
  EXPECT_TRUE(TracksFit(video, Track(TrackKind::Audio, 100, 1059 * kSecond)));
  EXPECT_FALSE(TracksFit(video, Track(TrackKind::Audio, 100, 1061 * kSecond)));
  EXPECT_FALSE(TracksFit(video, Track(TrackKind::Video, 100)));
  PairCandidate partial = Track(TrackKind::Audio, 100);
  partial.complete = false;
  EXPECT_FALSE(TracksFit(video, partial));
  PairCandidate webm = Track(TrackKind::Audio, 100);
  webm.headline.container = TrackContainer::Webm;
  EXPECT_FALSE(TracksFit(video, webm));
  PairCandidate unknownLength = Track(TrackKind::Audio, 100);
  unknownLength.headline.seconds.reset();
  EXPECT_FALSE(TracksFit(video, unknownLength));
}

CacheStream DashStream(std::string manifest, StreamKind kind, std::size_t present,
                       bool protectedContent = false) {
  CacheStream stream;
  stream.origin = CacheStreamOrigin::Dash;
  stream.address = std::move(manifest);
  stream.kind = kind;
  stream.plan.present = present;
  stream.protectedContent = protectedContent;
  return stream;
}

TEST(PresentationPairs, DashTakesTheFullestVideoAndSoundOfEachManifest) {
  std::vector<CacheStream> streams = {
      DashStream("https://a.test/m.mpd", StreamKind::Video, 3),
      DashStream("https://a.test/m.mpd", StreamKind::Video, 9),
      DashStream("https://b.test/m.mpd", StreamKind::Video, 5),
      DashStream("https://a.test/m.mpd", StreamKind::Audio, 9),
      DashStream("https://b.test/m.mpd", StreamKind::Audio, 5, true),
  };
  const auto pairs = DashStreamPairs(streams);
  ASSERT_EQ(pairs.size(), 1u);  // b's sound is protected
  EXPECT_EQ(pairs[0].video, 1u);
  EXPECT_EQ(pairs[0].audio, 3u);
}

TEST(PresentationPairs, HlsVariantWithItsAudioGroup) {
  HlsPlaylist master;
  master.variant = true;
  master.variants = {{"https://h.test/v720.m3u8", 0, "", "", "aud"},
                     {"https://h.test/v360.m3u8", 0, "", "", ""}};
  master.renditions = {{StreamKind::Audio, "https://h.test/other.m3u8", "other", "", ""},
                       {StreamKind::Audio, "https://h.test/en.m3u8", "aud", "English", "en"}};
  const auto presentations = HlsPresentations(master);
  ASSERT_EQ(presentations.size(), 1u);
  EXPECT_EQ(presentations[0].video, "https://h.test/v720.m3u8");
  EXPECT_EQ(presentations[0].audio, "https://h.test/en.m3u8");
}

TEST(CacheStreamFile, ReadsAcrossPiecesAndStopsAtAShortOne) {
  MemoryCacheFolder folder;
  folder.Put("f_init", {'I', 'N', 'I', 'T'});
  folder.Put("f_seg", {'x', 'S', 'E', 'G', '1', 'y'});
  CacheStream stream;
  for (const char* name : {"f_init", "f_seg"}) {
    CacheElement element;
    element.store = CacheStore::ChromiumBlockFiles;
    element.pieces.push_back({name, 0, 0, name == std::string("f_init") ? 4u : 6u});
    element.finished = true;
    stream.sources.push_back(element);
  }
  stream.pieces = {{0, 0, 4, true}, {1, 1, 4, false}};  // the segment's bytes 1..4 ("SEG1")
  CacheStreamFile file(folder, stream);
  EXPECT_EQ(file.Size(), 8u);
  std::string text(8, '\0');
  ASSERT_EQ(file.ReadAt(0, text.data(), 8), 8u);
  EXPECT_EQ(text, "INITSEG1");
  std::string middle(4, '\0');
  ASSERT_EQ(file.ReadAt(2, middle.data(), 4), 4u);
  EXPECT_EQ(middle, "ITSE");
  EXPECT_EQ(file.ReadAt(8, middle.data(), 4), 0u);

  // The browser shortened the segment meanwhile: the read says so.
  folder.Put("f_seg", {'x', 'S'});
  CacheStreamFile shortened(folder, stream);
  EXPECT_EQ(shortened.ReadAt(0, text.data(), 8), 5u);
}

}  // namespace
