#include "runtime/commands/window_commands.h"

#include <windows.h>

#include "runtime/windows/engine.h"

bool WindowLoad(WindowId window, std::optional<WindowId> parent, bool modal) {
  if (parent && !WindowIsLoaded(*parent)) return false;
  return WindowLoadService(window, parent, modal);
}

void WindowDestroy(WindowId window, bool immediate) { WindowCloseService(window, immediate); }

void WindowDestroy(ControlRef control) { ControlDestroyService(control.window, control.unit); }

std::intptr_t ControlSendMessage(ControlRef control, std::uint32_t message, std::intptr_t wParam,
                                 std::intptr_t lParam) {
  HWND handle = LoadedWindowHandle(control.window, control.unit);
  return static_cast<std::intptr_t>(
      SendMessageA(handle, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)));
}
