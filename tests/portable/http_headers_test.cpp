// Stored response headers (Chromium's pickled response info and plain CRLF
// text) and the URLs inside Chromium's cache keys.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/browser_caches/cache_key.h"
#include "app/browser_caches/http_headers.h"

namespace {

// Builds a pickle as base::Pickle writes it: a payload size, then 4-byte
// aligned fields.
struct PickleBuilder {
  std::vector<std::uint8_t> payload;
  PickleBuilder& Int(std::uint32_t value) {
    for (int i = 0; i < 4; ++i) payload.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return *this;
  }
  PickleBuilder& Int64(std::uint64_t value) {
    Int(static_cast<std::uint32_t>(value));
    return Int(static_cast<std::uint32_t>(value >> 32));
  }
  PickleBuilder& String(std::string_view text) {
    Int(static_cast<std::uint32_t>(text.size()));
    payload.insert(payload.end(), text.begin(), text.end());
    while (payload.size() % 4 != 0) payload.push_back(0);
    return *this;
  }
  std::vector<std::uint8_t> Bytes() const {
    std::vector<std::uint8_t> bytes;
    const auto size = static_cast<std::uint32_t>(payload.size());
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
  }
};

using namespace std::string_view_literals;

constexpr std::string_view kRangeBlock =
    "HTTP/1.1 206 Partial Content\0Content-Type: Video/MP4; charset=binary\0Content-Range: bytes "
    "0-1048575/1198941\0Content-Length: 1048576\0ETag: \"abc\"\0\0"sv;

TEST(HttpHeadersTest, CurrentPickleWithExtraFlagsAndOriginalResponseTime) {
  PickleBuilder pickle;
  pickle.Int(0x80000000u | 0x10000u | 3).Int(4).Int64(1).Int64(2).Int64(3).String(kRangeBlock);
  pickle.String("127.0.0.1").Int(8765);
  const auto summary = ChromiumResponseInfoParse(pickle.Bytes());
  ASSERT_TRUE(summary);
  EXPECT_EQ(summary->status, 206);
  EXPECT_EQ(summary->contentType, "video/mp4");
  EXPECT_EQ(summary->rangeTotal, 1198941u);
  EXPECT_EQ(summary->contentLength, 1048576u);
  EXPECT_EQ(HttpFullLength(*summary), 1198941u);
}

TEST(HttpHeadersTest, OlderPicklesWithoutExtraFlagsOrOriginalTime) {
  const std::string_view block = "HTTP/1.1 200 OK\0Content-Type: audio/mpeg\0Content-Length: 4000\0\0"sv;
  PickleBuilder old;
  old.Int(3).Int64(1).Int64(2).String(block);
  auto summary = ChromiumResponseInfoParse(old.Bytes());
  ASSERT_TRUE(summary);
  EXPECT_EQ(summary->status, 200);
  EXPECT_EQ(summary->contentType, "audio/mpeg");
  EXPECT_EQ(HttpFullLength(*summary), 4000u);

  PickleBuilder extraOnly;  // extra flags, but no original response time
  extraOnly.Int(0x80000000u | 3).Int(1).Int64(1).Int64(2).String(block);
  summary = ChromiumResponseInfoParse(extraOnly.Bytes());
  ASSERT_TRUE(summary);
  EXPECT_EQ(summary->contentLength, 4000u);
}

// RESPONSE_INFO_TRUNCATED (1 << 12): the browser stopped writing the body,
// in the layout before 2025 and in the one with extra flags.
TEST(HttpHeadersTest, TheTruncatedFlagIsReadInEveryLayout) {
  const std::string_view block = "HTTP/1.1 200 OK\0Content-Length: 4000\0\0"sv;
  PickleBuilder old;
  old.Int((1u << 12) | 3).Int64(1).Int64(2).String(block);
  PickleBuilder current;
  current.Int(0x80000000u | (1u << 12) | (1u << 13) | 3).Int(4 | 2).Int64(1).Int64(2).Int64(3).String(block);
  for (const PickleBuilder* pickle : {&old, &current}) {
    const auto summary = ChromiumResponseInfoParse(pickle->Bytes());
    ASSERT_TRUE(summary);
    EXPECT_TRUE(summary->truncated);
    EXPECT_EQ(HttpFullLength(*summary), 4000u);
  }
  PickleBuilder whole;
  whole.Int(0x80000000u | (1u << 13) | 3).Int(4).Int64(1).Int64(2).Int64(3).String(block);
  const auto summary = ChromiumResponseInfoParse(whole.Bytes());
  ASSERT_TRUE(summary);
  EXPECT_FALSE(summary->truncated);
}

TEST(HttpHeadersTest, DamagedPicklesAreRefused) {
  PickleBuilder pickle;
  pickle.Int(0x80000000u | 3).Int(4).Int64(1).Int64(2).Int64(3).String(kRangeBlock);
  const auto good = pickle.Bytes();
  // Every truncation leaves the payload shorter than its stated size.
  for (std::size_t n = 0; n < good.size(); ++n) {
    std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_FALSE(ChromiumResponseInfoParse(cut)) << n;  // the payload size says more
  }
  // A string length past the end.
  PickleBuilder longString;
  longString.Int(3).Int64(1).Int64(2).Int(0xFFFFFFF0u);
  EXPECT_FALSE(ChromiumResponseInfoParse(longString.Bytes()));
  // A header block that is not HTTP.
  PickleBuilder notHttp;
  notHttp.Int(3).Int64(1).Int64(2).String("garbage\0"sv);
  EXPECT_FALSE(ChromiumResponseInfoParse(notHttp.Bytes()));
}

TEST(HttpHeadersTest, CrlfTextAsFirefoxStoresIt) {
  const auto summary = HttpHeadersParse(
      "HTTP/1.1 200 OK\r\nDate: x\r\ncontent-type: audio/webm;codecs=opus\r\nCONTENT-ENCODING: GZip\r\n"
      "Content-Length: 77\r\n");
  ASSERT_TRUE(summary);
  EXPECT_EQ(summary->status, 200);
  EXPECT_EQ(summary->contentType, "audio/webm");
  EXPECT_EQ(summary->contentEncoding, "gzip");
  EXPECT_EQ(summary->contentLength, 77u);
  EXPECT_FALSE(summary->rangeTotal);

  const auto identity =
      HttpHeadersParse("HTTP/1.1 206 Partial\nContent-Encoding: identity\nContent-Range: bytes */500\n");
  ASSERT_TRUE(identity);
  EXPECT_EQ(identity->contentEncoding, "");
  EXPECT_EQ(identity->rangeTotal, 500u);
  // An unknown total, a malformed length and an unknown status.
  const auto odd = HttpHeadersParse("HTTP/1.1 2x6 X\nContent-Range: bytes 0-9/*\nContent-Length: 12a\n");
  ASSERT_TRUE(odd);
  EXPECT_EQ(odd->status, 0);
  EXPECT_FALSE(odd->rangeTotal);
  EXPECT_FALSE(odd->contentLength);
  EXPECT_FALSE(HttpFullLength(*odd));
  EXPECT_FALSE(HttpHeadersParse("Content-Type: video/mp4\r\n"));
  EXPECT_FALSE(HttpHeadersParse(""));
  // A 206 without Content-Range has no known full length.
  const auto partial = HttpHeadersParse("HTTP/1.1 206 Partial\r\nContent-Length: 10\r\n");
  ASSERT_TRUE(partial);
  EXPECT_FALSE(HttpFullLength(*partial));
}

TEST(CacheKeyTest, UrlIsTakenFromEveryKeyForm) {
  EXPECT_EQ(CacheKeyUrl("1/0/_dk_http://127.0.0.1 http://127.0.0.1 http://127.0.0.1:8765/clip.mp4"),
            "http://127.0.0.1:8765/clip.mp4");
  EXPECT_EQ(CacheKeyUrl("1/0/https://example.com/a.webm"), "https://example.com/a.webm");
  EXPECT_EQ(CacheKeyUrl("0/https://example.com/a.webm"), "https://example.com/a.webm");
  EXPECT_EQ(CacheKeyUrl("https://example.com/a.webm"), "https://example.com/a.webm");
  EXPECT_EQ(CacheKeyUrl("1/0/_dk_s_ s_"), "");
  EXPECT_EQ(CacheKeyUrl("12345"), "");
  EXPECT_EQ(CacheKeyUrl(""), "");
}

// Keys as GenerateCacheKey writes them: credentials and upload id, the
// split cache's "_dk_" with its "s_" and "cn_" prefixes, both sites and a
// partition number; the URL after the last blank.
TEST(CacheKeyTest, EveryFieldOfTheGrammar) {
  auto parts = CacheKeyParse("0/-4711/_dk_s_cn_https://top.test https://frame.test 2 https://cdn.test/a b.m3u8");
  EXPECT_FALSE(parts);  // a blank inside the URL: the browser escapes it, so this is no key of its
  parts = CacheKeyParse("0/8765432109876543210/_dk_s_cn_https://top.test https://frame.test:8443 2 https://cdn.test/v.mp4");
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->credentials, false);
  EXPECT_EQ(parts->uploadId, 8765432109876543210);
  EXPECT_TRUE(parts->doubleKeyed && parts->subframeDocument && parts->crossSiteNavigation);
  EXPECT_EQ(parts->topFrameSite, "https://top.test");
  EXPECT_EQ(parts->frameSite, "https://frame.test:8443");
  EXPECT_EQ(parts->partition, 2);
  EXPECT_EQ(parts->url, "https://cdn.test/v.mp4");

