// The window's keyboard handling and the events of mouse, keys and the
// notification-area icon.
#include <string>
#include <vector>

#include "engine_fixture.h"

namespace {

using Log = std::vector<std::string>;
constexpr UnitId kEdit = ControlUnitId(1);
constexpr UnitId kNormalButton = ControlUnitId(2);
constexpr UnitId kMultiLine = ControlUnitId(3);
constexpr UnitId kDefaultButton = ControlUnitId(4);
constexpr UnitId kSecondDefault = ControlUnitId(5);

std::string ArgsText(const EventArgs& args) {
  std::string text;
  for (int i = 0; i < args.count; ++i) text += (i ? "," : "") + std::to_string(args.values[i]);
  return text;
}

EventResult LogArgs(const EventArgs& args) {
  EventLog().push_back(ArgsText(args));
  return EventResult::None();
}

class InputTest : public EngineTest {
 protected:
  void Build(WindowProperties window = {}) {
    templates.WindowAdd(kMainId, window, {40, 40, 320, 240});
    templates.ControlAdd(kMainId, kEdit, kTypeEditBox, {}, {10, 10, 120, 24});
    templates.ControlAdd(kMainId, kNormalButton, kTypeButton, {}, {10, 40, 80, 24});
    EditBoxProperties multi;
    multi.multiLine = 1;
    templates.ControlAdd(kMainId, kMultiLine, kTypeEditBox, EditBoxPropertiesEncode(multi),
                         {10, 70, 120, 60});
    ButtonProperties defaultButton;
    defaultButton.buttonType = 1;
    templates.ControlAdd(kMainId, kDefaultButton, kTypeButton, ButtonPropertiesEncode(defaultButton),
                         {150, 10, 80, 24});
    templates.ControlAdd(kMainId, kSecondDefault, kTypeButton, ButtonPropertiesEncode(defaultButton),
                         {150, 40, 80, 24});
    templates.Bind(kMainId, kNormalButton, kEventClick, "normal");
    templates.Bind(kMainId, kDefaultButton, kEventClick, "default");
    templates.Bind(kMainId, kSecondDefault, kEventClick, "second");
    templates.Bind(kMainId, 0, kEventCloseRequest, "main");
  }
  HWND Control(UnitId unit) { return LoadedWindowHandle(kMainId, unit); }
};

TEST_F(InputTest, EnterClicksTheFirstEnabledDefaultButtonUnlessTheControlTakesIt) {
  Build();
  templates.Start();
  ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  KeyPress(Control(kEdit), VK_RETURN);
  EXPECT_EQ(EventLog(), (Log{"default:0"}));

  EventLog().clear();
  KeyPress(Control(kMultiLine), VK_RETURN);  // a multi-line edit box keeps Enter
  KeyPress(Control(kNormalButton), VK_RETURN);
  EXPECT_EQ(EventLog(), (Log{"default:0"}));

  EventLog().clear();
  KeyPress(Control(kSecondDefault), VK_RETURN);  // a focused default button is clicked itself
  PropertyWriteLogical(kMainId, kDefaultButton, kPropertyDisabled, true);
  KeyPress(Control(kEdit), VK_RETURN);
  EXPECT_EQ(EventLog(), (Log{"second:0", "second:0"}));
}

TEST_F(InputTest, EnterMovesFocusWhenTheWindowAsksForIt) {
  WindowProperties window;
  window.enterMovesFocus = 1;
  Build(window);
  templates.Start();
  ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  SetFocus(Control(kEdit));
  KeyPress(Control(kEdit), VK_RETURN);
  EXPECT_EQ(GetFocus(), Control(kNormalButton));
  EXPECT_EQ(EventLog(), Log{});
}

TEST_F(InputTest, TabFollowsTableOrder) {
  Build();
  templates.Start();
  ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  SetFocus(Control(kEdit));
  KeyPress(Control(kEdit), VK_TAB);
  EXPECT_EQ(GetFocus(), Control(kNormalButton));
  KeyPress(Control(kNormalButton), VK_TAB);
  EXPECT_EQ(GetFocus(), Control(kMultiLine));
}

TEST_F(InputTest, EscapeRequestsCloseOnlyWhenEnabled) {
  Build();
  templates.Start();
  ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  KeyPress(Control(kEdit), VK_ESCAPE);
  EXPECT_EQ(EventLog(), (Log{"main:1"}));
  EXPECT_FALSE(WindowIsLoaded(kMainId));
}

TEST_F(InputTest, EscapeDoesNothingWhenTheWindowKeepsIt) {
  WindowProperties window;
  window.escCloses = 0;
  Build(window);
  templates.Start();
  ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  KeyPress(Control(kEdit), VK_ESCAPE);
  EXPECT_EQ(EventLog(), Log{});
  EXPECT_TRUE(WindowIsLoaded(kMainId));
}

TEST_F(InputTest, MouseKeyAndWheelEventsCarryPositionAndKeyState) {
  Build();
  templates.Bind(kMainId, kNormalButton, kEventLeftDown, "down", LogArgs);
  templates.Bind(kMainId, kNormalButton, kEventRightUp, "rightUp", LogArgs);
  templates.Bind(kMainId, kEdit, kEventKeyDown, "key", LogArgs);
  templates.Bind(kMainId, kEdit, kEventCharTyped, "char", LogArgs);
  templates.Bind(kMainId, kEdit, kEventMouseWheel, "wheel", LogArgs);
  templates.Start();
  ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  HWND edit = Control(kEdit);
  HWND button = Control(kNormalButton);
  // On a button: an edit box would open its context menu on the right button.
  SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL | MK_SHIFT, MAKELPARAM(5, 7));
  ReleaseCapture();
  SendMessageA(button, WM_RBUTTONUP, 0, MAKELPARAM(9, 2));
  SendMessageA(edit, WM_KEYDOWN, 'A', 1);
  SendMessageA(edit, WM_CHAR, 'a', 1);
  SendMessageA(edit, WM_MOUSEWHEEL, MAKEWPARAM(MK_SHIFT, static_cast<WORD>(-240)), 0);
  EXPECT_EQ(EventLog(), (Log{"down:-1", "5,7,3", "rightUp:-5", "9,2,0", "key:-9", "65,0", "char:-11", "97",
                             "wheel:-12", "-2,2"}));
}

TEST_F(InputTest, TrayCallbackMapsMouseMessagesToTheTrayEvent) {
  Build();
  templates.Bind(kMainId, 0, kEventTrayIcon, "tray", LogArgs);
  templates.Start();
  ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  HWND window = LoadedWindowHandle(kMainId);
  for (UINT mouse :
       {WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONUP, WM_CONTEXTMENU, WM_MOUSEMOVE, WM_LBUTTONDOWN}) {
    SendMessageA(window, kTrayCallbackMessage, kTrayIconId, mouse);
  }
  EXPECT_EQ(EventLog(), (Log{"tray:9", "1", "tray:9", "2", "tray:9", "3", "tray:9", "3"}));
}

}  // namespace
