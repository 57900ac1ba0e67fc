#include <gtest/gtest.h>

#include "runtime/core/runtime_error.h"

TEST(RuntimeErrorMessage, CodeAndTextEachAddTheirOwnPart) {
  EXPECT_EQ(RuntimeErrorMessage(RuntimeErrorCodeText(6), 6),
            "运行时出错!\r\n\r\n错误代码：6\r\n\r\n错误信息：调用DLL命令后发现堆栈错误\r\n");
  EXPECT_EQ(RuntimeErrorMessage("", 2), "运行时出错!\r\n\r\n错误代码：2\r\n\r\n");
  EXPECT_EQ(RuntimeErrorMessage("载入启动窗口失败", 0), "运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n");
  EXPECT_EQ(RuntimeErrorMessage("", 0), "运行时出错!\r\n\r\n");
}

TEST(RuntimeErrorMessage, UnknownCodesHaveNoText) {
  EXPECT_TRUE(RuntimeErrorCodeText(0).empty());
  EXPECT_TRUE(RuntimeErrorCodeText(12).empty());
  EXPECT_TRUE(RuntimeErrorCodeText(-1).empty());
  EXPECT_EQ(RuntimeErrorCodeText(11), "所提供参数的数据类型不符合要求");
}