  parts = CacheKeyParse("1/0/_dk_cn_https://a.test https://a.test https://a.test/x.ts");
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->credentials, true);
  EXPECT_FALSE(parts->subframeDocument);
  EXPECT_TRUE(parts->crossSiteNavigation);
  EXPECT_FALSE(parts->partition);
  EXPECT_EQ(parts->url, "https://a.test/x.ts");

  parts = CacheKeyParse("7/https://old.test/a.mp3");  // before the credentials digit: "<upload id>/"
  ASSERT_TRUE(parts);
  EXPECT_FALSE(parts->credentials);
  EXPECT_EQ(parts->uploadId, 7);
  EXPECT_FALSE(parts->doubleKeyed);
}

// What the grammar does not know is still an element: its address is the
// key's own text.
TEST(CacheKeyTest, AKeyOutsideTheGrammarIsShownAsItsText) {
  for (const std::string_view key :
       {"1/0/_dk_https://a.test https://a.test x y z https://a.test/v.mp4",  // fields of a newer browser
        "1/0/_dk_https://a.test https://a.test", "2/0/_xx_https://a.test/v.mp4", "1/0/_dk_s_ s_", "12345"}) {
    SCOPED_TRACE(key);
    EXPECT_FALSE(CacheKeyParse(key));
    EXPECT_EQ(CacheKeyUrl(key), "");
    EXPECT_EQ(CacheKeyAddress(key), key);
  }
  EXPECT_EQ(CacheKeyAddress("1/0/_dk_https://a.test https://b.test 3 https://c.test/v.mp4"), "https://c.test/v.mp4");
}

TEST(CacheKeyTest, RangeChildKeysNameTheirParent) {
  const std::string parent = "1/0/_dk_http://127.0.0.1 http://127.0.0.1 http://127.0.0.1:8765/clip.mp4";
  const std::string childKey = "Range_" + parent + ":1a2b3c4d5e6f:1f";
  auto child = RangeChildKeyParse(childKey);
  ASSERT_TRUE(child);
  EXPECT_EQ(child->parentKey, parent);
  EXPECT_EQ(child->signature, 0x1a2b3c4d5e6fu);
  EXPECT_EQ(child->childIndex, 0x1fu);
  EXPECT_FALSE(RangeChildKeyParse(parent));
  EXPECT_FALSE(RangeChildKeyParse("Range_:1:2"));
  EXPECT_FALSE(RangeChildKeyParse("Range_x:1g:2"));
  EXPECT_FALSE(RangeChildKeyParse("Range_x:1:"));
  EXPECT_FALSE(RangeChildKeyParse("Range_x:12345678901234567:2"));
  EXPECT_FALSE(RangeChildKeyParse("Range_x2"));
}

}  // namespace
