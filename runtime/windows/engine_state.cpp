// The engine's state: the parsed templates, the loaded windows (which it
// owns) and the lookups the window commands make.  Uses nothing of the
// engine above it: the window procedure, the kinds and the loader call in.
#include <windows.h>

#include <algorithm>
#include <array>

#include "runtime/core/program.h"
#include "runtime/core/runtime_error.h"
#include "runtime/windows/engine_internal.h"

namespace {

constexpr char kNotLoadedError[] = "指定窗口或窗口组件不存在或尚未载入";

}  // namespace

EngineState& Engine() {
  static EngineState state;
  return state;
}

WindowRecord* WindowRecordFind(WindowId window) {
  EngineState& engine = Engine();
  if (!engine.templates) return nullptr;
  return engine.templates->WindowFind(window);
}

WindowObject* LoadedWindowFind(WindowId window) {
  WindowRecord* record = WindowRecordFind(window);
  if (record == nullptr || record->units.empty()) return nullptr;
  return static_cast<WindowObject*>(record->units[0].object);
}

void LoadedWindowRelease(const LiveObject* window) {
  EngineState& engine = Engine();
  auto found = std::find_if(engine.loaded.begin(), engine.loaded.end(),
                            [&](const std::unique_ptr<WindowObject>& p) { return p.get() == window; });
  if (found == engine.loaded.end()) return;
  for (UnitRecord& unit : (*found)->Record().units) {
    unit.object = nullptr;
    unit.cursor = nullptr;
  }
  // Out of the list before it is freed: its destructor may look windows up.
  std::unique_ptr<WindowObject> released = std::move(*found);
  engine.loaded.erase(found);
  released.reset();
  if (engine.loaded.empty() && engine.loopEntered && !ProgramEnding()) PostQuitMessage(0);
}

bool WindowIsLoaded(WindowId window) { return LoadedWindowFind(window) != nullptr; }

bool WindowIsClosing(WindowId window) {
  WindowObject* object = LoadedWindowFind(window);
  return object != nullptr && object->closing;
}

HWND LoadedWindowHandle(WindowId window, UnitId unit) {
  WindowRecord* record = WindowRecordFind(window);
  UnitRecord* found = nullptr;
  if (record != nullptr && LoadedWindowFind(window) != nullptr) {
    found = unit == 0 ? record->UnitByIndex(0) : record->UnitById(unit);
  }
  if (found == nullptr || found->object == nullptr || !IsWindow(found->object->Handle())) {
    RuntimeErrorRaise(kNotLoadedError);
  }
  return found->object->Handle();
}

TrayIconSlot& WindowTrayIconSlot(WindowId window) {
  WindowObject* object = LoadedWindowFind(window);
  if (object == nullptr) RuntimeErrorRaise(kNotLoadedError);
  return object->tray;
}

EventSource CurrentEventSource() { return Engine().currentSource; }

std::int32_t KeyStateNow() {
  std::int32_t state = 0;
  if (GetKeyState(VK_CONTROL) < 0) state |= kKeyStateCtrl;
  if (GetKeyState(VK_SHIFT) < 0) state |= kKeyStateShift;
  if (GetKeyState(VK_MENU) < 0) state |= kKeyStateAlt;
  return state;
}

Text WindowTextGet(HWND window) {
  // WM_GETTEXT rather than GetWindowText: the latter does not ask a control
  // of another thread for its text.
  const LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
  if (length <= 0) return Text();
  Text text(static_cast<std::size_t>(length) + 1, '\0');
  const LRESULT copied = SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(std::clamp<LRESULT>(copied, 0, length)));
  return text;
}

void BorderStyleApply(std::uint32_t borderStyle, DWORD& style, DWORD& exStyle) {
  switch (borderStyle) {
    case 1:
      exStyle |= WS_EX_CLIENTEDGE;
      break;
    case 2:
      exStyle |= WS_EX_DLGMODALFRAME;
      break;
    case 3:
      exStyle |= WS_EX_STATICEDGE;
      break;
    case 4:
      exStyle |= WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME;
      break;
    case 5:
      style |= WS_BORDER;
      break;
    default:
      break;
  }
}
