#include "app/streams/cache_streams.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "app/browser_caches/body_text.h"
#include "app/streams/cache_segment_index.h"
#include "app/streams/dash_manifest.h"
#include "app/streams/hls_playlist.h"
#include "app/streams/hls_streams.h"
#include "app/streams/segment_content.h"
#include "app/streams/segment_groups.h"
#include "runtime/core/text_encoding.h"

namespace {

constexpr std::uint64_t kPlaylistSniffBytes = 4096;
// As many TS packets as the content check reads.
constexpr std::uint64_t kSegmentSniffBytes = kTransportPacketSize * 64;
constexpr std::size_t kWriteBlock = 256 * 1024;

// The last path segment of an address, without query and fragment.
std::string_view LastPathSegment(std::string_view address) {
  address = address.substr(0, address.find_first_of("?#"));
  const std::size_t slash = address.rfind('/');
  return slash == std::string_view::npos ? address : address.substr(slash + 1);
}

// The address up to and with the last "/" of its path: the folder of a file.
std::string_view AddressFolder(std::string_view address) {
  address = address.substr(0, address.find_first_of("?#"));
  const std::size_t slash = address.rfind('/');
  return slash == std::string_view::npos ? std::string_view() : address.substr(0, slash + 1);
}

// The last path segment without its extension (whose digits, as in ".mp4",
// say nothing of the stream).
std::string_view NameStem(std::string_view address) {
  const std::string_view name = LastPathSegment(address);
  return name.substr(0, name.rfind('.'));
}

std::string ExtensionOf(std::string_view address) {
  const std::string_view name = LastPathSegment(address);
  const std::size_t dot = name.rfind('.');
  std::string extension;
  if (dot == std::string_view::npos) return extension;
  for (const char c : name.substr(dot + 1)) extension += AsciiLower(c);
  return extension;
}

// Types servers give playlists besides their own: looked into by their bytes.
bool TypeMayHidePlaylist(std::string_view type) {
  for (const std::string_view generic :
       {"", "text/plain", "application/xml", "text/xml", "application/octet-stream", "binary/octet-stream"})
    if (type == generic) return true;
  return false;
}

enum class PlaylistFormat { None, Hls, Dash };

PlaylistFormat FormatOfText(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return PlaylistFormat::None;
  text.remove_prefix(start);
  if (text.substr(0, 7) == "#EXTM3U") return PlaylistFormat::Hls;
  if (text.front() == '<' && text.find("MPD") != std::string_view::npos) return PlaylistFormat::Dash;
  return PlaylistFormat::None;
}

struct Playlist {
  std::size_t element = 0;
  PlaylistFormat format = PlaylistFormat::None;
  std::string text;
};

// The digit runs of a text, as texts.
std::vector<std::string_view> DigitRuns(std::string_view text) {
  std::vector<std::string_view> runs;
  for (std::size_t at = 0; at < text.size();) {
    if (text[at] < '0' || text[at] > '9') {
      ++at;
      continue;
    }
    const std::size_t end = std::min(text.find_first_not_of("0123456789", at), text.size());
    runs.push_back(text.substr(at, end - at));
    at = end;
  }
  return runs;
}

class Finder {
 public:
  Finder(CacheFolder& folder, std::span<const CacheElement> elements,
         std::span<const MediaSignature> signatures, std::uint64_t budgetBytes)
      : folder_(folder), elements_(elements), signatures_(signatures), index_(elements), budget_(budgetBytes) {
    out_.partOfStream.assign(elements.size(), false);
  }

  CacheStreams Run() {
    PlaylistsRead();
    HlsFind();
    DashFind();
    GroupsFind();
    out_.budgetReached = budget_.Reached();
    return std::move(out_);
  }

 private:
  MediaSignature SignatureOf(std::size_t element) const {
    return element < signatures_.size() ? signatures_[element] : MediaSignature{};
  }

