// The main window as a person meets it: its frame, every control with its
// caption, place and first state, and what the window does when clicked,
// hidden, restored from the notification area, closed and exited.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/e2e/driver/gbk.h"
#include "tests/e2e/driver/program.h"
#include "tests/e2e/session/running_program.h"

namespace e2e {
namespace {

// Control identifiers: the engine numbers controls 100, 110, ... from the
// last unit of the template to the first.
enum MainControl {
  kStartButton = 100,
  kStopButton = 110,
  kAboutButton = 120,
  kTitleLabel = 130,
  kFolderGroup = 140,
  kFolderNote = 150,
  kWatchedFolderBox = 160,
  kWatchedFolderTitle = 170,
  kFormatGroup = 180,
  kVideoBox = 190,
  kAudioBox = 200,
  kCustomBox = 210,
  kCustomInput = 220,
  kCustomHint = 230,
  kSaveGroup = 240,
  kExitButton = 250,
  kSaveFolderTitle = 260,
  kSaveFolderLabel = 270,
  kBrowseButton = 280,
  kHideButton = 290,
  kMotto = 300,
};

std::string WithoutCarriageReturns(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

class MainWindowTest : public RunningProgram {
 protected:
  Window Control(int id) const { return main.Child(id); }
};

TEST_F(MainWindowTest, FrameCaptionSizeAndPlace) {
  EXPECT_EQ(main.Text(), kMainCaption);
  EXPECT_EQ(main.Width(), 664);
  EXPECT_EQ(main.Height(), 474);
  const POINT offset = OffsetFromScreenCentre(main);
  EXPECT_LE(std::abs(offset.x), 1) << "not centred across the screen";
  EXPECT_LE(std::abs(offset.y), 1) << "not centred down the screen";
  EXPECT_TRUE(main.HasStyle(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX));
  EXPECT_FALSE(main.HasStyle(WS_MAXIMIZEBOX));
  EXPECT_FALSE(main.HasStyle(WS_THICKFRAME)) << "the frame must not be resizable";
  EXPECT_FALSE(main.ExStyle() & WS_EX_TOOLWINDOW) << "the window belongs in the taskbar";
  EXPECT_EQ(GetWindow(main.Handle(), GW_OWNER), nullptr);
  EXPECT_TRUE(main.IsVisible());
  EXPECT_TRUE(main.IsEnabled());
}

struct ControlRow {
  int id;
  const char* className;  // empty: the engine's own label class
  const char* text;
  int container;  // 0: the window
  int left, top, width, height;
  bool enabled;
};

TEST_F(MainWindowTest, EveryControlHasItsCaptionPlaceAndFirstState) {
  const ControlRow rows[] = {
      {kHideButton, "Button", "隐藏界面", 0, 152, 402, 90, 30, true},
      {kBrowseButton, "Button", "浏览...", kSaveGroup, 122, 17, 80, 24, true},
      {kSaveFolderTitle, "", "选择元素保存目录", kSaveGroup, 17, 23, 264, 16, true},
      {kExitButton, "Button", "退出", 0, 549, 402, 90, 30, true},
      {kSaveGroup, "Button", "元素保存设置", 0, 18, 317, 624, 68, true},
      {kCustomHint, "",
       "提示:格式必须为小写，输入不包括\".\"，用分号(半角)分隔两种格式，格式上限为200，例:ppt;docx;html;",
       kFormatGroup, 22, 86, 578, 16, true},
      {kCustomInput, "Edit", "", kFormatGroup, 112, 58, 492, 24, false},
      {kCustomBox, "Button", "自定义格式", kFormatGroup, 20, 60, 100, 16, true},
      {kAudioBox, "Button", "常见音频格式(wav、aiff、au、mid、mp1、mp2、mp3、ra、rmx、wma、dat)", 0, 38, 110,
       592, 21, true},
      {kVideoBox, "Button",
       "常见视频格式(flv、mp4、f4v、mpeg、mpg、avi、mov、asf、wmv、navi、3gp、rm、rmvb、m4v、hlv、3gp)",
       kFormatGroup, 20, 16, 592, 24, true},
      {kFormatGroup, "Button", "提取元素格式", 0, 18, 73, 624, 112, true},
      {kWatchedFolderTitle, "", "程序自动识别该账户的临时文件所在目录为：", kFolderGroup, 13, 14, 232, 24,
       true},
      {kWatchedFolderBox, "Edit", nullptr, kFolderGroup, 12, 40, 604, 24, true},
      {kFolderNote, "",
       "     "
       "注：由于不同版本操作系统的临时文件目录有差异，为保证提取效果，本程序扩大了监视范围。这会使得上述目录("
       "可能包括桌面)"
       "所出现的元素生成均被识别为网页元素，因此请尽量减少对上述目录内文件的操作，如果您觉得这样有碍使"
       "用，可以手动修改(手动修改请在目录结尾加上'\\')。",
       kFolderGroup, 9, 71, 610, 41, true},
      {kFolderGroup, "Button", "临时文件位置", 0, 18, 193, 624, 120, true},
      {kTitleLabel, "", "Velmir网页元素提取工具", 0, 207, 7, 249, 39, true},
      {kAboutButton, "Button", "关于", 0, 20, 402, 90, 30, true},
      {kStopButton, "Button", "停止", 0, 417, 402, 90, 30, false},
      {kStartButton, "Button", "开始", 0, 285, 402, 90, 30, true},
  };
  for (const ControlRow& row : rows) {
    SCOPED_TRACE("control " + std::to_string(row.id) + " " + (row.text ? row.text : "(filled at start)"));
    const Window control = Control(row.id);
    ASSERT_TRUE(control);
    if (*row.className) {
      EXPECT_EQ(control.ClassName(), row.className);
    }
    if (row.text) {
      EXPECT_EQ(control.Text(), row.text);
    }
    EXPECT_EQ(control.Parent(), row.container ? Control(row.container) : main);
    const POINT at = control.PositionInParent();
    EXPECT_EQ(at.x, row.left);
    EXPECT_EQ(at.y, row.top);
    EXPECT_EQ(control.Width(), row.width);
    EXPECT_EQ(control.Height(), row.height);
    EXPECT_TRUE(control.IsVisible());
    EXPECT_EQ(control.IsEnabled(), row.enabled);
  }
  // The motto's second line is indented by 23 spaces.
  EXPECT_EQ(WithoutCarriageReturns(Control(kMotto).Text()),
            "前进！同志，从一个胜利走向另一个胜利！\n" + std::string(23, ' ') + "——Velmir");
  // No check box is ticked at start.
  for (int box : {kVideoBox, kAudioBox, kCustomBox}) EXPECT_FALSE(Control(box).IsChecked()) << box;
  // The three boxes are check boxes and the groups group boxes.
  for (int box : {kVideoBox, kAudioBox, kCustomBox})
    EXPECT_TRUE((Control(box).Style() & BS_TYPEMASK) == BS_CHECKBOX ||
                (Control(box).Style() & BS_TYPEMASK) == BS_AUTOCHECKBOX)
        << box;
  for (int group : {kSaveGroup, kFormatGroup, kFolderGroup})
    EXPECT_EQ(Control(group).Style() & BS_TYPEMASK, BS_GROUPBOX) << group;
  // The user's extension box takes at most 400 characters on one line.
  EXPECT_EQ(Control(kCustomInput).Send(EM_GETLIMITTEXT, 0, 0).value_or(0), 400);
  EXPECT_FALSE(Control(kCustomInput).Style() & ES_MULTILINE);
  EXPECT_FALSE(Control(kWatchedFolderBox).Style() & (ES_MULTILINE | ES_READONLY));
  // Buttons, check boxes and edit boxes take the focus with Tab, labels and groups do not.
  for (int id : {kHideButton, kBrowseButton, kExitButton, kCustomInput, kCustomBox, kAudioBox, kVideoBox,
                 kWatchedFolderBox, kAboutButton, kStopButton, kStartButton})
    EXPECT_TRUE(Control(id).HasStyle(WS_TABSTOP)) << id;
  for (int id : {kSaveGroup, kFormatGroup, kFolderGroup, kTitleLabel, kMotto, kCustomHint, kFolderNote})
    EXPECT_FALSE(Control(id).HasStyle(WS_TABSTOP)) << id;
}

TEST_F(MainWindowTest, HideButtonHidesAndOnlyATrayDoubleClickRestores) {
  // Single clicks on the icon do nothing to a shown window.
  for (UINT click : {WM_LBUTTONUP, WM_RBUTTONUP, WM_CONTEXTMENU}) ASSERT_TRUE(main.SendTrayEvent(click));
  EXPECT_TRUE(StaysTrue([&] { return main.IsVisible(); }, Milliseconds(500)));

  ASSERT_TRUE(Control(kHideButton).Click());
  ASSERT_TRUE(main.WaitVisible(false));
  EXPECT_TRUE(program.Launched().Running()) << "hiding must not end the program";

  for (UINT click : {WM_LBUTTONUP, WM_RBUTTONUP, WM_CONTEXTMENU}) ASSERT_TRUE(main.SendTrayEvent(click));
  EXPECT_TRUE(StaysTrue([&] { return !main.IsVisible(); }, Milliseconds(500)))
      << "a single click showed the window";

  ASSERT_TRUE(main.SendTrayEvent(WM_LBUTTONDBLCLK));
  EXPECT_TRUE(main.WaitVisible(true));
  // The same double-click hides it again: the icon toggles.
  ASSERT_TRUE(main.SendTrayEvent(WM_LBUTTONDBLCLK));
  EXPECT_TRUE(main.WaitVisible(false));
  ASSERT_TRUE(main.SendTrayEvent(WM_LBUTTONDBLCLK));
  EXPECT_TRUE(main.WaitVisible(true));
}

TEST_F(MainWindowTest, DoubleClickOnTheTitleShowsTheEasterEgg) {
  const Window title = Control(kTitleLabel);
  ASSERT_TRUE(title.MouseClick());
  EXPECT_TRUE(StaysTrue([&] { return MessageBoxes(program.Id()).empty(); }, Milliseconds(500)))
      << "a single click must not show it";

  ASSERT_TRUE(title.MouseDoubleClick());
  const MessageBoxWindow egg = program.WaitMessageBox("呵呵");
  ASSERT_TRUE(egg);
  EXPECT_EQ(egg.Message(), "这是一个彩蛋，呵呵~~~~");
  EXPECT_FALSE(egg.HasIcon());
  EXPECT_EQ(egg.ButtonIds(), std::vector<int>{IDOK});
  // Task-modal on the window thread: the main window waits for the answer.
  EXPECT_FALSE(main.IsEnabled());
  EXPECT_TRUE(egg.Answer(IDOK));
  EXPECT_TRUE(main.WaitEnabled(true));
  EXPECT_TRUE(program.Launched().Running());
}

TEST_F(MainWindowTest, UncheckingTheCustomBoxDisablesItsInputAndDiscardsTheText) {
  const Window box = Control(kCustomBox);
  const Window input = Control(kCustomInput);
  ASSERT_FALSE(input.IsEnabled());

  ASSERT_TRUE(box.SetChecked(true));
  ASSERT_TRUE(input.WaitEnabled(true));
  ASSERT_TRUE(input.TypeText("ppt;docx;html;"));
  EXPECT_EQ(input.Text(), "ppt;docx;html;");

  ASSERT_TRUE(box.SetChecked(false));
  EXPECT_TRUE(input.WaitEnabled(false));
  EXPECT_TRUE(input.WaitText(" ")) << "unchecking must replace the text by one space, got \"" << input.Text()
                                   << "\"";

  ASSERT_TRUE(box.SetChecked(true));
  EXPECT_TRUE(input.WaitEnabled(true));
  EXPECT_EQ(input.Text(), " ");
}

TEST_F(MainWindowTest, EscEndsTheProgram) {
  ASSERT_TRUE(PressKeyInThread(main.ThreadId(), VK_ESCAPE));
  const std::optional<int> code = program.WaitForExit();
  ASSERT_TRUE(code) << "Esc did not end the program";
  EXPECT_EQ(*code, 0);
  EXPECT_FALSE(main.Exists());
}

TEST_F(MainWindowTest, CloseBoxEndsTheProgram) {
  ASSERT_TRUE(main.CloseBox());
  const std::optional<int> code = program.WaitForExit();
  ASSERT_TRUE(code) << "the close box did not end the program";
  EXPECT_EQ(*code, 0);
}

TEST_F(MainWindowTest, ExitButtonEndsTheProgramWithCodeZero) {
  ASSERT_TRUE(Control(kExitButton).Click());
  EXPECT_EQ(program.WaitForExit(), 0);
}

}  // namespace
}  // namespace e2e
