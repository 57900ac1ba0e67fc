// What a media element is before anyone plays it: how long it lasts, its
// picture's size and its codecs, read from the container's own headers
// (MP4 moov, Matroska Info and Tracks, MP3 and ADTS frame headers, MPEG-TS
// timestamps).  The readers look at a small, bounded part of the bytes: a
// list of thousands of elements reads each one's facts quickly.  The bytes
// are outside bytes: every size and count is checked before it is used.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Largest header block (an MP4 moov, a Matroska Tracks) read whole.
constexpr std::uint64_t kMediaFactsMaxHeaderBytes = 4u << 20;
// Bytes scanned for frames or packets at the start, and again at the end.
constexpr std::size_t kMediaFactsScanBytes = 256u << 10;

struct MediaFacts {
  std::optional<double> seconds;
  std::optional<std::uint32_t> width;
  std::optional<std::uint32_t> height;
  std::string codecs;  // "H.264 / AAC": pictures first, then sound; empty when unknown
};

// The codec names in order, each once, as "A / B".
class CodecList {
 public:
  void Add(std::string_view name);
  std::string Text() const;

 private:
  std::vector<std::string> names_;
};

// "12.345" (seconds, three decimals); empty when unknown.
std::string MediaFactsSecondsText(const MediaFacts& facts);
// "1:23" or "1:02:03" (whole seconds) for people; empty when unknown.
std::string MediaFactsClockText(const MediaFacts& facts);
// "1280x720"; empty when unknown.
std::string MediaFactsResolutionText(const MediaFacts& facts);
