// The signature table, the wait for more bytes, and the Content-Type deciding
// video against audio where the container cannot.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/browser_caches/media_signature.h"

namespace {

std::vector<std::uint8_t> B(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> Ftyp(std::string_view brand) {
  std::string box(
      "\0\0\0\x18"
      "ftyp",
      8);
  box += brand;
  box += std::string("\0\0\0\0isommp41", 12);
  return B(box);
}

// An EBML header as muxers write it: version fields, then the DocType.
std::vector<std::uint8_t> Ebml(std::string_view docType) {
  std::string header("\x1A\x45\xDF\xA3\x9F\x42\x86\x81\x01\x42\xF7\x81\x01\x42\xF2\x81\x04\x42\xF3\x81\x08",
                     21);
  header += "\x42\x82";
  header += static_cast<char>(0x80 | docType.size());
  header += docType;
  header += std::string("\x42\x87\x81\x04\x42\x85\x81\x02", 8);
  return B(header);
}

std::vector<std::uint8_t> Packets(std::size_t count) {
  std::vector<std::uint8_t> bytes(188 * count, 0xFF);
  for (std::size_t i = 0; i < count; ++i) bytes[188 * i] = 0x47;
  return bytes;
}

std::vector<std::uint8_t> OggPage(std::string_view packet) {
  std::string page("OggS\0\x02", 6);
  page += std::string(20, '\0');
  page += "\x01";
  page += static_cast<char>(packet.size() + 11);
  page += packet;
  page += std::string(11, '\0');
  return B(page);
}

struct Case {
  std::string name;
  std::vector<std::uint8_t> bytes;
  MediaNature nature;
  std::string_view extension;
};

TEST(MediaSignatureTest, TableEntriesAreRecognisedFromTheirFirstBytes) {
  const Case cases[] = {
      {"mp4 isom", Ftyp("isom"), MediaNature::Video, "mp4"},
      {"mp4 dash", Ftyp("dash"), MediaNature::Video, "mp4"},
      {"m4a", Ftyp("M4A "), MediaNature::Audio, "m4a"},
      {"m4b", Ftyp("M4B "), MediaNature::Audio, "m4a"},
      {"mov", Ftyp("qt  "), MediaNature::Video, "mov"},
      {"3gp", Ftyp("3gp5"), MediaNature::Video, "3gp"},
      {"3g2", Ftyp("3g2a"), MediaNature::Video, "3gp"},
      {"m4v", Ftyp("M4V "), MediaNature::Video, "m4v"},
      {"avif is an image", Ftyp("avif"), MediaNature::NotMedia, ""},
      {"moov first", B(std::string("\0\0\x01\0moov", 8)), MediaNature::Video, "mov"},
      {"mdat first", B(std::string("\0\0\x01\0mdat", 8)), MediaNature::Video, "mov"},
      {"wide", B(std::string("\0\0\0\x08wide", 8)), MediaNature::Video, "mov"},
      {"free",
       B(std::string("\0\0\0\x08"
                     "free",
                     8)),
       MediaNature::Video, "mov"},
      {"styp", B(std::string("\0\0\0\x18styp", 8)), MediaNature::Segment, "m4s"},
      {"moof", B(std::string("\0\0\0\x18moof", 8)), MediaNature::Segment, "m4s"},
      {"sidx", B(std::string("\0\0\0\x2csidx", 8)), MediaNature::Segment, "m4s"},
      {"webm", Ebml("webm"), MediaNature::Video, "webm"},
      {"matroska", Ebml("matroska"), MediaNature::Video, "mkv"},
      {"flv", B("FLV\x01\x05\0\0\0\x09"), MediaNature::Video, "flv"},
      {"ts", Packets(3), MediaNature::Segment, "ts"},
      {"id3", B("ID3\x04\0\0\0\0\0\0"), MediaNature::Audio, "mp3"},
      {"mp3 frame", B("\xFF\xFB\x90\x64"), MediaNature::Audio, "mp3"},
      {"mpeg2 layer2 frame", B("\xFF\xF5\x80\x00"), MediaNature::Audio, "mp3"},
      {"adts mpeg4", B("\xFF\xF1\x50\x80"), MediaNature::Audio, "aac"},
      {"adts mpeg2", B("\xFF\xF9\x50\x80"), MediaNature::Audio, "aac"},
      {"ogg opus", OggPage("OpusHead\x01\x02"), MediaNature::Audio, "opus"},
      {"ogg vorbis", OggPage("\x01vorbis\0\0\0\0"), MediaNature::Audio, "ogg"},
      {"ogg theora", OggPage("\x80theora\x03\x02"), MediaNature::Video, "ogv"},
      {"wav", B(std::string("RIFF\x24\0\0\0WAVEfmt ", 16)), MediaNature::Audio, "wav"},
      {"avi",
       B(std::string("RIFF\x24\0\0\0"
                     "AVI LIST",
                     16)),
       MediaNature::Video, "avi"},
      {"webp", B(std::string("RIFF\x24\0\0\0WEBPVP8 ", 16)), MediaNature::NotMedia, ""},
      {"flac", B("fLaC\0\0\0\x22"), MediaNature::Audio, "flac"},
      {"asf", B(std::string("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16)),
       MediaNature::Video, "wmv"},
      {"hls", B("#EXTM3U\n#EXT-X-VERSION:3\n"), MediaNature::Playlist, "m3u8"},
      {"dash", B("<?xml version=\"1.0\"?>\n<MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\">"),
       MediaNature::Playlist, "mpd"},
      {"png", B("\x89PNG\r\n\x1A\n"), MediaNature::NotMedia, ""},
      {"jpeg", B("\xFF\xD8\xFF\xE0"), MediaNature::NotMedia, ""},
      {"gzip", B("\x1F\x8B\x08\0"), MediaNature::NotMedia, ""},
      {"zstd", B("\x28\xB5\x2F\xFD"), MediaNature::NotMedia, ""},
      {"html", B("<!DOCTYPE html><html>"), MediaNature::NotMedia, ""},
  };
  for (const Case& c : cases) {
    const MediaSignature signature = MediaSignatureOfBytes(c.bytes, true);
    EXPECT_EQ(signature.nature, c.nature) << c.name;
    EXPECT_EQ(signature.extension, c.extension) << c.name;
  }
}

TEST(MediaSignatureTest, AmbiguousOrFalseSignaturesAreRejected) {
  // Frame sync with layer 0 but not ADTS, reserved version, bad bit rate.
  EXPECT_EQ(MediaSignatureOfBytes(B("\xFF\xE1\x50\x80"), true).nature, MediaNature::Unknown);
  EXPECT_EQ(MediaSignatureOfBytes(B("\xFF\xEB\x90\x64"), true).nature, MediaNature::Unknown);
  EXPECT_EQ(MediaSignatureOfBytes(B("\xFF\xFB\xF0\x64"), true).nature, MediaNature::Unknown);
  // A sync byte at 0 and 188 but not at 376.
  std::vector<std::uint8_t> broken = Packets(3);
  broken[376] = 0x46;
  EXPECT_EQ(MediaSignatureOfBytes(broken, true).nature, MediaNature::Unknown);
  // EBML of another document type.
  EXPECT_EQ(MediaSignatureOfBytes(Ebml("other"), true).nature, MediaNature::Unknown);
  // Plain text and XML without a manifest.
  EXPECT_EQ(MediaSignatureOfBytes(B("hello world, nothing here"), true).nature, MediaNature::Unknown);
  EXPECT_EQ(MediaSignatureOfBytes(B("<?xml version=\"1.0\"?><svg></svg>"), true).nature,
            MediaNature::NotMedia);
  EXPECT_EQ(MediaSignatureOfBytes({}, true).nature, MediaNature::Unknown);
}

TEST(MediaSignatureTest, ShortPrefixesWaitForMoreBytesUnlessComplete) {
  const auto mp4 = Ftyp("isom");
  for (std::size_t n = 1; n < 12; ++n) {
    const std::span<const std::uint8_t> prefix(mp4.data(), n);
    EXPECT_EQ(MediaSignatureOfBytes(prefix, false).nature, MediaNature::Unknown) << n;
  }
  const auto webm = Ebml("webm");
  EXPECT_EQ(MediaSignatureOfBytes(std::span(webm.data(), 24), false).nature, MediaNature::Unknown);
  EXPECT_EQ(MediaSignatureOfBytes(webm, false).extension, "webm");
  // A TS stream needs three packets, but a complete stream of two is one.
  const auto ts = Packets(3);
  EXPECT_EQ(MediaSignatureOfBytes(std::span(ts.data(), 300), false).nature, MediaNature::Unknown);
  EXPECT_EQ(MediaSignatureOfBytes(std::span(ts.data(), 376), true).nature, MediaNature::Segment);
  // Ogg decides between Opus and Vorbis only with the first packet.
  const auto opus = OggPage("OpusHead\x01\x02");
  EXPECT_EQ(MediaSignatureOfBytes(std::span(opus.data(), 30), false).nature, MediaNature::Unknown);
  EXPECT_EQ(MediaSignatureOfBytes(std::span(opus.data(), 30), true).extension, "ogg");
}

TEST(MediaSignatureTest, ContentTypeDecidesVideoAgainstAudio) {
  const auto mp4 = Ftyp("isom");
  const auto webm = Ebml("webm");
  const auto mkv = Ebml("matroska");
  const auto m4a = Ftyp("M4A ");
  const auto mp3 = B("ID3\x04\0\0\0\0\0\0");
  const auto asf = B(std::string("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16));
  struct TypedCase {
    std::string_view type;
    const std::vector<std::uint8_t>& bytes;
    MediaNature nature;
    std::string_view extension;
  };
  const TypedCase cases[] = {
      {"audio/mp4", mp4, MediaNature::Audio, "m4a"},
      {"video/mp4", mp4, MediaNature::Video, "mp4"},
      {"", mp4, MediaNature::Video, "mp4"},
      {"application/octet-stream", mp4, MediaNature::Video, "mp4"},
      {"audio/webm", webm, MediaNature::Audio, "webm"},
      {"video/webm", webm, MediaNature::Video, "webm"},
      {"audio/x-matroska", mkv, MediaNature::Audio, "mka"},
      {"audio/x-ms-wma", asf, MediaNature::Audio, "wma"},
      {"video/x-ms-asf", asf, MediaNature::Video, "wmv"},
      // The muxer's audio brand outweighs a server that calls every .mp4 video.
      {"video/mp4", m4a, MediaNature::Audio, "m4a"},
      // An audio-only container stays audio whatever the type says.
      {"video/mpeg", mp3, MediaNature::Audio, "mp3"},
  };
  for (const TypedCase& c : cases) {
    const MediaSignature signature = MediaSignatureOf(c.type, c.bytes, true);
    EXPECT_EQ(signature.nature, c.nature) << c.type << " " << c.extension;
    EXPECT_EQ(signature.extension, c.extension) << c.type;
  }
}

TEST(MediaSignatureTest, TypeAloneCountsOnlyWhenTheBytesSayNothing) {
  const std::vector<std::uint8_t> noise(kMediaSniffBytes, 0x11);
  EXPECT_EQ(MediaSignatureOf("video/mp4", noise, false).extension, "mp4");
  EXPECT_EQ(MediaSignatureOf("audio/mpeg", noise, false).nature, MediaNature::Audio);
  // Too few bytes yet to overrule the bytes.
  EXPECT_EQ(MediaSignatureOf("video/mp4", std::span(noise.data(), 100), false).nature, MediaNature::Unknown);
  // Nothing at all yet.
  EXPECT_EQ(MediaSignatureOf("video/mp4", {}, false).nature, MediaNature::Unknown);
  // An error page under a media type is not media.
  EXPECT_EQ(MediaSignatureOf("video/mp4", B("<!DOCTYPE html>"), true).nature, MediaNature::NotMedia);
  // Known non-media types with unknown bytes stay unknown.
  EXPECT_EQ(MediaSignatureOf("text/plain", noise, true).nature, MediaNature::Unknown);
  EXPECT_EQ(MediaSignatureOf("application/vnd.apple.mpegurl", noise, true).nature, MediaNature::Playlist);
  EXPECT_EQ(MediaSignatureOf("application/dash+xml", {}, false).extension, "mpd");
}

}  // namespace
