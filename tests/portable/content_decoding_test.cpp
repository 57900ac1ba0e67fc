// Compressed bodies as Debian's gzip, brotli and zstd tools and zlib write
// them (tests/portable/data/compressed/make.sh): decoded whole, in any
// pieces, cut at the budget, short or broken input told apart, and a bomb
// held to the budget.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tests/portable/compressed_data.h"
#include "app/browser_caches/body_text.h"
#include "app/browser_caches/content_decoding.h"

namespace {

using Bytes = std::vector<std::uint8_t>;


std::string Plain() {
  const Bytes bytes = CompressedDataFile("playlist.m3u8");
  return std::string(bytes.begin(), bytes.end());
}

struct Coded {
  const char* file;
  ContentCoding coding;
};

const Coded kCoded[] = {
    {"playlist.m3u8.gz", ContentCoding::Gzip},
    {"playlist-members.m3u8.gz", ContentCoding::Gzip},
    {"playlist.m3u8.zlib", ContentCoding::Deflate},
    {"playlist.m3u8.deflate", ContentCoding::Deflate},  // raw, as some servers send it
    {"playlist.m3u8.br", ContentCoding::Brotli},
    {"playlist.m3u8.zst", ContentCoding::Zstd},
};

// Pushes the body in pieces of `piece` bytes.
DecodedBody DecodeInPieces(ContentCoding coding, const Bytes& body, std::size_t piece, std::size_t budget) {
  DecodedBody decoded;
  const std::unique_ptr<ContentDecoder> decoder = ContentDecoder::Make(coding, budget);
  for (std::size_t at = 0; at < body.size(); at += piece) {
    const std::size_t count = std::min(piece, body.size() - at);
    if (!decoder->Push(std::span<const std::uint8_t>(body.data() + at, count), decoded.bytes)) break;
  }
  decoded.end = decoder->End();
  return decoded;
}

TEST(ContentDecoding, EveryCodingGivesTheBodyBackWholeAtOnceAndInAnyPieces) {
  const std::string plain = Plain();
  ASSERT_GT(plain.size(), 64u * 1024);  // more than one step of output
  for (const Coded& coded : kCoded) {
    SCOPED_TRACE(coded.file);
    const Bytes body = CompressedDataFile(coded.file);
    const DecodedBody whole = ContentDecode(coded.coding, body, kBodyTextBudget);
    EXPECT_EQ(whole.end, DecodeEnd::Whole);
    EXPECT_TRUE(whole.bytes == plain);
    for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{7}, std::size_t{1000}}) {
      SCOPED_TRACE(piece);
      const DecodedBody pieces = DecodeInPieces(coded.coding, body, piece, kBodyTextBudget);
      EXPECT_EQ(pieces.end, DecodeEnd::Whole);
      EXPECT_TRUE(pieces.bytes == plain);
    }
  }
}

TEST(ContentDecoding, TheBudgetCutsExactlyAndABodyThatFitsItIsWhole) {
  const std::string plain = Plain();
  for (const Coded& coded : kCoded) {
    SCOPED_TRACE(coded.file);
    const Bytes body = CompressedDataFile(coded.file);
    const DecodedBody fits = ContentDecode(coded.coding, body, plain.size());
    EXPECT_EQ(fits.end, DecodeEnd::Whole);
    EXPECT_EQ(fits.bytes.size(), plain.size());
    for (const std::size_t budget : {plain.size() - 1, std::size_t{4096}, std::size_t{0}}) {
      SCOPED_TRACE(budget);
      const DecodedBody cut = DecodeInPieces(coded.coding, body, 333, budget);
      EXPECT_EQ(cut.end, DecodeEnd::CutShort);
      EXPECT_TRUE(cut.bytes == plain.substr(0, budget));
    }
  }
  const Bytes plainBytes(plain.begin(), plain.end());
  const DecodedBody identity = ContentDecode(ContentCoding::Identity, plainBytes, 100);
  EXPECT_EQ(identity.end, DecodeEnd::CutShort);
  EXPECT_EQ(identity.bytes, plain.substr(0, 100));
}

TEST(ContentDecoding, ShortInputIsUnfinishedAndForeignBytesAreCorrupt) {
  const std::string plain = Plain();
  for (const Coded& coded : kCoded) {
    SCOPED_TRACE(coded.file);
    Bytes body = CompressedDataFile(coded.file);
    ASSERT_GT(body.size(), 100u);
    body.erase(body.end() - 20, body.end());  // more than any trailer: some coded data is lost
    const DecodedBody shortened = ContentDecode(coded.coding, body, kBodyTextBudget);
    EXPECT_EQ(shortened.end, DecodeEnd::Unfinished);
    EXPECT_LT(shortened.bytes.size(), plain.size());
    EXPECT_TRUE(shortened.bytes == plain.substr(0, shortened.bytes.size()));
  }
  // The checksums gzip, zlib and zstd carry find a changed byte.
  for (const Coded& coded : {kCoded[0], kCoded[2], kCoded[5]}) {
    SCOPED_TRACE(coded.file);
    Bytes body = CompressedDataFile(coded.file);
    body[body.size() / 2] ^= 0x40;
    EXPECT_EQ(ContentDecode(coded.coding, body, kBodyTextBudget).end, DecodeEnd::Corrupt);
  }
  // A plain playlist under a coding's name (a server that says gzip and sends text).
  const Bytes plainBytes(plain.begin(), plain.end());
  for (const ContentCoding coding : {ContentCoding::Gzip, ContentCoding::Zstd})
    EXPECT_EQ(ContentDecode(coding, plainBytes, kBodyTextBudget).end, DecodeEnd::Corrupt);
  // Nothing at all is no whole body.
  EXPECT_EQ(ContentDecode(ContentCoding::Gzip, {}, kBodyTextBudget).end, DecodeEnd::Unfinished);
}

TEST(ContentDecoding, ABrotliBombGivesTheBudgetsWorthAndStops) {
  const Bytes bomb = CompressedDataFile("bomb.m3u8.br");
  ASSERT_LT(bomb.size(), 4096u);  // claims 64 MiB
  const DecodedBody decoded = ContentDecode(ContentCoding::Brotli, bomb, kBodyTextBudget);
  EXPECT_EQ(decoded.end, DecodeEnd::CutShort);
  EXPECT_EQ(decoded.bytes.size(), kBodyTextBudget);
  EXPECT_EQ(decoded.bytes.substr(0, 8), "#EXTM3U\n");
}

TEST(ContentDecoding, StoredCodingNames) {
  EXPECT_EQ(ContentCodingOf(""), ContentCoding::Identity);
  EXPECT_EQ(ContentCodingOf("x-gzip"), ContentCoding::Gzip);
  EXPECT_EQ(ContentCodingOf("br"), ContentCoding::Brotli);
  EXPECT_EQ(ContentCodingOf("zstd"), ContentCoding::Zstd);
  // Two codings one over another, and codings no browser decodes, are not read.
  EXPECT_EQ(ContentCodingOf("gzip, br"), ContentCoding::Unsupported);
  EXPECT_EQ(ContentCodingOf("compress"), ContentCoding::Unsupported);
  EXPECT_EQ(ContentDecode(ContentCoding::Unsupported, Bytes{1, 2, 3}, 100).end, DecodeEnd::Unsupported);
}

}  // namespace
