// HLS playlists: whatever the text, the caps hold, the segments follow one
// another and every address is resolved and without a fragment; following a
// variant playlist that names itself ends within the caps.
#include "app/streams/hls_playlist.h"
#include "app/streams/hls_streams.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

constexpr std::string_view kOwnAddresses[] = {"https://cdn.test/v/720p/index.m3u8?t=1", "http://h",
                                              "relative/list.m3u8", ""};

void RangeCheck(const std::optional<ByteRange>& range) {
  if (!range) return;
  FUZZ_CHECK(range->length.has_value());
  FUZZ_CHECK(*range->length <= UINT64_MAX - range->offset);
}

}  // namespace

void FuzzHlsPlaylist(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::string_view own = kOwnAddresses[input.Byte() % std::size(kOwnAddresses)];
  const std::string_view text = AsChars(input.Rest());
  const std::optional<HlsPlaylist> playlist = HlsPlaylistParse(text, own);
  if (!playlist) return;
  FUZZ_CHECK(playlist->segments.size() <= kHlsMaxSegments);
  FUZZ_CHECK(playlist->variants.size() <= kHlsMaxVariants && playlist->renditions.size() <= kHlsMaxVariants);
  if (playlist->variant) FUZZ_CHECK(playlist->segments.empty());
  bool anyEncrypted = false;
  for (std::size_t i = 0; i < playlist->segments.size(); ++i) {
    const HlsSegment& segment = playlist->segments[i];
    FUZZ_CHECK(segment.sequence == playlist->mediaSequence + i);
    FUZZ_CHECK(segment.map >= -1 && segment.map < static_cast<int>(playlist->maps.size()));
    FUZZ_CHECK(segment.ref.address.Text().find('#') == std::string::npos);
    RangeCheck(segment.ref.range);
    anyEncrypted = anyEncrypted || segment.encrypted;
  }
  if (anyEncrypted) FUZZ_CHECK(playlist->encrypted && playlist->keyMethod != HlsKeyMethod::None);
  for (const SegmentRef& map : playlist->maps) RangeCheck(map.range);
  for (const HlsVariant& variant : playlist->variants)
    FUZZ_CHECK(variant.address.find('#') == std::string::npos);
  const SegmentedStream stream = HlsMediaStream(*playlist);
  FUZZ_CHECK(stream.segments.size() <= playlist->segments.size());
  FUZZ_CHECK(stream.init.has_value() == (!playlist->segments.empty() && playlist->segments.front().map >= 0));
  for (std::size_t i = 0; i < stream.segments.size(); ++i)
    FUZZ_CHECK(stream.segments[i] == playlist->segments[i].ref);
  FUZZ_CHECK(stream.protectedContent == playlist->encrypted);

  // The playlist and the first playlist it names hold this same text (a
  // loop), every other one a small media playlist.
  const std::string firstNamed =
      playlist->variants.empty() ? std::string() : playlist->variants.front().address;
  const std::string whole(text);
  const std::string small = "#EXTM3U\n#EXTINF:1,\ns.ts\n";
  const PlaylistTextLookup lookup = [&](const std::string& address) -> const std::string* {
    return address == own || address == firstNamed ? &whole : &small;
  };
  const HlsStreams streams = HlsStreamsFollow(std::string(own), lookup);
  FUZZ_CHECK(streams.streams.size() + streams.missing.size() <= kHlsMaxPlaylists);
  if (!playlist->variant) FUZZ_CHECK(streams.streams.size() == 1);
}
