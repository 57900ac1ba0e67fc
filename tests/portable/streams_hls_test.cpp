// HLS playlists as servers write them: media playlists with their segments,
// byte ranges and keys, and variant playlists with their renditions.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "app/streams/hls_playlist.h"
#include "app/streams/hls_streams.h"

namespace {

const char* kOwn = "https://cdn.test/v/720p/index.m3u8?token=t1";

HlsPlaylist Parsed(const std::string& text, const char* own = kOwn) {
  const auto playlist = HlsPlaylistParse(text, own);
  EXPECT_TRUE(playlist.has_value()) << text;
  return playlist.value_or(HlsPlaylist{});
}

TEST(HlsPlaylistTest, MediaPlaylistListsResolvedSegmentsInOrder) {
  // A byte order mark, CR LF line ends, blank lines, a comment and a title.
  const std::string text =
      "\xEF\xBB\xBF#EXTM3U\r\n"
      "#EXT-X-VERSION:3\r\n"
      "#EXT-X-TARGETDURATION:10\r\n"
      "#EXT-X-MEDIA-SEQUENCE:41\r\n"
      "\r\n"
      "# a comment that names no segment.ts\r\n"
      "#EXTINF:9.97,first part\r\n"
      "seg-41.ts\r\n"
      "#EXTINF:10,\r\n"
      "/other/seg-42.ts\r\n"
      "#EXT-X-DISCONTINUITY\r\n"
      "#EXTINF:4.5,\r\n"
      "  https://ads.test/ad.ts  \r\n"
      "#EXT-X-ENDLIST\r\n";
  const HlsPlaylist playlist = Parsed(text);
  EXPECT_FALSE(playlist.variant);
  EXPECT_TRUE(playlist.endList);
  EXPECT_FALSE(playlist.encrypted);
  ASSERT_EQ(playlist.segments.size(), 3u);
  EXPECT_EQ(playlist.segments[0].ref.address, "https://cdn.test/v/720p/seg-41.ts");
  EXPECT_EQ(playlist.segments[1].ref.address, "https://cdn.test/other/seg-42.ts");
  EXPECT_EQ(playlist.segments[2].ref.address, "https://ads.test/ad.ts");
  EXPECT_EQ(playlist.segments[0].sequence, 41u);
  EXPECT_EQ(playlist.segments[2].sequence, 43u);
  EXPECT_DOUBLE_EQ(playlist.segments[0].duration, 9.97);
  EXPECT_DOUBLE_EQ(playlist.segments[2].duration, 4.5);
  EXPECT_FALSE(playlist.segments[1].discontinuity);
  EXPECT_TRUE(playlist.segments[2].discontinuity);
  for (const HlsSegment& segment : playlist.segments) EXPECT_FALSE(segment.ref.range.has_value());

  // A live playlist without its end, with bare LF and CR line ends.
  const HlsPlaylist live = Parsed("#EXTM3U\n#EXTINF:6,\na.ts\r#EXTINF:6,\nb.ts");
  EXPECT_FALSE(live.endList);
  ASSERT_EQ(live.segments.size(), 2u);
  EXPECT_EQ(live.segments[1].ref.address, "https://cdn.test/v/720p/b.ts");
  EXPECT_EQ(live.segments[0].sequence, 0u);
}

TEST(HlsPlaylistTest, ByteRangesTakeExplicitAndImplicitOffsets) {
  const std::string text =
      "#EXTM3U\n"
      "#EXT-X-MAP:URI=\"main.mp4\",BYTERANGE=\"720@0\"\n"
      "#EXTINF:4,\n#EXT-X-BYTERANGE:1000@720\nmain.mp4\n"
      "#EXTINF:4,\n#EXT-X-BYTERANGE:2000\nmain.mp4\n"  // follows: 1720
      "#EXTINF:4,\n#EXT-X-BYTERANGE:500\nmain.mp4\n"   // follows: 3720
      "#EXTINF:4,\n#EXT-X-BYTERANGE:300\nother.mp4\n"  // another resource: from 0
      "#EXTINF:4,\n#EXT-X-BYTERANGE: 50 @ 9000 \nother.mp4\n"
      "#EXTINF:4,\nwhole.mp4\n"  // a range applies to one segment only
      "#EXT-X-ENDLIST\n";
  const HlsPlaylist playlist = Parsed(text);
  ASSERT_EQ(playlist.maps.size(), 1u);
  EXPECT_EQ(playlist.maps[0].address, "https://cdn.test/v/720p/main.mp4");
  EXPECT_EQ(playlist.maps[0].range, (ByteRange{0, 720}));
  ASSERT_EQ(playlist.segments.size(), 6u);
  EXPECT_EQ(playlist.segments[0].ref.range, (ByteRange{720, 1000}));
  EXPECT_EQ(playlist.segments[1].ref.range, (ByteRange{1720, 2000}));
  EXPECT_EQ(playlist.segments[2].ref.range, (ByteRange{3720, 500}));
  EXPECT_EQ(playlist.segments[3].ref.range, (ByteRange{0, 300}));
  EXPECT_EQ(playlist.segments[4].ref.range, (ByteRange{9000, 50}));
  EXPECT_FALSE(playlist.segments[5].ref.range.has_value());
  for (const HlsSegment& segment : playlist.segments) EXPECT_EQ(segment.map, 0);

  // A map without BYTERANGE is the whole resource; a malformed range is none.
  const HlsPlaylist loose =
      Parsed("#EXTM3U\n#EXT-X-MAP:URI=\"init.mp4\"\n#EXT-X-BYTERANGE:12x@3\n#EXTINF:2,\ns1.m4s\n");
  ASSERT_EQ(loose.maps.size(), 1u);
  EXPECT_FALSE(loose.maps[0].range.has_value());
  ASSERT_EQ(loose.segments.size(), 1u);
  EXPECT_FALSE(loose.segments[0].ref.range.has_value());
}

TEST(HlsPlaylistTest, MediaStreamKeepsTheSegmentsOfTheFirstInitialisationSection) {
  const std::string text =
      "#EXTM3U\n"
      "#EXT-X-MAP:URI=\"init-a.mp4\"\n"
      "#EXTINF:2,\na1.m4s\n#EXTINF:2,\na2.m4s\n"
      "#EXT-X-DISCONTINUITY\n#EXT-X-MAP:URI=\"init-a.mp4\"\n"  // the same map again: still one stream
      "#EXTINF:2,\na3.m4s\n"
      "#EXT-X-DISCONTINUITY\n#EXT-X-MAP:URI=\"init-b.mp4\"\n"
      "#EXTINF:2,\nb1.m4s\n#EXT-X-ENDLIST\n";
  const HlsPlaylist playlist = Parsed(text);
  EXPECT_EQ(playlist.maps.size(), 2u);
  ASSERT_EQ(playlist.segments.size(), 4u);
  EXPECT_EQ(playlist.segments[3].map, 1);
  const SegmentedStream stream = HlsMediaStream(playlist);
  ASSERT_TRUE(stream.init.has_value());
  EXPECT_EQ(stream.init->address, "https://cdn.test/v/720p/init-a.mp4");
  ASSERT_EQ(stream.segments.size(), 3u);
  EXPECT_EQ(stream.segments[2].address, "https://cdn.test/v/720p/a3.m4s");
  EXPECT_FALSE(stream.protectedContent);
  // Its length is that of its own segments, not of the next section's.
  ASSERT_TRUE(stream.seconds.has_value());
  EXPECT_DOUBLE_EQ(*stream.seconds, 6.0);

  // TS segments: no init.
  const SegmentedStream ts = HlsMediaStream(Parsed("#EXTM3U\n#EXTINF:2,\n1.ts\n#EXTINF:2,\n2.ts\n"));
  EXPECT_FALSE(ts.init.has_value());
  EXPECT_EQ(ts.segments.size(), 2u);
  // A segment without a duration leaves the length unknown rather than short.
  EXPECT_FALSE(HlsMediaStream(Parsed("#EXTM3U\n#EXTINF:2.5,\n1.ts\n#EXTINF:0,\n2.ts\n")).seconds);
}

TEST(HlsPlaylistTest, KeysOtherThanNoneMakeTheStreamEncrypted) {
  struct Case {
    const char* key;
    HlsKeyMethod method;
    bool encrypted;
  };
  const Case cases[] = {
      {"#EXT-X-KEY:METHOD=AES-128,URI=\"https://keys.test/k1\",IV=0x1", HlsKeyMethod::Aes128, true},
      {"#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"skd://k\",KEYFORMAT=\"com.apple.streamingkeydelivery\"",
       HlsKeyMethod::SampleAes, true},
      {"#EXT-X-KEY:URI=\"data:text/plain;base64,AAAA\",METHOD=SAMPLE-AES-CTR", HlsKeyMethod::SampleAes, true},
      {"#EXT-X-KEY:METHOD=SOMETHING-NEW,URI=\"k\"", HlsKeyMethod::Other, true},
      {"#EXT-X-KEY:METHOD=NONE", HlsKeyMethod::None, false},
  };
  for (const Case& c : cases) {
    const HlsPlaylist playlist =
        Parsed(std::string("#EXTM3U\n") + c.key + "\n#EXTINF:6,\ns1.ts\n#EXTINF:6,\ns2.ts\n#EXT-X-ENDLIST\n");
    EXPECT_EQ(playlist.keyMethod, c.method) << c.key;
    EXPECT_EQ(playlist.encrypted, c.encrypted) << c.key;
    ASSERT_EQ(playlist.segments.size(), 2u);
    EXPECT_EQ(playlist.segments[1].encrypted, c.encrypted) << c.key;
    EXPECT_EQ(HlsMediaStream(playlist).protectedContent, c.encrypted) << c.key;
  }
  // A clear lead-in, then keys, then clear again: each segment under its own key.
  const HlsPlaylist mixed = Parsed(
      "#EXTM3U\n#EXTINF:6,\nclear.ts\n#EXT-X-KEY:METHOD=AES-128,URI=\"k\"\n#EXTINF:6,\nsecret.ts\n"
      "#EXT-X-KEY:METHOD=NONE\n#EXTINF:6,\nclear2.ts\n");
  ASSERT_EQ(mixed.segments.size(), 3u);
  EXPECT_FALSE(mixed.segments[0].encrypted);
  EXPECT_TRUE(mixed.segments[1].encrypted);
  EXPECT_FALSE(mixed.segments[2].encrypted);
  EXPECT_TRUE(mixed.encrypted);
  // A variant playlist announcing its key.
  EXPECT_TRUE(Parsed("#EXTM3U\n#EXT-X-SESSION-KEY:METHOD=AES-128,URI=\"k\"\n"
                     "#EXT-X-STREAM-INF:BANDWIDTH=1\nv.m3u8\n")
                  .encrypted);
}

TEST(HlsPlaylistTest, VariantPlaylistNamesItsStreamsAndAudioRenditions) {
  const std::string text =
      "#EXTM3U\n"
      "#EXT-X-INDEPENDENT-SEGMENTS\n"
      "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"aud\",NAME=\"English\",LANGUAGE=\"en\",DEFAULT=YES,URI=\"audio/"
      "en.m3u8\"\n"
      "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"aud\",NAME=\"Chinese, "
      "Mandarin\",LANGUAGE=\"zh\",URI=\"audio/zh.m3u8\"\n"
      "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"muxed\",NAME=\"Main\"\n"  // in the variant itself
      "#EXT-X-MEDIA:TYPE=SUBTITLES,GROUP-ID=\"subs\",NAME=\"en\",URI=\"subs/en.m3u8\"\n"
      "#EXT-X-STREAM-INF:BANDWIDTH=1280000,AVERAGE-BANDWIDTH=1000000,CODECS=\"avc1.4d401f,mp4a.40.2\","
      "RESOLUTION=1280x720,AUDIO=\"aud\"\n"
      "720p/index.m3u8\n"
      "#EXT-X-STREAM-INF:BANDWIDTH=64000,CODECS=\"mp4a.40.5\"\n"
      "\n"
      "https://other.test/audio-only.m3u8\n"
      "#EXT-X-I-FRAME-STREAM-INF:BANDWIDTH=86000,URI=\"iframes.m3u8\"\n"
      "stray.m3u8\n";  // a URI after no STREAM-INF names nothing
  const HlsPlaylist playlist = Parsed(text, "https://cdn.test/v/master.m3u8");
  EXPECT_TRUE(playlist.variant);
  EXPECT_TRUE(playlist.segments.empty());
  ASSERT_EQ(playlist.variants.size(), 2u);
  EXPECT_EQ(playlist.variants[0].address, "https://cdn.test/v/720p/index.m3u8");
  EXPECT_EQ(playlist.variants[0].bandwidth, 1280000u);
  EXPECT_EQ(playlist.variants[0].codecs, "avc1.4d401f,mp4a.40.2");
  EXPECT_EQ(playlist.variants[0].resolution, "1280x720");
  EXPECT_EQ(playlist.variants[0].audioGroup, "aud");
  EXPECT_EQ(playlist.variants[1].address, "https://other.test/audio-only.m3u8");
  EXPECT_EQ(playlist.variants[1].bandwidth, 64000u);
  ASSERT_EQ(playlist.renditions.size(), 2u);
  EXPECT_EQ(playlist.renditions[0].kind, StreamKind::Audio);
  EXPECT_EQ(playlist.renditions[0].address, "https://cdn.test/v/audio/en.m3u8");
  EXPECT_EQ(playlist.renditions[0].language, "en");
  EXPECT_EQ(playlist.renditions[1].name, "Chinese, Mandarin");  // a comma inside quotes
  EXPECT_EQ(playlist.renditions[1].groupId, "aud");
}

TEST(HlsPlaylistTest, OtherTextIsNoPlaylistAndTheCapsHold) {
  EXPECT_FALSE(HlsPlaylistParse("", kOwn).has_value());
  EXPECT_FALSE(HlsPlaylistParse("<html>#EXTM3U</html>", kOwn).has_value());
  EXPECT_FALSE(HlsPlaylistParse("seg.ts\n#EXTM3U\n", kOwn).has_value());
  EXPECT_TRUE(HlsPlaylistParse("\n\n#EXTM3U\n", kOwn).has_value());  // leading blank lines are tolerated

  std::string oversized = "#EXTM3U\n";
  oversized.resize(kHlsMaxTextBytes + 1, '\n');
  EXPECT_FALSE(HlsPlaylistParse(oversized, kOwn).has_value());

  std::string many = "#EXTM3U\n";
  for (std::size_t i = 0; i < kHlsMaxSegments + 5; ++i) many += "#EXTINF:1,\n" + std::to_string(i) + ".ts\n";
  many += "#EXT-X-ENDLIST\n";
  const HlsPlaylist capped = Parsed(many);
  EXPECT_TRUE(capped.truncated);
  EXPECT_TRUE(capped.endList);  // read to the end all the same
  ASSERT_EQ(capped.segments.size(), kHlsMaxSegments);
  EXPECT_EQ(capped.segments.back().ref.address,
            "https://cdn.test/v/720p/" + std::to_string(kHlsMaxSegments - 1) + ".ts");
  EXPECT_TRUE(HlsMediaStream(capped).truncated);
  EXPECT_FALSE(HlsMediaStream(capped).seconds);  // what was kept is not the whole
}

// Playlists "held" by address, counting the look-ups.
struct HeldPlaylists {
  std::map<std::string, std::string> texts;
  int lookups = 0;
  PlaylistTextLookup Lookup() {
    return [this](const std::string& address) -> const std::string* {
      ++lookups;
      const auto found = texts.find(address);
      return found == texts.end() ? nullptr : &found->second;
    };
  }
};

const char* kMedia = "#EXTM3U\n#EXTINF:4,\ns1.ts\n#EXTINF:4,\ns2.ts\n#EXT-X-ENDLIST\n";

TEST(HlsStreamsTest, VariantPlaylistsLeadToOneStreamPerMediaPlaylist) {
  HeldPlaylists held;
  held.texts["https://v.test/master.m3u8"] =
      "#EXTM3U\n"
      "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"a\",NAME=\"en\",URI=\"audio/en.m3u8\"\n"
      "#EXT-X-STREAM-INF:BANDWIDTH=2000000,CODECS=\"avc1.64001f\",RESOLUTION=1280x720,AUDIO=\"a\"\n"
      "720/index.m3u8\n"
      "#EXT-X-STREAM-INF:BANDWIDTH=500000,CODECS=\"avc1.42c01e\",AUDIO=\"a\"\n"
      "360/index.m3u8\n"
      "#EXT-X-STREAM-INF:BANDWIDTH=2000000,CODECS=\"avc1.64001f\"\n"
      "720/index.m3u8\n";  // named twice: one stream
  held.texts["https://v.test/720/index.m3u8"] = kMedia;
  held.texts["https://v.test/audio/en.m3u8"] = "#EXTM3U\n#EXTINF:4,\na1.aac\n";  // live: no end
  const HlsStreams streams = HlsStreamsFollow("https://v.test/master.m3u8", held.Lookup());
  ASSERT_EQ(streams.streams.size(), 2u);
  const HlsFoundStream& video = streams.streams[0];
  EXPECT_EQ(video.playlistAddress, "https://v.test/720/index.m3u8");
  EXPECT_EQ(video.stream.kind, StreamKind::Video);
  EXPECT_EQ(video.bandwidth, 2000000u);
  EXPECT_EQ(video.resolution, "1280x720");
  EXPECT_TRUE(video.endList);
  ASSERT_EQ(video.stream.segments.size(), 2u);
  EXPECT_EQ(video.stream.segments[1].address, "https://v.test/720/s2.ts");
  const HlsFoundStream& audio = streams.streams[1];
  EXPECT_EQ(audio.stream.kind, StreamKind::Audio);
  EXPECT_FALSE(audio.endList);
  EXPECT_EQ(streams.missing, (std::vector<std::string>{"https://v.test/360/index.m3u8"}));
  EXPECT_FALSE(streams.protectedContent);
  EXPECT_FALSE(streams.cut);

  // A media playlist on its own is its one stream, of a kind it does not say.
  const HlsStreams single = HlsStreamsFollow("https://v.test/720/index.m3u8", held.Lookup());
  ASSERT_EQ(single.streams.size(), 1u);
  EXPECT_EQ(single.streams[0].stream.kind, StreamKind::Unknown);
  // Not held at all, or not a playlist.
  held.texts["https://v.test/page"] = "<html></html>";
  EXPECT_EQ(HlsStreamsFollow("https://v.test/none.m3u8", held.Lookup()).missing.size(), 1u);
  EXPECT_EQ(HlsStreamsFollow("https://v.test/page", held.Lookup()).missing.size(), 1u);
}

TEST(HlsStreamsTest, LoopsChainsAndFloodsOfPlaylistsAreCut) {
  HeldPlaylists held;
  // Two variant playlists naming each other, and one naming itself.
  held.texts["https://v.test/a.m3u8"] = "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\nb.m3u8\n";
  held.texts["https://v.test/b.m3u8"] =
      "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\na.m3u8\n"
      "#EXT-X-STREAM-INF:BANDWIDTH=1\nb.m3u8\n";
  const HlsStreams loop = HlsStreamsFollow("https://v.test/a.m3u8", held.Lookup());
  EXPECT_TRUE(loop.streams.empty());
  EXPECT_EQ(held.lookups, 2);  // each read once

  // A chain of variant playlists deeper than the cap never reaches its media playlist.
  for (std::size_t i = 0; i <= kHlsMaxNesting + 1; ++i) {
    held.texts["https://v.test/chain" + std::to_string(i) + ".m3u8"] =
        "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\nchain" + std::to_string(i + 1) + ".m3u8\n";
  }
  held.texts["https://v.test/chain" + std::to_string(kHlsMaxNesting + 2) + ".m3u8"] = kMedia;
  const HlsStreams deep = HlsStreamsFollow("https://v.test/chain0.m3u8", held.Lookup());
  EXPECT_TRUE(deep.cut);
  EXPECT_TRUE(deep.streams.empty());
  // Within the cap it does.
  const HlsStreams shallow = HlsStreamsFollow("https://v.test/chain3.m3u8", held.Lookup());
  EXPECT_FALSE(shallow.cut);
  EXPECT_EQ(shallow.streams.size(), 1u);

  // A variant playlist naming a thousand media playlists: only so many are read.
  std::string flood = "#EXTM3U\n";
  for (int i = 0; i < 1000; ++i) {
    flood += "#EXT-X-STREAM-INF:BANDWIDTH=1\nm" + std::to_string(i) + ".m3u8\n";
    held.texts["https://v.test/m" + std::to_string(i) + ".m3u8"] = kMedia;
  }
  held.texts["https://v.test/flood.m3u8"] = flood;
  held.lookups = 0;
  const HlsStreams flooded = HlsStreamsFollow("https://v.test/flood.m3u8", held.Lookup());
  EXPECT_TRUE(flooded.cut);
  EXPECT_EQ(flooded.streams.size(), kHlsMaxPlaylists - 1);
  EXPECT_EQ(held.lookups, static_cast<int>(kHlsMaxPlaylists));

  // Encryption anywhere makes the result say so.
  held.texts["https://v.test/k.m3u8"] = "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\nk1.m3u8\n";
  held.texts["https://v.test/k1.m3u8"] = "#EXTM3U\n#EXT-X-KEY:METHOD=AES-128,URI=\"k\"\n#EXTINF:4,\ns.ts\n";
  const HlsStreams locked = HlsStreamsFollow("https://v.test/k.m3u8", held.Lookup());
  EXPECT_TRUE(locked.protectedContent);
  ASSERT_EQ(locked.streams.size(), 1u);
  EXPECT_TRUE(locked.streams[0].stream.protectedContent);
}

}  // namespace
