// Undoing a response's Content-Encoding (gzip, deflate, br, zstd) with the
// real libraries, bounded: the output never grows past a budget the caller
// gives, so a body that expands without end (a decompression bomb) gives the
// budget's worth of bytes and stops, in memory bounded by the formats' own
// windows (zlib 32 KiB, brotli at most 16 MiB, zstd at most 8 MiB).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

enum class ContentCoding {
  Identity,
  Gzip,
  Deflate,  // zlib-wrapped as HTTP says, or raw as some servers send it
  Brotli,
  Zstd,
  Unsupported,  // anything else, and several codings one over another
};

// The coding a stored Content-Encoding value names (lower-case, as the
// readers keep it; empty for none).
ContentCoding ContentCodingOf(std::string_view contentEncoding);

enum class DecodeEnd {
  Whole,        // the coded stream ended; every byte it holds was decoded
  CutShort,     // the output reached the budget: the bytes are its beginning
  Unfinished,   // the input ended before the coded stream did
  Corrupt,      // the input is not of the coding (some bytes from before may be kept)
  Unsupported,  // no decoder for the coding
};

// Decodes one body given in pieces, in order.  The output is appended to a
// string the caller owns and never grows past the budget.
class ContentDecoder {
 public:
  // Null for Identity and Unsupported.
  static std::unique_ptr<ContentDecoder> Make(ContentCoding coding, std::size_t budget);
  virtual ~ContentDecoder() = default;
  // Decodes `input` onto `out`.  True while more input is wanted; false once
  // the decoding is over (see End()), after which input is ignored.
  virtual bool Push(std::span<const std::uint8_t> input, std::string& out) = 0;
  // How the decoding ended, or (while Push still wants input) how it ends if
  // no more input comes.
  virtual DecodeEnd End() const = 0;
};

struct DecodedBody {
  std::string bytes;
  DecodeEnd end = DecodeEnd::Whole;
};

// A whole body at once.  Identity gives the body itself, cut at the budget.
DecodedBody ContentDecode(ContentCoding coding, std::span<const std::uint8_t> body, std::size_t budget);
