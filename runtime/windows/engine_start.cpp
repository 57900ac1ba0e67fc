// Engine start and the program-end clean-up of the windows still loaded.
// The top of the engine: it registers the built-in kinds and hands the
// runtime its shutdown.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "runtime/core/program.h"
#include "runtime/core/runtime_error.h"
#include "runtime/windows/engine_internal.h"

namespace {

// Program end: destroy the windows still loaded so that their tray icons,
// cursors and fonts go, without running their handlers any more.
void EngineShutdown() {
  EngineState& engine = Engine();
  if (GetCurrentThreadId() != engine.windowThread) return;
  ++engine.suppression;
  while (!engine.loaded.empty()) {
    const WindowObject* window = engine.loaded.back().get();
    HWND handle = window->Handle();
    if (handle != nullptr && IsWindow(handle)) {
      DestroyWindow(handle);  // the window procedure releases it at WM_NCDESTROY
    } else {
      LoadedWindowRelease(window);
    }
  }
}

}  // namespace

void EngineStart(std::span<const std::uint8_t> block, HandlerTable handlers) {
  EngineState& engine = Engine();
  engine.templates = TemplateSetParse(block, handlers);
  if (!engine.templates) RuntimeErrorRaise("载入窗口模板数据段出错!");
  engine.handlers = handlers;
  engine.windowThread = GetCurrentThreadId();
  INITCOMMONCONTROLSEX controls{
      sizeof controls, ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS | ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  BuiltInControlKindsRegister();
  WindowManagerShutdownSet(EngineShutdown);
}
