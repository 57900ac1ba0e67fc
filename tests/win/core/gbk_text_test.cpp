#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

// The program's texts are written in UTF-8 sources but must reach the
// ANSI functions as GBK bytes.
TEST(GbkText, LiteralsAreGbkBytesAtRunTime) {
  const char* text = "警示信息";
  const unsigned char expected[] = {0xBE, 0xAF, 0xCA, 0xBE, 0xD0, 0xC5, 0xCF, 0xA2, 0x00};
  ASSERT_EQ(std::strlen(text), 8u);
  EXPECT_EQ(std::memcmp(text, expected, sizeof expected), 0);
}

TEST(GbkText, ProcessRunsInCodePage936) {
  // Names and messages are converted with the ANSI code page; the test bed must be GBK.
  EXPECT_EQ(GetACP(), 936u);
  wchar_t wide[8] = {};
  ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, "警示信息", -1, wide, 8), 5);
  EXPECT_EQ(wide[0], 0x8B66);  // 警
}
