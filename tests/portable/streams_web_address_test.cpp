// Resolving segment addresses against their playlist's: the examples of
// RFC 3986 section 5.4 (fragments dropped, as segments are fetched), and the
// shapes playlists use.
#include <gtest/gtest.h>

#include <string>

#include "app/streams/web_address.h"

namespace {

struct Example {
  const char* reference;
  const char* expected;
};

TEST(WebAddressTest, NormalExamplesOfTheRfcResolve) {
  const char* base = "http://a/b/c/d;p?q";
  const Example examples[] = {
      {"g:h", "g:h"},
      {"g", "http://a/b/c/g"},
      {"./g", "http://a/b/c/g"},
      {"g/", "http://a/b/c/g/"},
      {"/g", "http://a/g"},
      {"//g", "http://g"},
      {"?y", "http://a/b/c/d;p?y"},
      {"g?y", "http://a/b/c/g?y"},
      {"#s", "http://a/b/c/d;p?q"},
      {"g#s", "http://a/b/c/g"},
      {"g?y#s", "http://a/b/c/g?y"},
      {";x", "http://a/b/c/;x"},
      {"g;x", "http://a/b/c/g;x"},
      {"", "http://a/b/c/d;p?q"},
      {".", "http://a/b/c/"},
      {"./", "http://a/b/c/"},
      {"..", "http://a/b/"},
      {"../", "http://a/b/"},
      {"../g", "http://a/b/g"},
      {"../..", "http://a/"},
      {"../../", "http://a/"},
      {"../../g", "http://a/g"},
  };
  for (const Example& e : examples)
    EXPECT_EQ(WebAddressResolve(base, e.reference), e.expected) << e.reference;
}

TEST(WebAddressTest, AbnormalExamplesOfTheRfcResolve) {
  const char* base = "http://a/b/c/d;p?q";
  const Example examples[] = {
      {"../../../g", "http://a/g"},
      {"../../../../g", "http://a/g"},
      {"/./g", "http://a/g"},
      {"/../g", "http://a/g"},
      {"g.", "http://a/b/c/g."},
      {".g", "http://a/b/c/.g"},
      {"g..", "http://a/b/c/g.."},
      {"..g", "http://a/b/c/..g"},
      {"./../g", "http://a/b/g"},
      {"./g/.", "http://a/b/c/g/"},
      {"g/./h", "http://a/b/c/g/h"},
      {"g/../h", "http://a/b/c/h"},
      {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
      {"g;x=1/../y", "http://a/b/c/y"},
      {"g?y/./x", "http://a/b/c/g?y/./x"},
      {"g?y/../x", "http://a/b/c/g?y/../x"},
      {"g#s/./x", "http://a/b/c/g"},
      {"http:g", "http:g"},
  };
  for (const Example& e : examples)
    EXPECT_EQ(WebAddressResolve(base, e.reference), e.expected) << e.reference;
}

TEST(WebAddressTest, PlaylistShapesResolve) {
  // A CDN address with a token in the query: the segment gets its own query.
  EXPECT_EQ(WebAddressResolve("https://cdn.test/v/720p/index.m3u8?token=abc", "seg-1.ts"),
            "https://cdn.test/v/720p/seg-1.ts");
  EXPECT_EQ(WebAddressResolve("https://cdn.test/v/720p/index.m3u8?token=abc", "seg-1.ts?token=def"),
            "https://cdn.test/v/720p/seg-1.ts?token=def");
  // Authority without a path: the merge starts from "/".
  EXPECT_EQ(WebAddressResolve("https://cdn.test", "a.ts"), "https://cdn.test/a.ts");
  EXPECT_EQ(WebAddressResolve("https://cdn.test?x", "?y"), "https://cdn.test?y");
  // Scheme-relative and absolute references replace what they name.
  EXPECT_EQ(WebAddressResolve("https://cdn.test/a/b.mpd", "//other.test/c/d.m4s"),
            "https://other.test/c/d.m4s");
  EXPECT_EQ(WebAddressResolve("https://cdn.test/a/b.mpd", "http://x.test/./y/../z.m4s"),
            "http://x.test/z.m4s");
  // A BaseURL folder then a relative template result.
  EXPECT_EQ(WebAddressResolve(WebAddressResolve("https://cdn.test/a/b.mpd", "media/"), "v1/init.mp4"),
            "https://cdn.test/a/media/v1/init.mp4");
  // Blanks around a URI line are not part of it; a base without a scheme still merges.
  EXPECT_EQ(WebAddressResolve("https://cdn.test/a/b.m3u8", " \tc.ts \t"), "https://cdn.test/a/c.ts");
  EXPECT_EQ(WebAddressResolve("a/b.m3u8", "c.ts"), "a/c.ts");
}

TEST(WebAddressTest, SplitKeepsAbsentAndEmptyPartsApart) {
  const WebAddressParts full = WebAddressSplit("https://u@h:8/p/q.ts?x=1#f");
  EXPECT_EQ(full.scheme, "https");
  EXPECT_EQ(full.authority, "u@h:8");
  EXPECT_EQ(full.path, "/p/q.ts");
  EXPECT_EQ(full.query, "x=1");
  EXPECT_EQ(full.fragment, "f");
  const WebAddressParts bare = WebAddressSplit("seg.ts?");
  EXPECT_FALSE(bare.hasScheme);
  EXPECT_FALSE(bare.hasAuthority);
  EXPECT_EQ(bare.path, "seg.ts");
  EXPECT_TRUE(bare.hasQuery);
  EXPECT_TRUE(bare.query.empty());
  // A colon after a slash is no scheme.
  EXPECT_FALSE(WebAddressSplit("a/b:c").hasScheme);
  EXPECT_FALSE(WebAddressSplit("1a:b").hasScheme);
}

}  // namespace
