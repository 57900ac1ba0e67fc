#include "runtime/windows/popup_menu.h"

#include <windows.h>

#include "runtime/core/handles.h"
#include "runtime/windows/engine.h"

namespace {

struct MenuTraits {
  using Value = HMENU;
  static Value Invalid() noexcept { return nullptr; }
  static void Close(Value value) noexcept { DestroyMenu(value); }
};
using MenuHandle = UniqueResource<MenuTraits>;

}  // namespace

std::int32_t PopupMenuShow(WindowId window, UnitId unit, std::int32_t x, std::int32_t y,
                           const std::vector<PopupMenuItem>& items) {
  HWND control = LoadedWindowHandle(window, unit);
  HWND owner = LoadedWindowHandle(window);
  MenuHandle menu(CreatePopupMenu());
  if (!menu || control == nullptr) return -1;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const PopupMenuItem& item = items[i];
    // Command numbers start at 1: TrackPopupMenu returns 0 for "nothing chosen".
    const BOOL added = item.text.empty()
                           ? AppendMenuA(menu.Get(), MF_SEPARATOR, 0, nullptr)
                           : AppendMenuA(menu.Get(), MF_STRING | (item.enabled ? MF_ENABLED : MF_GRAYED),
                                         static_cast<UINT_PTR>(i + 1), item.text.c_str());
    if (!added) return -1;
  }
  POINT at{x, y};
  ClientToScreen(control, &at);
  // Without the owner in front the menu would not close when the user
  // clicks elsewhere (see TrackPopupMenu's remarks).
  SetForegroundWindow(owner);
  const int chosen = static_cast<int>(TrackPopupMenu(
      menu.Get(), TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, at.x, at.y,
      0, owner, nullptr));
  // Also from the remarks: a posted message lets the menu's loop end properly.
  PostMessageA(owner, WM_NULL, 0, 0);
  return chosen > 0 && static_cast<std::size_t>(chosen) <= items.size() ? chosen - 1 : -1;
}
