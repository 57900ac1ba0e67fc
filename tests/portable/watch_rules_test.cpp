#include <gtest/gtest.h>

#include <cstdint>

#include "app/program_state/watch_rules.h"

TEST(SaveFolderConflicts, IsAByteWisePrefixTestIgnoringAsciiCase) {
  EXPECT_TRUE(SaveFolderConflicts("D:\\CACHE\\x", "d:\\cache\\"));
  EXPECT_TRUE(SaveFolderConflicts("C:\\Users\\me\\Desktop\\out", "C:\\Users\\me\\"));
  EXPECT_TRUE(SaveFolderConflicts("C:\\Users\\me\\", "C:\\Users\\me\\"));
  // The watched folder's own name without its trailing separator passes.
  EXPECT_FALSE(SaveFolderConflicts("C:\\Users\\me", "C:\\Users\\me\\"));
  EXPECT_FALSE(SaveFolderConflicts("D:\\Saved", "C:\\Users\\me\\"));
  // Not a path-component test: a sibling sharing the prefix conflicts.
  EXPECT_TRUE(SaveFolderConflicts("C:\\Users\\meg\\x", "C:\\Users\\me"));
}

TEST(SaveFolderConflicts, EmptyWatchedFolderConflictsWithEverything) {
  EXPECT_TRUE(SaveFolderConflicts("D:\\Saved", ""));
  EXPECT_TRUE(SaveFolderConflicts("", ""));
  EXPECT_FALSE(SaveFolderConflicts("", "C:\\"));
}

TEST(SaveFolderConflicts, DoubleByteCharactersAreNotCaseFolded) {
  // 0xC4 0x41 is one character whose second byte looks like 'A'.
  EXPECT_FALSE(SaveFolderConflicts("C:\\\xC4\x41\\x", "c:\\\xC4\x61\\"));
  EXPECT_TRUE(SaveFolderConflicts("C:\\\xC4\x41\\X", "c:\\\xC4\x41\\x"));
}

TEST(ReadingTimeSufficient, MoreThanFifteenSecondsIsRequired) {
  EXPECT_FALSE(ReadingTimeSufficient(1000, 1000 + 3000));
  EXPECT_FALSE(ReadingTimeSufficient(1000, 1000 + 15000));
  EXPECT_TRUE(ReadingTimeSufficient(1000, 1000 + 15001));
  EXPECT_TRUE(ReadingTimeSufficient(-20000, -4000));
}

TEST(ReadingTimeSufficient, TickCounterPassingTwoToTheThirtyOneIsTooShort) {
  const std::int64_t shownAt = INT32_MAX - 1000;
  const std::int32_t now = INT32_MIN + 30000;  // 31 s later, but the signed value wrapped
  EXPECT_FALSE(ReadingTimeSufficient(shownAt, now));
}
