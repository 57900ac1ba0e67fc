#include "app/media_facts/matroska_facts.h"

#include <cmath>
#include <vector>

#include "app/muxing/ebml_reader.h"

namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::uint32_t kVideo = 0xE0;
constexpr std::uint32_t kPixelWidth = 0xB0;
constexpr std::uint32_t kPixelHeight = 0xBA;

// Calls visit(child, data) for each child wholly inside [at, end) of the bytes.
template <typename Visit>
void ForEachChild(Bytes bytes, std::uint64_t at, std::uint64_t end, Visit visit) {
  while (at < end) {
    const auto child = EbmlElementIn(bytes, at, end);
    if (!child || !child->size) return;
    visit(*child,
          bytes.subspan(static_cast<std::size_t>(child->dataOffset), static_cast<std::size_t>(*child->size)));
    at = child->dataOffset + *child->size;
  }
}

struct EntryFacts {
  std::uint64_t type = 0;  // 1 video, 2 audio
  std::string codec;
  std::uint64_t width = 0, height = 0;
};

EntryFacts EntryOf(Bytes entry) {
  EntryFacts facts;
  ForEachChild(entry, 0, entry.size(), [&](const EbmlElement& child, Bytes data) {
    if (child.id == ebml::kTrackType) facts.type = EbmlUint(data).value_or(0);
    if (child.id == ebml::kCodecId) facts.codec = MatroskaCodecName(EbmlString(data));
    if (child.id == kVideo) {
      ForEachChild(data, 0, data.size(), [&](const EbmlElement& field, Bytes value) {
        if (field.id == kPixelWidth) facts.width = EbmlUint(value).value_or(0);
        if (field.id == kPixelHeight) facts.height = EbmlUint(value).value_or(0);
      });
    }
  });
  return facts;
}

std::optional<std::vector<std::uint8_t>> DataOf(CacheFile& file, const EbmlElement& element) {
  if (!element.size || *element.size > kMediaFactsMaxHeaderBytes) return std::nullopt;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(*element.size));
  if (file.ReadAt(element.dataOffset, bytes.data(), bytes.size()) != bytes.size()) return std::nullopt;
  return bytes;
}

}  // namespace

std::string MatroskaCodecName(std::string_view codecId) {
  struct Name {
    std::string_view prefix, name;
  };
  static constexpr Name kNames[] = {{"V_VP8", "VP8"},
                                    {"V_VP9", "VP9"},
                                    {"V_AV1", "AV1"},
                                    {"V_MPEG4/ISO/AVC", "H.264"},
                                    {"V_MPEGH/ISO/HEVC", "H.265"},
                                    {"V_THEORA", "Theora"},
                                    {"V_MPEG4", "MPEG-4"},
                                    {"A_OPUS", "Opus"},
                                    {"A_VORBIS", "Vorbis"},
                                    {"A_AAC", "AAC"},
                                    {"A_MPEG/L3", "MP3"},
                                    {"A_FLAC", "FLAC"},
                                    {"A_AC3", "AC-3"},
                                    {"A_EAC3", "E-AC-3"},
                                    {"A_PCM", "PCM"}};
  for (const Name& known : kNames) {
    if (codecId.substr(0, known.prefix.size()) == known.prefix) return std::string(known.name);
  }
  std::string name;
  for (const char c : codecId.substr(0, 32)) {
    if (c > ' ' && c <= '~') name += c;
  }
  return name;
}

MediaFacts MatroskaFactsFromMasters(std::span<const std::uint8_t> info,
                                    std::span<const std::uint8_t> tracks) {
  MediaFacts facts;
  std::uint64_t scale = 1000000;  // ns per tick when Info does not say
  std::optional<double> duration;
  ForEachChild(info, 0, info.size(), [&](const EbmlElement& child, Bytes data) {
    if (child.id == ebml::kTimestampScale) scale = EbmlUint(data).value_or(0);
    if (child.id == ebml::kDuration) duration = EbmlFloat(data);
  });
  if (duration && std::isfinite(*duration) && *duration > 0 && scale > 0) {
    const double seconds = *duration * static_cast<double>(scale) / 1e9;
    if (std::isfinite(seconds)) facts.seconds = seconds;
  }
  std::vector<EntryFacts> entries;
  ForEachChild(tracks, 0, tracks.size(), [&](const EbmlElement& child, Bytes data) {
    if (child.id == ebml::kTrackEntry) entries.push_back(EntryOf(data));
  });
  CodecList codecs;
  for (const std::uint64_t type : {1, 2}) {
    for (const EntryFacts& entry : entries) {
      if (entry.type != type) continue;
      codecs.Add(entry.codec);
      if (type == 1 && !facts.width && entry.width > 0 && entry.height > 0 && entry.width <= UINT32_MAX &&
          entry.height <= UINT32_MAX) {
        facts.width = static_cast<std::uint32_t>(entry.width);
        facts.height = static_cast<std::uint32_t>(entry.height);
      }
    }
  }
  facts.codecs = codecs.Text();
  return facts;
}

std::optional<MediaFacts> MatroskaFactsRead(CacheFile& file) {
  const std::uint64_t size = file.Size();
  const auto header = EbmlElementAt(file, 0, size);
  if (!header || header->id != ebml::kHeader || !header->size) return std::nullopt;
  const auto segment = EbmlElementAt(file, header->dataOffset + *header->size, size);
  if (!segment || segment->id != ebml::kSegment) return std::nullopt;
  const std::uint64_t end = segment->DataEnd(size);
  std::vector<std::uint8_t> info, tracks;
  for (std::uint64_t at = segment->dataOffset; at < end;) {
    const auto element = EbmlElementAt(file, at, end);
    if (!element || !element->size || element->id == ebml::kCluster) break;
    if (element->id == ebml::kInfo) info = DataOf(file, *element).value_or(std::vector<std::uint8_t>());
    if (element->id == ebml::kTracks) tracks = DataOf(file, *element).value_or(std::vector<std::uint8_t>());
    at = element->dataOffset + *element->size;
  }
  return MatroskaFactsFromMasters(info, tracks);
}
