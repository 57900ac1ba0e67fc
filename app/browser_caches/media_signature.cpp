#include "app/browser_caches/media_signature.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "app/browser_caches/iso_boxes.h"

namespace {

using Bytes = std::span<const std::uint8_t>;

// A signature check on a prefix of the body: it matches, it cannot match, or
// more bytes are needed to tell.
enum class Match { Yes, No, NeedMore };

Match LiteralAt(Bytes bytes, std::size_t at, std::string_view literal) {
  for (std::size_t i = 0; i < literal.size(); ++i) {
    if (at + i >= bytes.size()) return Match::NeedMore;
    if (bytes[at + i] != static_cast<std::uint8_t>(literal[i])) return Match::No;
  }
  return Match::Yes;
}

bool Has(Bytes bytes, std::size_t at, std::string_view literal) {
  return LiteralAt(bytes, at, literal) == Match::Yes;
}

constexpr MediaSignature Of(MediaNature nature, std::string_view extension) { return {nature, extension}; }

// What follows a fragmented MP4's moov: nothing (an initialisation segment
// on its own), or its own index or fragments (a whole track in one file, as
// a site fetches it by byte ranges: that is media, not a stream's piece).
enum class FragmentedKind { Init, WholePicture, WholeSound };

// Whether a moov's tracks are all sound: every handler type in it is "soun".
bool MoovOnlySound(Bytes window, const IsoBox& moov) {
  const std::uint64_t end = std::min<std::uint64_t>(moov.End(), window.size());
  bool sound = false;
  for (std::uint64_t at = moov.offset + moov.headerSize; at + 16 <= end; ++at) {
    if (!Has(window, static_cast<std::size_t>(at), "hdlr")) continue;
    // type, version and flags, pre_defined, then the handler type.
    if (at + 16 > end) break;
    if (Has(window, static_cast<std::size_t>(at + 12), "soun")) {
      sound = true;
    } else if (Has(window, static_cast<std::size_t>(at + 12), "vide")) {
      return false;
    }
  }
  return sound;
}

// What comes after the moov of a fragmented MP4: an index or a fragment
// makes it a whole track; the end of the bytes, or a header past the sniffed
// window, an initialisation segment (as before whole tracks were told).
template <class Missing>
Match FragmentedFollower(Bytes window, const IsoBox& moov, bool moovOpen, Missing missing,
                         FragmentedKind& kind) {
  kind = FragmentedKind::Init;
  if (moovOpen) return Match::Yes;
  const std::optional<IsoBox> next = IsoBoxAt(window, moov.End());
  if (!next) return missing(moov.End()) == Match::NeedMore ? Match::NeedMore : Match::Yes;
  if (next->type == "sidx" || next->type == "moof" || next->type == "styp")
    kind = MoovOnlySound(window, moov) ? FragmentedKind::WholeSound : FragmentedKind::WholePicture;
  return Match::Yes;
}

// A fragmented MP4: ftyp, perhaps free space, then a moov that holds an
// mvex (movie extends: the samples come in fragments); `kind` says what
// follows it.  Only the first kMediaSniffBytes are looked at, so that more
// bytes never change the verdict; a plain file's moov, whose tracks run past
// them, says No as soon as a box header shows it.
Match FragmentedInit(Bytes bytes, bool complete, FragmentedKind& kind) {
  const Bytes window = bytes.first(std::min(bytes.size(), kMediaSniffBytes));
  const bool windowGrows = !complete && window.size() < kMediaSniffBytes;
  // A box header not (yet) in the bytes at `at`.
  auto missing = [&](std::uint64_t at) {
    return windowGrows && at + 8 <= kMediaSniffBytes ? Match::NeedMore : Match::No;
  };
  const std::optional<IsoBox> ftyp = IsoBoxAt(window, 0);
  if (!ftyp) return missing(0);
  std::uint64_t at = ftyp->End();
  std::optional<IsoBox> moov;
  while (!moov) {
    const std::optional<IsoBox> box = IsoBoxAt(window, at);
    if (!box) return missing(at);
    if (box->type == "moov") {
      moov = box;
    } else if (box->type == "free" || box->type == "skip") {
      at = box->End();
    } else {
      return Match::No;
    }
  }
  // A moov of size 0 runs to the end of the file: while the bytes still
  // grow, where it ends is not known yet, so its children decide alone.
  const bool moovOpen = windowGrows && moov->headerSize == 8 && window[moov->offset] == 0 &&
                        window[moov->offset + 1] == 0 && window[moov->offset + 2] == 0 &&
                        window[moov->offset + 3] == 0;
  const std::uint64_t moovEnd = moovOpen ? UINT64_MAX : moov->End();
  at = moov->offset + moov->headerSize;
  while (at < moovEnd) {
    const std::optional<IsoBox> child = IsoBoxAt(window, at);
    if (!child) return missing(at);
    if (child->type == "mvex") return FragmentedFollower(window, *moov, moovOpen, missing, kind);
    if (child->End() > moovEnd) return Match::No;
    at = child->End();
  }
  return Match::No;
}

// ISO base media: a box type at 4, for files with ftyp the major brand at 8.
Match IsoMedia(Bytes bytes, bool complete, MediaSignature& result) {
  static constexpr std::string_view kPlainBoxes[] = {"moov", "mdat", "free", "wide", "skip", "pnot"};
  static constexpr std::string_view kSegmentBoxes[] = {"styp", "moof", "sidx"};
  if (bytes.size() < 8) {
    // Any four bytes of size could start a box: wait for its type.
    return Match::NeedMore;
  }
  const std::string_view type(reinterpret_cast<const char*>(bytes.data()) + 4, 4);
  for (std::string_view box : kSegmentBoxes) {
    if (type == box) {
      result = Of(MediaNature::Segment, "m4s");
      return Match::Yes;
    }
  }
  for (std::string_view box : kPlainBoxes) {
    if (type == box) {
      result = Of(MediaNature::Video, "mov");
      return Match::Yes;
    }
  }
  if (type != "ftyp") return Match::No;
  if (bytes.size() < 12) return Match::NeedMore;
  const std::string_view brand(reinterpret_cast<const char*>(bytes.data()) + 8, 4);
  if (brand == "M4A " || brand == "M4B " || brand == "M4P ") {
    result = Of(MediaNature::Audio, "m4a");
  } else if (brand == "qt  ") {
    result = Of(MediaNature::Video, "mov");
  } else if (brand.substr(0, 3) == "3gp" || brand.substr(0, 3) == "3g2") {
    result = Of(MediaNature::Video, "3gp");
  } else if (brand == "M4V " || brand == "M4VH" || brand == "M4VP") {
    result = Of(MediaNature::Video, "m4v");
  } else if (brand == "avif" || brand == "avis" || brand == "heic" || brand == "heix" || brand == "mif1" ||
             brand == "msf1") {
    result = Of(MediaNature::NotMedia, "");  // still images in the same box format
  } else {
    result = Of(MediaNature::Video, "mp4");
  }
  if (result.nature == MediaNature::NotMedia) return Match::Yes;
  FragmentedKind kind = FragmentedKind::Init;
  const Match init = FragmentedInit(bytes, complete, kind);
  if (init == Match::NeedMore) return Match::NeedMore;
  if (init == Match::Yes) {
    if (kind == FragmentedKind::Init) {
      result = Of(MediaNature::Segment, kStreamInitExtension);
    } else if (kind == FragmentedKind::WholeSound) {
      result = Of(MediaNature::Audio, "m4a");
    } else {
      result = Of(MediaNature::Video, "mp4");
    }
  }
  return Match::Yes;
}

// EBML header: the DocType element (ID 42 82) names the Matroska flavour.
Match Ebml(Bytes bytes, bool complete, MediaSignature& result) {
  const Match magic = LiteralAt(bytes, 0, "\x1A\x45\xDF\xA3");
  if (magic != Match::Yes) return magic;
  // The EBML header is small; its DocType comes within the first 64 bytes.
  const std::size_t end = std::min<std::size_t>(bytes.size(), 64);
  for (std::size_t at = 4; at + 3 <= end; ++at) {
    if (bytes[at] != 0x42 || bytes[at + 1] != 0x82) continue;
    const std::uint8_t sizeByte = bytes[at + 2];
    if ((sizeByte & 0x80) == 0) continue;  // only one-byte sizes occur for a DocType
    const std::size_t length = sizeByte & 0x7F;
    if (at + 3 + length > bytes.size()) return complete ? Match::No : Match::NeedMore;
    const std::string_view docType(reinterpret_cast<const char*>(bytes.data()) + at + 3, length);
    if (docType == "webm") {
      result = Of(MediaNature::Video, "webm");
    } else if (docType == "matroska") {
      result = Of(MediaNature::Video, "mkv");
    } else {
      continue;
    }
    return Match::Yes;
  }
  return !complete && bytes.size() < 64 ? Match::NeedMore : Match::No;
}

// MPEG transport stream: a sync byte every 188 bytes.
Match TransportStream(Bytes bytes, bool complete, MediaSignature& result) {
  for (std::size_t at = 0; at <= 2 * kTransportPacketSize; at += kTransportPacketSize) {
    if (at >= bytes.size()) {
      if (complete && at >= kTransportPacketSize) break;  // a short complete stream of whole packets
      return Match::NeedMore;
    }
    if (bytes[at] != kTransportSyncByte) return Match::No;
  }
  result = Of(MediaNature::Segment, "ts");
  return Match::Yes;
}

// A frame header of MPEG audio (layer 1-3) or of ADTS AAC (layer 0).
Match AudioFrame(Bytes bytes, MediaSignature& result) {
  if (bytes.empty()) return Match::NeedMore;
  if (bytes[0] != 0xFF) return Match::No;
  if (bytes.size() < 3) return Match::NeedMore;
  if ((bytes[1] & 0xE0) != 0xE0) return Match::No;
  const int layer = (bytes[1] >> 1) & 3;
  if (layer == 0) {
    // ADTS: the version field's second bit is zero (F0/F1 MPEG-4, F8/F9 MPEG-2).
    if ((bytes[1] & 0xF6) != 0xF0) return Match::No;
    if (((bytes[2] >> 2) & 0x0F) > 12) return Match::No;  // sampling frequency index
    result = Of(MediaNature::Audio, "aac");
    return Match::Yes;
  }
  const int version = (bytes[1] >> 3) & 3;
  const int bitrate = bytes[2] >> 4;
  const int sampleRate = (bytes[2] >> 2) & 3;
  if (version == 1 || bitrate == 15 || sampleRate == 3) return Match::No;
  result = Of(MediaNature::Audio, "mp3");
  return Match::Yes;
}

Match Ogg(Bytes bytes, bool complete, MediaSignature& result) {
  const Match magic = LiteralAt(bytes, 0, "OggS");
  if (magic != Match::Yes) return magic;
  // The first page has a single segment table entry: its packet starts at 28.
  const Match opus = LiteralAt(bytes, 28, "OpusHead");
  const Match theora = LiteralAt(bytes, 28, "\x80theora");
  if (opus == Match::Yes) {
    result = Of(MediaNature::Audio, "opus");
  } else if (theora == Match::Yes) {
    result = Of(MediaNature::Video, "ogv");
  } else if (!complete && (opus == Match::NeedMore || theora == Match::NeedMore)) {
    return Match::NeedMore;
  } else {
    result = Of(MediaNature::Audio, "ogg");
  }
  return Match::Yes;
}

Match Riff(Bytes bytes, MediaSignature& result) {
  const Match magic = LiteralAt(bytes, 0, "RIFF");
  if (magic != Match::Yes) return magic;
  if (bytes.size() < 12) return Match::NeedMore;
  if (Has(bytes, 8, "WAVE")) {
    result = Of(MediaNature::Audio, "wav");
  } else if (Has(bytes, 8, "AVI ")) {
    result = Of(MediaNature::Video, "avi");
  } else {
    result = Of(MediaNature::NotMedia, "");  // WEBP and other RIFF forms
  }
  return Match::Yes;
}

// XML: a DASH manifest names its root element MPD near the start.
Match Xml(Bytes bytes, bool complete, MediaSignature& result) {
  const Match magic = LiteralAt(bytes, 0, "<?xml");
  const Match root = LiteralAt(bytes, 0, "<MPD");
  if (root == Match::Yes) {
    result = Of(MediaNature::Playlist, "mpd");
    return Match::Yes;
  }
  if (magic != Match::Yes)
    return magic == Match::NeedMore || root == Match::NeedMore ? Match::NeedMore : Match::No;
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()),
                              std::min<std::size_t>(bytes.size(), 512));
  if (text.find("<MPD") != std::string_view::npos) {
    result = Of(MediaNature::Playlist, "mpd");
  } else if (!complete && bytes.size() < 512) {
    return Match::NeedMore;
  } else {
    result = Of(MediaNature::NotMedia, "");
  }
  return Match::Yes;
}

