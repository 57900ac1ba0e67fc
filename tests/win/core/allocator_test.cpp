#include <gtest/gtest.h>

#include <cstring>

#include "runtime/core/allocator.h"
#include "runtime/core/text.h"

namespace {
const char kConstantText[] = "constant text built into the program";
}

TEST(Allocator, ConstantDataIsNeverReleasedAndReallocCopiesIt) {
  ASSERT_TRUE(IsStaticBlock(kConstantText));
  void* constant = const_cast<char*>(kConstantText);
  RuntimeFree(constant);  // must be harmless
  auto* copy = static_cast<char*>(RuntimeRealloc(constant, 64));
  ASSERT_NE(copy, kConstantText);
  EXPECT_FALSE(IsStaticBlock(copy));
  EXPECT_EQ(std::memcmp(copy, kConstantText, sizeof kConstantText), 0);
  EXPECT_STREQ(kConstantText, "constant text built into the program");
  RuntimeFree(copy);
}

TEST(Allocator, HeapBlocksAreNotStaticAndResizeKeepsContents) {
  auto* block = static_cast<char*>(RuntimeAlloc(4));
  std::memcpy(block, "abc", 4);
  EXPECT_FALSE(IsStaticBlock(block));
  block = static_cast<char*>(RuntimeRealloc(block, 1 << 20));
  EXPECT_STREQ(block, "abc");
  RuntimeFree(block);
  RuntimeFree(nullptr);
  Text text = "through the runtime allocator";
  text += text;
  EXPECT_EQ(text.size(), 58u);
}
