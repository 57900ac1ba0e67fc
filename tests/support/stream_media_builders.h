// Hand-built stream media for the stream tests: ISO BMFF boxes, fMP4
// initialisation segments and fragments, MPEG-TS segments, playlist text.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "tests/support/chromium_cache_builders.h"

inline ByteVector Box(std::string_view type, const ByteVector& payload) {
  const auto size = static_cast<std::uint32_t>(8 + payload.size());
  ByteVector box = {static_cast<std::uint8_t>(size >> 24), static_cast<std::uint8_t>(size >> 16),
                    static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size)};
  Append(box, type);
  Append(box, payload);
  return box;
}

inline ByteVector Cat(std::initializer_list<ByteVector> parts) {
  ByteVector all;
  for (const ByteVector& part : parts) Append(all, part);
  return all;
}

// A track whose handler ("vide", "soun") says what it carries.
inline ByteVector Track(std::string_view handler) {
  ByteVector hdlr(8, 0);
  Append(hdlr, handler);
  hdlr.resize(hdlr.size() + 13, 0);
  return Box("trak", Cat({Box("tkhd", ByteVector(84, 0)),
                          Box("mdia", Cat({Box("mdhd", ByteVector(24, 0)), Box("hdlr", hdlr)}))}));
}

// An fMP4 initialisation segment with a track per handler given.
inline ByteVector Init(std::initializer_list<std::string_view> handlers) {
  ByteVector moov = Box("mvhd", ByteVector(100, 0));
  for (const std::string_view handler : handlers) Append(moov, Track(handler));
  Append(moov, Box("mvex", Box("trex", ByteVector(24, 0))));
  ByteVector ftyp;
  Append(ftyp, "iso6");
  ftyp.resize(8, 0);
  return Cat({Box("ftyp", ftyp), Box("moov", moov)});
}

// A fragment whose bytes tell it apart from every other.
inline ByteVector Fragment(std::uint32_t seed, std::size_t length = 600) {
  return Cat({Box("styp", ByteVector(8, 0)), Box("moof", Pattern(length, seed))});
}

inline ByteVector TsSegment(std::uint32_t seed, std::size_t packets = 20) {
  ByteVector bytes = Pattern(188 * packets, seed);
  for (std::size_t at = 0; at < bytes.size(); at += 188) bytes[at] = 0x47;
  return bytes;
}

inline ByteVector TextBytes(std::string_view text) { return ByteVector(text.begin(), text.end()); }