  // A finished playlist's text: by its type, its extension or its first bytes.
  void PlaylistsRead() {
    std::unordered_set<std::string> seen;
    for (std::size_t i = 0; i < elements_.size(); ++i) {
      const CacheElement& element = elements_[i];
      const ContentCoding coding = ContentCodingOf(element.contentEncoding);
      if (element.webAddress.empty() || coding == ContentCoding::Unsupported || !IsComplete(element)) continue;
      const std::string extension = ExtensionOf(element.webAddress);
      const MediaNature nature = SignatureOf(i).nature;
      const bool named =
          nature == MediaNature::Playlist || extension == "m3u8" || extension == "m3u" || extension == "mpd";
      // What the bytes already called media is none; a generic type is looked into.
      const bool media =
          nature == MediaNature::Video || nature == MediaNature::Audio || nature == MediaNature::Segment;
      if (!named && (media || !TypeMayHidePlaylist(element.contentType))) continue;
      const std::uint64_t length = ContiguousLength(element);
      if (length > std::max<std::uint64_t>(kDashMaxTextBytes, kHlsMaxTextBytes))
        continue;  // no playlist either way
      const PlaylistFormat format = FormatOfText(CacheBodyText(folder_, element, kPlaylistSniffBytes).bytes);
      if (format == PlaylistFormat::None) continue;
      // A compressed body may claim to expand past any playlist: what the
      // budget holds is read, a playlist cut short.
      const std::size_t budget = coding == ContentCoding::Identity ? static_cast<std::size_t>(length) : kBodyTextBudget;
      DecodedBody body = CacheBodyText(folder_, element, budget);
      if (body.end == DecodeEnd::Corrupt) continue;  // bytes that are not what they say
      out_.partOfStream[i] = true;
      if (!seen.insert(element.webAddress).second) continue;  // the same playlist kept twice
      // The scan's budget counts what is kept: the decoded text.
      if (!budget_.Spend(body.bytes.size())) {
        playlistsUnread_ = true;  // its segments may still form groups
        continue;
      }
      playlists_.push_back({i, format, std::move(body.bytes)});
      byAddress_[element.webAddress] = playlists_.size() - 1;
    }
  }

  void HlsFind() {
    const PlaylistTextLookup lookup = [&](const std::string& address) -> const std::string* {
      const auto found = byAddress_.find(address);
      if (found == byAddress_.end() || playlists_[found->second].format != PlaylistFormat::Hls)
        return nullptr;
      return &playlists_[found->second].text;
    };
    const auto follow = [&](const std::string& address) {
      HlsStreams streams = HlsStreamsFollow(address, lookup, budget_.Left());
      budget_.Spend(streams.heldBytes);
      return streams;
    };
    std::vector<const Playlist*> media;
    std::vector<HlsFoundStream> found;
    std::unordered_set<std::string> reached;
    // Variant playlists first: what they say of a stream's kind counts.
    for (const Playlist& playlist : playlists_) {
      if (playlist.format != PlaylistFormat::Hls) continue;
      const CacheElement& element = elements_[playlist.element];
      // Read only to tell a variant playlist: dropped at once, not spent.
      const std::optional<HlsPlaylist> parsed = HlsPlaylistParse(playlist.text, element.webAddress, std::min(budget_.Left(), kStreamPlaylistBudgetBytes));
      if (!parsed) continue;
      if (!parsed->variant) {
        media.push_back(&playlist);
        continue;
      }
      for (HlsFoundStream& stream : follow(element.webAddress).streams)
        if (reached.insert(stream.playlistAddress).second) found.push_back(std::move(stream));
    }
    for (const Playlist* playlist : media) {
      const std::string& address = elements_[playlist->element].webAddress;
      if (reached.count(address)) continue;
      for (HlsFoundStream& stream : follow(address).streams)
        if (reached.insert(stream.playlistAddress).second) found.push_back(std::move(stream));
    }
    for (const HlsFoundStream& stream : found) {
      const auto playlist = byAddress_.find(stream.playlistAddress);
      const std::size_t element = playlists_[playlist->second].element;
      Report(CacheStreamOrigin::Hls, stream.playlistAddress, {}, stream.stream,
             elements_[element].lastWritten);
    }
  }

  void DashFind() {
    for (const Playlist& playlist : playlists_) {
      if (playlist.format != PlaylistFormat::Dash) continue;
      const CacheElement& element = elements_[playlist.element];
      const std::optional<DashManifest> manifest =
          DashManifestParse(playlist.text, element.webAddress, std::min(budget_.Left(), kStreamPlaylistBudgetBytes));
      if (!manifest) continue;
      budget_.Spend(manifest->heldBytes);
      for (const DashStream& stream : manifest->streams) {
        if (stream.stream.kind == StreamKind::Other) continue;  // subtitles, thumbnails
        Report(CacheStreamOrigin::Dash, element.webAddress, stream.representationId, stream.stream,
               element.lastWritten);
      }
    }
  }

