#include "app/streams/stream_kind.h"

#include "app/streams/playlist_text.h"

StreamKind StreamKindOfCodecs(std::string_view codecs) {
  static constexpr std::string_view kVideo[] = {"avc1", "avc3", "hvc1", "hev1", "vp09", "vp8",
                                                "vp9",  "av01", "dvh1", "dvhe", "mp4v", "theora"};
  static constexpr std::string_view kAudio[] = {"mp4a", "ac-3", "ec-3", "opus",  "flac",
                                                "alac", "ac-4", "mp3",  "vorbis"};
  static constexpr std::string_view kText[] = {"stpp", "wvtt", "tx3g", "c608"};
  bool audio = false;
  bool text = false;
  while (!codecs.empty()) {
    const std::size_t comma = codecs.find(',');
    const std::string_view codec = PlaylistTrimmed(codecs.substr(0, comma));
    codecs = comma == std::string_view::npos ? std::string_view() : codecs.substr(comma + 1);
    const std::string_view family = codec.substr(0, codec.find('.'));
    for (std::string_view video : kVideo) {
      if (family == video) return StreamKind::Video;
    }
    for (std::string_view sound : kAudio) audio = audio || family == sound;
    for (std::string_view subtitle : kText) text = text || family == subtitle;
  }
  if (audio) return StreamKind::Audio;
  return text ? StreamKind::Other : StreamKind::Unknown;
}

StreamKind StreamKindOfType(std::string_view type) {
  const std::string_view main = PlaylistTrimmed(type.substr(0, type.find('/')));
  if (main == "video") return StreamKind::Video;
  if (main == "audio") return StreamKind::Audio;
  if (main == "text" || main == "image") return StreamKind::Other;
  if (type == "application/ttml+xml") return StreamKind::Other;
  return StreamKind::Unknown;
}
