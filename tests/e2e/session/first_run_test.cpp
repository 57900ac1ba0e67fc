// The first start: the welcome notice, the help that must be read for 15
// seconds, and the main window filled in afterwards.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/session/main_window_parts.h"

using namespace e2e;

TEST(FirstRun, HelpMustBeReadAndTheFlagIsWrittenBeforeTheTimeCheck) {
  ProgramUnderTest program;
  ProgramSetup setup;
  setup.executable = ProductExecutable();
  setup.settings = std::nullopt;
  ASSERT_TRUE(program.Start(setup)) << program.Error();

  MessageBoxWindow welcome = program.WaitMessageBox("警示信息 - 欢迎使用");
  ASSERT_TRUE(welcome);
  EXPECT_EQ(
      welcome.Message(),
      "尊敬的用户，这是您第一次使用Velmir网页元素提取工具，本程序将先加载帮助窗口，请仔细阅读再开始使用！");
  EXPECT_FALSE(welcome.HasIcon());
  EXPECT_FALSE(FindTopLevel(program.Id(), kMainCaption)) << "the main window shows only after the help";
  ASSERT_TRUE(welcome.Answer(IDOK));

  Window about = program.WaitWindow(kAboutCaption);
  ASSERT_TRUE(about);
  Window ok = about.ChildByClassText("Button", "确定");
  ASSERT_TRUE(ok);
  ASSERT_TRUE(ok.Click());  // far less than 15 s after the window appeared
  MessageBoxWindow tooShort = program.WaitMessageBox("警示信息 - 阅读时间太短");
  ASSERT_TRUE(tooShort);
  EXPECT_NE(tooShort.Message().find("您的阅读时间至少应为15秒"), std::string::npos);
  // The acknowledgement is already stored although the window stays.
  const auto settings = program.Files().ReadFile(L"program\\setting.ini");
  ASSERT_TRUE(settings);
  EXPECT_NE(settings->find("First=1"), std::string::npos) << *settings;
  ASSERT_TRUE(tooShort.Answer(IDOK));
  EXPECT_TRUE(about.Exists());

  ASSERT_TRUE(ok.Click());  // any later click closes it
  EXPECT_TRUE(about.WaitGone());

  Window main = program.WaitWindow(kMainCaption);
  ASSERT_TRUE(main);
  MainWindowParts parts(main);
  EXPECT_EQ(parts.WatchedBox().Text(), GbkFromWide(program.HomeFolder()) + "\\");
  EXPECT_EQ(parts.SaveLabel().Text(), "当前目录：" + GbkFromWide(program.ProgramFolder()));
}

TEST(FirstRun, AcknowledgedValuesShowNoHelp) {
  for (const char* settings : {"[Setting]\r\nFirst=00\r\n", "[Setting]\r\nFirst=\r\n"}) {
    ProgramUnderTest program;
    ProgramSetup setup;
    setup.executable = ProductExecutable();
    setup.settings = settings;
    ASSERT_TRUE(program.Start(setup)) << program.Error();
    Window main = program.WaitWindow(kMainCaption);
    ASSERT_TRUE(main) << settings;
    EXPECT_TRUE(MessageBoxes(program.Id()).empty()) << settings;
    EXPECT_FALSE(FindTopLevel(program.Id(), kAboutCaption)) << settings;
  }
}

TEST(FirstRun, AboutWindowFromTheMainWindowClosesAtOnceOnceAcknowledged) {
  ProgramUnderTest program;
  ProgramSetup setup;
  setup.executable = ProductExecutable();
  ASSERT_TRUE(program.Start(setup)) << program.Error();
  Window main = program.WaitWindow(kMainCaption);
  ASSERT_TRUE(main);
  ASSERT_TRUE(main.ChildByClassText("Button", "关于").Click());
  Window about = program.WaitWindow(kAboutCaption);
  ASSERT_TRUE(about);
  EXPECT_TRUE(main.IsEnabled()) << "the about window is not modal here";
  ASSERT_TRUE(about.ChildByClassText("Button", "确定").Click());
  EXPECT_TRUE(about.WaitGone());
  EXPECT_TRUE(MessageBoxes(program.Id()).empty());
}
