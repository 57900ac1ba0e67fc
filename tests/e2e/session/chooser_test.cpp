// The save folder picked with the directory chooser from the main window's
// browse button, as a person does it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/e2e/driver/poll.h"
#include "tests/e2e/session/main_window_parts.h"

using namespace e2e;

TEST(DirectoryChooser, CancelAtFirstUseEmptiesTheSaveFolderAndAConfirmedPathSticks) {
  ProgramUnderTest program;
  ProgramSetup setup;
  setup.executable = ProductExecutable();
  ASSERT_TRUE(program.Start(setup)) << program.Error();
  Window main = program.WaitWindow(kMainCaption);
  ASSERT_TRUE(main);
  MainWindowParts parts(main);
  Window browse = parts.Button("浏览...");

  ASSERT_TRUE(browse.Click());
  Window chooser = program.WaitWindow(kChooserCaption);
  ASSERT_TRUE(chooser);
  const POINT offset = OffsetFromScreenCentre(chooser);
  EXPECT_LE(std::abs(offset.x), 1);
  EXPECT_LE(std::abs(offset.y), 1);
  EXPECT_FALSE(main.IsEnabled()) << "the chooser is modal";
  EXPECT_EQ(chooser.Child(kChooserPromptLabelId).Text(), "请选择具体的目标目录");
  EXPECT_FALSE(chooser.ChildByClassText("Button", "新建目录").IsVisible());
  Window path = chooser.Child(kChooserPathBoxId);
  EXPECT_EQ(path.Text(), GbkFromWide(program.ProgramFolder()));
  DWORD start = 1, end = 0;
  path.Send(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 0u);
  EXPECT_GT(end, 0u) << "the whole path is selected";

  ASSERT_TRUE(chooser.ChildByClassText("Button", "取消").Click());
  ASSERT_TRUE(chooser.WaitGone());
  EXPECT_TRUE(parts.SaveLabel().WaitText(""));
  EXPECT_TRUE(main.WaitEnabled(true));

  // A typed path confirmed with Enter becomes the label's bare text.
  ASSERT_TRUE(browse.Click());
  chooser = program.WaitWindow(kChooserCaption);
  ASSERT_TRUE(chooser);
  path = chooser.Child(kChooserPathBoxId);
  const std::string typed = GbkFromWide(program.Files().Path(L"saved"));
  ASSERT_TRUE(path.SetText(typed));
  // Enter goes where the keyboard focus is, which the chooser takes a moment after it shows.
  ASSERT_TRUE(WaitUntil([&] {
    const Window focused = FocusedWindow(chooser.ThreadId());
    return focused && (focused.Handle() == chooser.Handle() || IsChild(chooser.Handle(), focused.Handle()));
  }));
  ASSERT_TRUE(PressKeyInThread(chooser.ThreadId(), VK_RETURN));
  ASSERT_TRUE(chooser.WaitGone());
  EXPECT_TRUE(parts.SaveLabel().WaitText(typed));

  // A later cancel returns the folder confirmed before.
  ASSERT_TRUE(browse.Click());
  chooser = program.WaitWindow(kChooserCaption);
  ASSERT_TRUE(chooser);
  ASSERT_TRUE(chooser.CloseBox());
  ASSERT_TRUE(chooser.WaitGone());
  EXPECT_TRUE(parts.SaveLabel().WaitText(typed));
}
