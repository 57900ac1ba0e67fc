// Recognising media from the first bytes of a body and from a response's
// Content-Type, and the extension a saved copy gets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

enum class MediaNature {
  Unknown,   // not enough bytes yet, or nothing recognised
  NotMedia,  // recognised as something else (or a known non-media type)
  Video,
  Audio,
  Segment,   // a piece of a segmented stream (fragment, TS segment, fMP4 initialisation segment)
  Playlist,  // HLS / DASH playlist
};

struct MediaSignature {
  MediaNature nature = MediaNature::Unknown;
  // Lower-case, without the dot ("mp4", "webm", "m4a"); empty when unknown.
  std::string_view extension;
};

// MPEG transport stream: packets of 188 bytes, each starting with the sync byte.
constexpr std::size_t kTransportPacketSize = 188;
constexpr std::uint8_t kTransportSyncByte = 0x47;

// Bytes the sniffer wants to see before it says Unknown for good.
constexpr std::size_t kMediaSniffBytes = 4096;

// The extension of a Segment that is the initialisation segment of a
// fragmented MP4 stream (ftyp and a moov announcing fragments); fragments
// themselves are "m4s", TS segments "ts".
constexpr std::string_view kStreamInitExtension = "mp4";

inline bool MediaSignatureIsStreamInit(const MediaSignature& signature) {
  return signature.nature == MediaNature::Segment && signature.extension == kStreamInitExtension;
}

// What the first bytes of a body say.  `complete` is true when these are all
// the bytes there will be (a short body is then judged on what it has).
MediaSignature MediaSignatureOfBytes(std::span<const std::uint8_t> firstBytes, bool complete);

// What an element is, from its stored Content-Type (may be empty) and its
// body's first bytes: the type decides video against audio where the
// container cannot (audio/mp4, audio/webm), the bytes decide the container.
MediaSignature MediaSignatureOf(std::string_view contentType, std::span<const std::uint8_t> firstBytes,
                                bool complete);