  // Segments no playlist names: by address pattern and number, one stream a
  // run of numbers.  Fragments take the one init segment of their folder.
  void GroupsFind() {
    std::vector<std::string> addresses;
    std::vector<std::size_t> firstElement;
    std::vector<std::size_t> inits;
    std::unordered_set<std::string> seen;
    for (std::size_t i = 0; i < elements_.size(); ++i) {
      const CacheElement& element = elements_[i];
      const MediaSignature signature = SignatureOf(i);
      if (signature.nature != MediaNature::Segment || element.webAddress.empty() || out_.partOfStream[i] ||
          covered_.count(element.webAddress))
        continue;
      if (MediaSignatureIsStreamInit(signature)) {
        inits.push_back(i);
      } else if (seen.insert(element.webAddress).second) {
        addresses.push_back(element.webAddress);
        firstElement.push_back(i);
      }
    }
    for (const SegmentGroup& group : SegmentGroupsForm(addresses)) {
      SegmentedStream stream;
      for (const std::size_t member : group.members) stream.segments.push_back({addresses[member], {}});
      // A playlist left unread for the budget may have named these segments.
      stream.truncated = playlistsUnread_;
      const std::size_t first = firstElement[group.members.front()];
      if (SignatureOf(first).extension != "ts") {
        // Without its own init segment a fragment does not play: an address
        // that names no element stands for the missing one.
        const std::optional<std::size_t> init = InitOfGroup(group.pattern, inits);
        stream.init = SegmentRef{init ? elements_[*init].webAddress : std::string(), {}};
      }
      Report(CacheStreamOrigin::SegmentGroup, addresses[group.members.front()], {}, stream, 0);
    }
  }

  // The init segment in the folder of the group's pattern: the only one
  // there, or the only one whose numbers all stand in the pattern's name
  // ("init-1.m4s" for "chunk-1-{#}.m4s"), extensions left aside.
  std::optional<std::size_t> InitOfGroup(const std::string& pattern, const std::vector<std::size_t>& inits) {
    const std::string_view folder = AddressFolder(pattern);
    std::vector<std::size_t> same;
    for (const std::size_t init : inits)
      if (AddressFolder(elements_[init].webAddress) == folder) same.push_back(init);
    if (same.size() == 1) return same.front();
    // The pattern's own number mark ("{#}") would read as a fragment.
    std::string plain = pattern;
    if (const std::size_t mark = plain.find("{#}"); mark != std::string::npos) plain.erase(mark, 3);
    const std::vector<std::string_view> patternRuns = DigitRuns(NameStem(plain));
    std::optional<std::size_t> chosen;
    for (const std::size_t init : same) {
      const std::vector<std::string_view> runs = DigitRuns(NameStem(elements_[init].webAddress));
      const bool fits = !runs.empty() && std::all_of(runs.begin(), runs.end(), [&](std::string_view run) {
        return std::find(patternRuns.begin(), patternRuns.end(), run) != patternRuns.end();
      });
      if (!fits) continue;
      if (chosen) return std::nullopt;  // two fit: neither is sure
      chosen = init;
    }
    return chosen;
  }

  // The container of the joined file and the class, from the init segment
  // (fragmented MP4) or the first segment (TS); nothing when the segments
  // are neither (and the stream is not encrypted, whose bytes say nothing).
  bool ContentDecide(const SegmentedStream& stream, CacheStream& out) {
    SegmentContent content;
    std::optional<SegmentLocation> sample;
    if (stream.init) {
      sample = index_.Locate(*stream.init);
      if (sample)
        content = SegmentContentOf(BodyBytes(folder_, elements_[sample->element], sample->offset,
                                             std::min(sample->length, kCacheStreamInitReadMax)));
    }
    if (!sample) {
      for (const SegmentRef& segment : stream.segments) {
        sample = index_.Locate(segment);
        if (sample) break;
      }
      if (sample)
        content = SegmentContentOf(BodyBytes(folder_, elements_[sample->element], sample->offset,
                                             std::min(sample->length, kSegmentSniffBytes)));
    }
    std::string_view extension = StreamJoinedExtension(content, stream.kind);
    const bool fragmentsOnly = content.container == SegmentContainer::Fmp4Fragment && stream.init;
    if (extension.empty() && (fragmentsOnly || (stream.protectedContent && stream.init)))
      extension = stream.kind == StreamKind::Audio ? "m4a" : "mp4";
    else if (extension.empty() && stream.protectedContent)
      extension = "ts";
    if (extension.empty()) return false;
    out.extension = std::string(extension);
    if (extension == "ts") {
      const bool audioType = sample && elements_[sample->element].contentType.substr(0, 6) == "audio/";
      out.kind = stream.kind == StreamKind::Audio || audioType ? StreamKind::Audio : StreamKind::Video;
      out.mediaType = "video/mp2t";
    } else {
      out.kind = extension == "m4a" ? StreamKind::Audio : StreamKind::Video;
      out.mediaType = extension == "m4a" ? "audio/mp4" : "video/mp4";
    }
    return true;
  }

