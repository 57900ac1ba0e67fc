// Segments without a playlist: the address pattern and sequence number of
// each, and the runs they form.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/streams/segment_groups.h"

namespace {

TEST(SegmentGroupsTest, TheLastRunOfDigitsBeforeTheExtensionOfTheFinalPathSegmentIsTheNumber) {
  struct Case {
    const char* address;
    const char* pattern;
    std::uint64_t number;
  };
  const Case cases[] = {
      {"https://v.test/h264/720/seg-17.ts", "https://v.test/h264/720/seg-{#}.ts", 17},
      {"https://v.test/a/chunk_0001_00042.m4s?tok=99#t", "https://v.test/a/chunk_0001_{#}.m4s?tok=99", 42},
      {"https://v.test/a/3/seg9", "https://v.test/a/3/seg{#}", 9},
      {"https://v.test:8080/x/007.ts", "https://v.test:8080/x/{#}.ts", 7},
      {"/rel/seg5.ts", "/rel/seg{#}.ts", 5},
      {"https://v.test/q/part3.tar.m4s", "https://v.test/q/part{#}.tar.m4s", 3},
  };
  for (const Case& c : cases) {
    const auto split = SegmentAddressSplitOf(c.address);
    ASSERT_TRUE(split.has_value()) << c.address;
    EXPECT_EQ(split->pattern, c.pattern);
    EXPECT_EQ(split->number, c.number) << c.address;
  }
  // Digits only in folders, the host or the query are no sequence number.
  for (const char* none : {"https://v1.test/720/seg.ts", "https://v.test/720/init.mp4",
                           "https://v.test/a.mp3", "https://v.test/a/seg.ts?n=5", "https://v.test/12/",
                           "https://v.test", "", "https://v.test/a/s1234567890123456789.ts"})
    EXPECT_FALSE(SegmentAddressSplitOf(none).has_value()) << none;
  // Widths do not matter: seg9 and seg10 are one pattern.
  EXPECT_EQ(SegmentAddressSplitOf("https://v.test/seg9.ts")->pattern,
            SegmentAddressSplitOf("https://v.test/seg10.ts")->pattern);
}

TEST(SegmentGroupsTest, OneGroupPerRunOfConsecutiveNumbersPerPattern) {
  const std::vector<std::string> addresses = {
      "https://v.test/720/seg-3.ts",   // 0
      "https://v.test/720/seg-1.ts",   // 1
      "https://v.test/audio/a-1.aac",  // 2
      "https://v.test/720/seg-2.ts",   // 3
      "https://v.test/720/seg-6.ts",   // 4  after a hole: a run of its own
      "https://v.test/720/seg-7.ts",   // 5
      "https://v.test/720/seg-2.ts",   // 6  the same segment again
      "https://v.test/logo.png",       // 7  no number
      "https://v.test/1080/seg-4.ts",  // 8  another folder: another pattern
  };
  const std::vector<SegmentGroup> groups = SegmentGroupsForm(addresses);
  ASSERT_EQ(groups.size(), 4u);
  EXPECT_EQ(groups[0].pattern, "https://v.test/1080/seg-{#}.ts");
  EXPECT_EQ(groups[0].members, (std::vector<std::size_t>{8}));
  EXPECT_EQ(groups[1].pattern, "https://v.test/720/seg-{#}.ts");
  EXPECT_EQ(groups[1].firstNumber, 1u);
  EXPECT_EQ(groups[1].lastNumber, 3u);
  EXPECT_EQ(groups[1].members, (std::vector<std::size_t>{1, 3, 0}));
  EXPECT_EQ(groups[2].pattern, "https://v.test/720/seg-{#}.ts");
  EXPECT_EQ(groups[2].firstNumber, 6u);
  EXPECT_EQ(groups[2].members, (std::vector<std::size_t>{4, 5}));
  EXPECT_EQ(groups[3].pattern, "https://v.test/audio/a-{#}.aac");
  EXPECT_TRUE(SegmentGroupsForm({}).empty());
}

}  // namespace
