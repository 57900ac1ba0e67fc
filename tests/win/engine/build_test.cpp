// What a loaded window is made of: classes, identifiers, parents, positions,
// styles and fonts of its controls.
#include <string>

#include "engine_fixture.h"
// After windows.h, which it needs.
#include <commctrl.h>

namespace {

constexpr UnitId kGroup = ControlUnitId(1);
constexpr UnitId kEditInGroup = ControlUnitId(2);
constexpr UnitId kCheckInGroup = ControlUnitId(3);
constexpr UnitId kLabel = ControlUnitId(4);
constexpr UnitId kDefaultButton = ControlUnitId(5);
constexpr UnitId kSpinEdit = ControlUnitId(6);
constexpr UnitId kDisabledButton = ControlUnitId(7);

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

RECT RectInParent(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  MapWindowPoints(HWND_DESKTOP, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

class BuildTest : public EngineTest {
 protected:
  void SetUp() override {
    WindowProperties window;
    window.caption = MakeText("测试窗口");
    window.minimizeButton = 1;
    templates.WindowAdd(kMainId, window, {50, 50, 400, 300});
    GroupBoxProperties group;
    group.caption = MakeText("分组");
    templates.ControlAdd(kMainId, kGroup, kTypeGroupBox, GroupBoxPropertiesEncode(group), {10, 10, 200, 150},
                         kUnitVisible);
    EditBoxProperties edit;
    edit.content = MakeText("abc");
    edit.hideSelection = 0;
    templates.ControlAdd(kMainId, kEditInGroup, kTypeEditBox, EditBoxPropertiesEncode(edit),
                         {12, 40, 100, 24}, kUnitVisible | kUnitTabStop, kGroup);
    templates.ControlAdd(kMainId, kCheckInGroup, kTypeCheckBox, {}, {20, 80, 100, 16},
                         kUnitVisible | kUnitTabStop, kGroup);
    LabelProperties label;
    FontRecord font;
    font.height = -21;
    font.weight = 400;
    font.charSet = 134;
    label.font = font;
    templates.ControlAdd(kMainId, kLabel, kTypeLabel, LabelPropertiesEncode(label), {220, 10, 150, 30},
                         kUnitVisible);
    ButtonProperties button;
    button.buttonType = 1;
    button.caption = MakeText("确定");
    templates.ControlAdd(kMainId, kDefaultButton, kTypeButton, ButtonPropertiesEncode(button),
                         {220, 60, 80, 24});
    EditBoxProperties spin;
    spin.spinnerMode = 1;
    spin.spinnerMaximum = 50;
    templates.ControlAdd(kMainId, kSpinEdit, kTypeEditBox, EditBoxPropertiesEncode(spin), {220, 100, 80, 24});
    templates.ControlAdd(kMainId, kDisabledButton, kTypeButton, {}, {220, 140, 80, 24},
                         kUnitVisible | kUnitDisabled | kUnitTabStop);
    templates.Start();
    ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  }
};

TEST_F(BuildTest, WindowAndControlClassesAndIdentifiers) {
  HWND window = LoadedWindowHandle(kMainId);
  EXPECT_EQ(ClassOf(window), "WTWindow");
  EXPECT_EQ(ClassOf(LoadedWindowHandle(kMainId, kGroup)), "Button");
  EXPECT_EQ(ClassOf(LoadedWindowHandle(kMainId, kEditInGroup)), "Edit");
  EXPECT_EQ(ClassOf(LoadedWindowHandle(kMainId, kCheckInGroup)), "Button");
  EXPECT_NE(ClassOf(LoadedWindowHandle(kMainId, kLabel)), "Static");  // drawn by the engine itself
  EXPECT_EQ(ClassOf(LoadedWindowHandle(kMainId, kDefaultButton)), "Button");

  // Identifiers run from the last unit of the table (100) up to unit 1.
  EXPECT_EQ(GetDlgCtrlID(LoadedWindowHandle(kMainId, kDisabledButton)), 100);
  EXPECT_EQ(GetDlgCtrlID(LoadedWindowHandle(kMainId, kSpinEdit)), 110);
  EXPECT_EQ(GetDlgCtrlID(LoadedWindowHandle(kMainId, kDefaultButton)), 120);
  EXPECT_EQ(GetDlgCtrlID(LoadedWindowHandle(kMainId, kGroup)), 160);
  HWND spinner = GetDlgItem(window, 114);
  ASSERT_NE(spinner, nullptr);
  EXPECT_EQ(ClassOf(spinner), std::string(UPDOWN_CLASSA));
  EXPECT_EQ(reinterpret_cast<HWND>(SendMessageA(spinner, UDM_GETBUDDY, 0, 0)),
            LoadedWindowHandle(kMainId, kSpinEdit));
}

TEST_F(BuildTest, ContainedControlsSitInTheirGroupBoxAtTheirStoredPositions) {
  HWND group = LoadedWindowHandle(kMainId, kGroup);
  HWND edit = LoadedWindowHandle(kMainId, kEditInGroup);
  EXPECT_EQ(GetParent(edit), group);
  EXPECT_EQ(GetParent(LoadedWindowHandle(kMainId, kCheckInGroup)), group);
  EXPECT_EQ(GetParent(LoadedWindowHandle(kMainId, kLabel)), LoadedWindowHandle(kMainId));
  const RECT rect = RectInParent(edit);
  EXPECT_EQ(rect.left, 12);
  EXPECT_EQ(rect.top, 40);
  EXPECT_EQ(rect.right - rect.left, 100);
  EXPECT_EQ(PropertyReadInteger(kMainId, kEditInGroup, kPropertyLeft), 12);
  EXPECT_EQ(PropertyReadInteger(kMainId, kEditInGroup, kPropertyTop), 40);
  // Table order is tab order inside the group box too.
  EXPECT_EQ(GetWindow(group, GW_CHILD), edit);
}

TEST_F(BuildTest, StylesFollowFlagsAndProperties) {
  HWND window = LoadedWindowHandle(kMainId);
  const LONG_PTR windowStyle = GetWindowLongPtrA(window, GWL_STYLE);
  EXPECT_EQ(windowStyle & WS_CAPTION, WS_CAPTION);
  EXPECT_TRUE(windowStyle & WS_SYSMENU);
  EXPECT_TRUE(windowStyle & WS_MINIMIZEBOX);
  EXPECT_FALSE(windowStyle & WS_MAXIMIZEBOX);
  EXPECT_FALSE(windowStyle & WS_THICKFRAME);  // fixed frame by default
  EXPECT_TRUE(windowStyle & WS_CLIPCHILDREN);
  char caption[64] = {};
  GetWindowTextA(window, caption, sizeof caption);
  EXPECT_STREQ(caption, "测试窗口");

  const LONG_PTR editStyle = GetWindowLongPtrA(LoadedWindowHandle(kMainId, kEditInGroup), GWL_STYLE);
  EXPECT_TRUE(editStyle & ES_NOHIDESEL);
  EXPECT_TRUE(editStyle & WS_TABSTOP);
  EXPECT_FALSE(GetWindowLongPtrA(LoadedWindowHandle(kMainId, kSpinEdit), GWL_STYLE) & ES_NOHIDESEL);
  EXPECT_EQ(GetWindowLongPtrA(LoadedWindowHandle(kMainId, kDefaultButton), GWL_STYLE) & 0xF,
            BS_DEFPUSHBUTTON);
  EXPECT_EQ(GetWindowLongPtrA(LoadedWindowHandle(kMainId, kCheckInGroup), GWL_STYLE) & 0xF, BS_AUTOCHECKBOX);
  EXPECT_EQ(GetWindowLongPtrA(LoadedWindowHandle(kMainId, kGroup), GWL_STYLE) & 0xF, BS_GROUPBOX);
  EXPECT_FALSE(IsWindowEnabled(LoadedWindowHandle(kMainId, kDisabledButton)));
  EXPECT_TRUE(PropertyReadLogical(kMainId, kDisabledButton, kPropertyDisabled));
  EXPECT_FALSE(GetWindowLongPtrA(LoadedWindowHandle(kMainId, kLabel), GWL_STYLE) & WS_TABSTOP);
  EXPECT_TRUE(IsWindowVisible(LoadedWindowHandle(kMainId, kLabel)));
  EXPECT_EQ(PropertyReadText(kMainId, kEditInGroup, kPropertyContent), "abc");
}

TEST_F(BuildTest, StoredFontOrStandardGuiFont) {
  const auto fontOf = [](HWND window) {
    return reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
  };
  const HFONT standard = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  EXPECT_EQ(fontOf(LoadedWindowHandle(kMainId, kEditInGroup)), standard);
  EXPECT_EQ(fontOf(LoadedWindowHandle(kMainId, kDefaultButton)), standard);
  HFONT labelFont = fontOf(LoadedWindowHandle(kMainId, kLabel));
  ASSERT_NE(labelFont, standard);
  LOGFONTA font{};
  ASSERT_EQ(GetObjectA(labelFont, sizeof font, &font), static_cast<int>(sizeof font));
  EXPECT_EQ(font.lfHeight, -21);
  EXPECT_EQ(font.lfCharSet, 134);
}

TEST(BuildFailure, UnsupportedPropertyVersionFailsTheLoadAndLeavesNothingLoaded) {
  TestTemplates templates;
  templates.WindowAdd(kMainId, WindowProperties{});
  ButtonProperties button;
  ByteArray block = ButtonPropertiesEncode(button);
  block[0] = 9;  // a version no button accepts
  templates.ControlAdd(kMainId, ControlUnitId(1), kTypeButton, block, {1, 1, 20, 20});
  templates.Start();
  EXPECT_FALSE(WindowLoadService(kMainId, std::nullopt, false));
  EXPECT_FALSE(WindowIsLoaded(kMainId));
}

}  // namespace