  void Report(CacheStreamOrigin origin, const std::string& address, const std::string& representation,
              const SegmentedStream& stream, std::uint64_t lastWritten) {
    // Only addresses the folder holds matter for the groups: a manifest may
    // name 100,000 addresses of which the cache holds a few.
    const auto cover = [&](const SegmentRef& segment) {
      std::string address = segment.address;
      if (index_.ElementsOf(address)) covered_.insert(std::move(address));
    };
    if (stream.init) cover(*stream.init);
    for (const SegmentRef& segment : stream.segments) cover(segment);
    const SegmentLookup lookup = [&](const SegmentRef& segment) -> std::optional<std::uint64_t> {
      const std::optional<SegmentLocation> location = index_.Locate(segment);
      return location ? std::optional(location->length) : std::nullopt;
    };
    CacheStream found;
    found.plan = StreamJoinPlan(stream, lookup);
    if (found.plan.present == 0) return;  // nothing of it in this folder
    if (!ContentDecide(stream, found)) return;
    found.origin = origin;
    found.address = address;
    found.representation = representation;
    found.protectedContent = stream.protectedContent;
    // A plan that stops at a repeated segment lists and writes only its beginning.
    found.cutShort = stream.truncated || found.plan.repeated;
    found.presentBytes = found.plan.presentBytes;
    found.lastWritten = lastWritten;
    found.playlistSeconds = stream.seconds;

    std::unordered_map<std::size_t, std::size_t> sourceOf;  // element -> index into sources
    const auto present = [&](const SegmentRef& segment) {
      const std::optional<SegmentLocation> location = index_.Locate(segment);
      if (!location) return;
      const CacheElement& element = elements_[location->element];
      found.lastWritten = std::max(found.lastWritten, element.lastWritten);
      // Every copy of the address is a part of the stream, not only the one read.
      if (const std::vector<std::size_t>* copies = index_.ElementsOf(segment.address))
        for (const std::size_t copy : *copies) out_.partOfStream[copy] = true;
    };
    if (stream.init) present(*stream.init);
    for (const SegmentRef& segment : stream.segments) present(segment);

    if (!found.protectedContent) {
      for (const JoinPiece& piece : found.plan.pieces) {
        const std::optional<SegmentLocation> location = index_.Locate(piece.ref);
        if (!location) return;  // cannot be: the plan found it
        auto [source, added] = sourceOf.try_emplace(location->element, found.sources.size());
        if (added) found.sources.push_back(elements_[location->element]);
        found.pieces.push_back({source->second, location->offset, location->length, piece.init});
      }
    }
    out_.streams.push_back(std::move(found));
  }

  CacheFolder& folder_;
  std::span<const CacheElement> elements_;
  std::span<const MediaSignature> signatures_;
  CacheSegmentIndex index_;
  std::vector<Playlist> playlists_;
  std::unordered_map<std::string, std::size_t> byAddress_;  // playlist address -> playlists_
  std::unordered_set<std::string> covered_;                 // addresses some playlist names
  StreamBudget budget_;
  bool playlistsUnread_ = false;
  CacheStreams out_;
};

}  // namespace

CacheStreams CacheStreamsFind(CacheFolder& folder, std::span<const CacheElement> elements,
                              std::span<const MediaSignature> signatures, std::uint64_t budgetBytes) {
  return Finder(folder, elements, signatures, budgetBytes).Run();
}

bool CacheStreamWrite(CacheFolder& folder, const CacheStream& stream, const StreamByteSink& sink) {
  if (stream.protectedContent || stream.pieces.empty()) return false;
  std::uint64_t largest = 0;
  for (const CacheStreamPiece& piece : stream.pieces) largest = std::max(largest, piece.length);
  std::vector<std::uint8_t> block(static_cast<std::size_t>(std::min<std::uint64_t>(kWriteBlock, largest)));
  for (const CacheStreamPiece& piece : stream.pieces) {
    if (piece.source >= stream.sources.size()) return false;
    CacheBodyReader reader(folder, stream.sources[piece.source]);
    for (std::uint64_t done = 0; done < piece.length;) {
      const std::size_t wanted =
          static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), piece.length - done));
      const std::size_t got = reader.Read(piece.offset + done, block.data(), wanted);
      if (got != wanted) return false;
      if (!sink(std::span<const std::uint8_t>(block.data(), got))) return false;
      done += got;
    }
  }
  return true;
}
