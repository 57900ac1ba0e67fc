// The right-click menu: shown at a control's point with its items as given
// (texts, greyed items, separators), and the chosen item's position back,
// or -1 when dismissed.  A helper thread acts as the user: it finds the
// menu's window, reads its items and presses keys there.
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "engine_fixture.h"
#include "runtime/windows/popup_menu.h"

namespace {

constexpr UnitId kButton = ControlUnitId(1);

struct MenuSeen {
  std::vector<std::string> texts;  // "-" for a separator
  std::vector<bool> greyed;
  POINT at{};
};

// Waits for this process's popup menu, reads it, then presses the keys.
MenuSeen MenuAnswer(const std::vector<UINT>& keys) {
  MenuSeen seen;
  HWND menu = nullptr;
  for (int i = 0; i < 500 && menu == nullptr; ++i) {
    HWND found = FindWindowA("#32768", nullptr);
    DWORD process = 0;
    if (found != nullptr && IsWindowVisible(found)) GetWindowThreadProcessId(found, &process);
    if (process == GetCurrentProcessId()) menu = found;
    if (menu == nullptr) Sleep(10);
  }
  if (menu == nullptr) return seen;
  RECT rect{};
  GetWindowRect(menu, &rect);
  seen.at = {rect.left, rect.top};
  HMENU items = reinterpret_cast<HMENU>(SendMessageA(menu, MN_GETHMENU, 0, 0));
  for (int i = 0, count = GetMenuItemCount(items); i < count; ++i) {
    const UINT state = GetMenuState(items, static_cast<UINT>(i), MF_BYPOSITION);
    char text[64] = {};
    GetMenuStringA(items, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
    seen.texts.push_back((state & MF_SEPARATOR) ? "-" : text);
    // Separators count as greyed on some systems: only items say it.
    seen.greyed.push_back((state & MF_SEPARATOR) == 0 && (state & MF_GRAYED) != 0);
  }
  for (UINT key : keys) {
    PostMessageA(menu, WM_KEYDOWN, key, 0);
    PostMessageA(menu, WM_KEYUP, key, 0xC0000000);
  }
  return seen;
}

class PopupMenuTest : public EngineTest {
 protected:
  void SetUp() override {
    templates.WindowAdd(kMainId, WindowProperties{}, {60, 60, 300, 200});
    templates.ControlAdd(kMainId, kButton, kTypeButton, {}, {40, 30, 100, 30});
    templates.Start();
    ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  }

  std::int32_t Show(const std::vector<PopupMenuItem>& items, const std::vector<UINT>& keys, MenuSeen& seen) {
    std::thread user([&] { seen = MenuAnswer(keys); });
    const std::int32_t chosen = PopupMenuShow(kMainId, kButton, 5, 7, items);
    user.join();
    return chosen;
  }
};

TEST_F(PopupMenuTest, ShowsTheItemsAtThePointAndReturnsThePositionChosen) {
  const std::vector<PopupMenuItem> items = {{MakeText("播放"), true},
                                            {MakeText(""), true},
                                            {MakeText("全选"), true},
                                            {MakeText("保存所选"), false}};
  MenuSeen seen;
  // Down from nothing: 播放; the next Down passes the separator.
  const std::int32_t chosen = Show(items, {VK_DOWN, VK_DOWN, VK_RETURN}, seen);
  EXPECT_EQ(seen.texts, (std::vector<std::string>{"播放", "-", "全选", "保存所选"}));
  EXPECT_EQ(seen.greyed, (std::vector<bool>{false, false, false, true}));
  POINT expected{5, 7};
  ClientToScreen(LoadedWindowHandle(kMainId, kButton), &expected);
  EXPECT_EQ(seen.at.x, expected.x);
  EXPECT_EQ(seen.at.y, expected.y);
  EXPECT_EQ(chosen, 2);
}

TEST_F(PopupMenuTest, DismissedOrGreyedGivesMinusOne) {
  MenuSeen seen;
  EXPECT_EQ(Show({{MakeText("复制网址"), true}}, {VK_ESCAPE}, seen), -1);
  EXPECT_EQ(seen.texts, std::vector<std::string>{"复制网址"});
  // Enter on an item that cannot be chosen chooses nothing; Escape then closes.
  EXPECT_EQ(Show({{MakeText("播放"), false}}, {VK_HOME, VK_RETURN, VK_ESCAPE}, seen), -1);
}

}  // namespace
