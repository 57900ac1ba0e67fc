// The window's keyboard handling, before the focused control sees the key:
// Tab, Enter (default button or next control), Esc (close request) and F1.
#include <windows.h>

#include "runtime/windows/engine_internal.h"

namespace {

// The object of the focused control: the window that has the focus, or the
// nearest of its parents that belongs to the engine (a combo box's edit).
LiveObject* FocusedObject(HWND focus, HWND root) {
  for (HWND h = focus; h != nullptr && h != root; h = GetParent(h)) {
    if (LiveObject* object = ObjectFromHandle(h)) return object;
  }
  return nullptr;
}

void FocusMove(HWND root, HWND focus, bool backwards) {
  if (HWND next = GetNextDlgTabItem(root, focus, backwards ? TRUE : FALSE)) SetFocus(next);
}

// The first enabled default button of the window in table order.
LiveObject* FirstDefaultButton(WindowObject& window) {
  for (UnitRecord& unit : window.Record().units) {
    LiveObject* object = unit.object;
    if (object == nullptr || object == &window || !object->IsDefaultButton()) continue;
    if (IsWindowEnabled(object->Handle())) return object;
  }
  return nullptr;
}

}  // namespace

bool WindowKeyHandle(const MSG& message) {
  if (message.message != WM_KEYDOWN) return false;
  const UINT key = static_cast<UINT>(message.wParam);
  if (key != VK_TAB && key != VK_RETURN && key != VK_ESCAPE && key != VK_F1) return false;
  if (message.hwnd == nullptr) return false;
  HWND root = GetAncestor(message.hwnd, GA_ROOT);
  LiveObject* rootObject = ObjectFromHandle(root);
  if (rootObject == nullptr || rootObject->Unit() != 0) return false;
  auto& window = static_cast<WindowObject&>(*rootObject);
  LiveObject* focused = FocusedObject(message.hwnd, root);
  if (focused != nullptr && focused->AcceptsKey(key)) return false;

  switch (key) {
    case VK_TAB:
      FocusMove(root, message.hwnd == root ? nullptr : message.hwnd, GetKeyState(VK_SHIFT) < 0);
      return true;
    case VK_RETURN:
      if (focused != nullptr && focused->IsDefaultButton() && IsWindowEnabled(focused->Handle())) {
        focused->Click();
      } else if (window.enterMovesFocus) {
        FocusMove(root, message.hwnd == root ? nullptr : message.hwnd, false);
      } else if (LiveObject* button = FirstDefaultButton(window)) {
        button->Click();
      }
      return true;
    case VK_ESCAPE:
      if (!window.escCloses) return false;
      SendMessageA(root, WM_CLOSE, 0, 0);
      return true;
    default:  // F1
      if (!window.f1OpensHelp) return false;
      window.HelpOpen();
      return true;
  }
}