// Formats that are certainly not media; saying so early ends the watch of an
// element sooner.
Match KnownOther(Bytes bytes, MediaSignature& result) {
  static constexpr std::string_view kOthers[] = {
      "\x89PNG", "GIF8",  "\xFF\xD8\xFF", "\x1F\x8B", "\x28\xB5\x2F\xFD", "%PDF", "wOFF", "wOF2",
      "<!DOC",   "<!doc", "<html",        "<HTML",    "PK\x03\x04",
  };
  bool needMore = false;
  for (std::string_view other : kOthers) {
    const Match match = LiteralAt(bytes, 0, other);
    if (match == Match::Yes) {
      result = Of(MediaNature::NotMedia, "");
      return Match::Yes;
    }
    needMore = needMore || match == Match::NeedMore;
  }
  return needMore ? Match::NeedMore : Match::No;
}

// Lower-case main type and subtype of a Content-Type value.
struct MimeType {
  std::string_view main;
  std::string_view sub;
};

MimeType MimeTypeSplit(std::string_view contentType) {
  const std::size_t slash = contentType.find('/');
  if (slash == std::string_view::npos) return {};
  return {contentType.substr(0, slash), contentType.substr(slash + 1)};
}

bool IsPlaylistType(std::string_view type) {
  return type == "application/vnd.apple.mpegurl" || type == "application/x-mpegurl" ||
         type == "audio/mpegurl" || type == "audio/x-mpegurl" || type == "application/dash+xml";
}

