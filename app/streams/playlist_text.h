// Small text helpers the playlist readers share: lines of any ending,
// trimming, and numbers that refuse to overflow.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Lines ending in LF, CR LF or CR; a byte order mark before the first is
// skipped.  The views point into the text.
class PlaylistLines {
 public:
  explicit PlaylistLines(std::string_view text);
  bool Next(std::string_view& line);

 private:
  std::string_view rest_;
  bool done_ = false;
};

// Without spaces, tabs and line ends around it.
std::string_view PlaylistTrimmed(std::string_view text);

// A decimal integer of digits only that fits 64 bits.
std::optional<std::uint64_t> PlaylistUnsigned(std::string_view text);

// A non-negative decimal number ("10", "9.97", ".5"); finite and below 1e15.
std::optional<double> PlaylistDecimal(std::string_view text);