// What a media type alone says, for bodies whose first bytes match nothing.
MediaSignature SignatureOfType(std::string_view type) {
  struct Entry {
    std::string_view type;
    MediaSignature signature;
  };
  static constexpr Entry kTypes[] = {
      {"video/mp4", {MediaNature::Video, "mp4"}},        {"video/webm", {MediaNature::Video, "webm"}},
      {"video/x-matroska", {MediaNature::Video, "mkv"}}, {"video/quicktime", {MediaNature::Video, "mov"}},
      {"video/3gpp", {MediaNature::Video, "3gp"}},       {"video/x-flv", {MediaNature::Video, "flv"}},
      {"video/x-ms-wmv", {MediaNature::Video, "wmv"}},   {"video/x-ms-asf", {MediaNature::Video, "wmv"}},
      {"video/x-msvideo", {MediaNature::Video, "avi"}},  {"video/ogg", {MediaNature::Video, "ogv"}},
      {"video/mp2t", {MediaNature::Segment, "ts"}},      {"audio/mpeg", {MediaNature::Audio, "mp3"}},
      {"audio/mp3", {MediaNature::Audio, "mp3"}},        {"audio/mp4", {MediaNature::Audio, "m4a"}},
      {"audio/x-m4a", {MediaNature::Audio, "m4a"}},      {"audio/aac", {MediaNature::Audio, "aac"}},
      {"audio/ogg", {MediaNature::Audio, "ogg"}},        {"audio/opus", {MediaNature::Audio, "opus"}},
      {"audio/wav", {MediaNature::Audio, "wav"}},        {"audio/x-wav", {MediaNature::Audio, "wav"}},
      {"audio/flac", {MediaNature::Audio, "flac"}},      {"audio/x-flac", {MediaNature::Audio, "flac"}},
      {"audio/webm", {MediaNature::Audio, "webm"}},      {"audio/x-ms-wma", {MediaNature::Audio, "wma"}},
  };
  for (const Entry& entry : kTypes) {
    if (entry.type == type) return entry.signature;
  }
  return {};
}

// The audio twin of a container the bytes called video, for an audio/* type.
MediaSignature AsAudio(MediaSignature signature) {
  const std::string_view ext = signature.extension;
  if (ext == "mp4" || ext == "m4v" || ext == "mov" || ext == "3gp") return Of(MediaNature::Audio, "m4a");
  if (ext == "mkv") return Of(MediaNature::Audio, "mka");
  if (ext == "wmv") return Of(MediaNature::Audio, "wma");
  if (ext == "ogv") return Of(MediaNature::Audio, "ogg");
  return Of(MediaNature::Audio, ext);  // webm, flv, avi keep their extension
}

}  // namespace

MediaSignature MediaSignatureOfBytes(std::span<const std::uint8_t> firstBytes, bool complete) {
  MediaSignature result;
  if (firstBytes.empty()) return result;
  // Signatures are tried in order; while an earlier one still needs bytes a
  // later match does not count, so that more bytes never change a verdict.
  bool needMore = false;
  auto tried = [&](Match match) {
    needMore = needMore || (match == Match::NeedMore && !complete);
    return match == Match::Yes;
  };
  auto verdict = [&](MediaSignature signature) { return needMore ? MediaSignature{} : signature; };
  if (tried(LiteralAt(firstBytes, 0, "#EXTM3U"))) return verdict(Of(MediaNature::Playlist, "m3u8"));
  if (tried(Ebml(firstBytes, complete, result))) return verdict(result);
  if (tried(LiteralAt(firstBytes, 0, "FLV\x01"))) return verdict(Of(MediaNature::Video, "flv"));
  if (tried(LiteralAt(firstBytes, 0, "ID3"))) return verdict(Of(MediaNature::Audio, "mp3"));
  if (tried(Ogg(firstBytes, complete, result))) return verdict(result);
  if (tried(Riff(firstBytes, result))) return verdict(result);
  if (tried(LiteralAt(firstBytes, 0, "fLaC"))) return verdict(Of(MediaNature::Audio, "flac"));
  if (tried(LiteralAt(firstBytes, 0, "\x30\x26\xB2\x75\x8E\x66\xCF\x11")))
    return verdict(Of(MediaNature::Video, "wmv"));
  if (tried(Xml(firstBytes, complete, result))) return verdict(result);
  if (tried(KnownOther(firstBytes, result))) return verdict(result);
  if (tried(TransportStream(firstBytes, complete, result))) return verdict(result);
  if (tried(AudioFrame(firstBytes, result))) return verdict(result);
  // The box format has no magic of its own: try it last.
  if (tried(IsoMedia(firstBytes, complete, result))) return verdict(result);
  return {};
}

MediaSignature MediaSignatureOf(std::string_view contentType, std::span<const std::uint8_t> firstBytes,
                                bool complete) {
  if (IsPlaylistType(contentType))
    return Of(MediaNature::Playlist, contentType == "application/dash+xml" ? "mpd" : "m3u8");
  const MediaSignature bytes = MediaSignatureOfBytes(firstBytes, complete);
  const MimeType type = MimeTypeSplit(contentType);
  switch (bytes.nature) {
    case MediaNature::Video:
      if (type.main != "audio") return bytes;
      return AsAudio(bytes);
    case MediaNature::Audio:
      // The container only holds audio (or its brand says so): a video/*
      // type from a server that maps every .mp4 to video does not change it.
      return bytes;
    case MediaNature::NotMedia:
    case MediaNature::Segment:
    case MediaNature::Playlist:
      return bytes;
    case MediaNature::Unknown:
      break;
  }
  // Nothing recognised: once enough bytes are in (or all of them), fall back
  // on what the type says.
  const bool enough = complete || firstBytes.size() >= kMediaSniffBytes;
  if (!enough || firstBytes.empty()) return {};
  return SignatureOfType(contentType);
}
