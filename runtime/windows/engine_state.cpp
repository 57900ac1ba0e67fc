// Engine start, the registries (templates, loaded windows, control kinds),
// the message loop and the lookups of the window commands.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <array>

#include "runtime/core/program.h"
#include "runtime/core/runtime_error.h"
#include "runtime/windows/engine_internal.h"

namespace {

constexpr char kNotLoadedError[] = "指定窗口或窗口组件不存在或尚未载入";

struct KindRegistry {
  std::vector<ControlKind> kinds;
};
KindRegistry& Kinds() {
  static KindRegistry registry;
  return registry;
}

// Program end: destroy the windows still loaded so that their tray icons,
// cursors and fonts go, without running their handlers any more.
void EngineShutdown() {
  EngineState& engine = Engine();
  if (GetCurrentThreadId() != engine.windowThread) return;
  ++engine.suppression;
  while (!engine.loaded.empty()) {
    HWND handle = engine.loaded.back()->Handle();
    if (handle != nullptr && IsWindow(handle)) {
      DestroyWindow(handle);
    } else {
      WindowObjectRelease(engine.loaded.back().get());
    }
  }
}

}  // namespace

EngineState& Engine() {
  static EngineState state;
  return state;
}

void ControlKindRegister(const ControlKind& kind) {
  auto& kinds = Kinds().kinds;
  auto found = std::find_if(kinds.begin(), kinds.end(),
                            [&](const ControlKind& k) { return k.typeNumber == kind.typeNumber; });
  if (found != kinds.end()) {
    *found = kind;
  } else {
    kinds.push_back(kind);
  }
}

const ControlKind* ControlKindFind(std::uint32_t typeNumber) {
  for (const ControlKind& kind : Kinds().kinds) {
    if (kind.typeNumber == typeNumber) return &kind;
  }
  return nullptr;
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

void EngineStart(std::span<const std::uint8_t> block, HandlerTable handlers) {
  EngineState& engine = Engine();
  engine.templates = TemplateSetParse(block, handlers);
  if (!engine.templates) RuntimeErrorRaise("载入窗口模板数据段出错!");
  engine.handlers = handlers;
  engine.windowThread = GetCurrentThreadId();
  INITCOMMONCONTROLSEX controls{sizeof controls,
                                ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS | ICC_TREEVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  BuiltInControlKindsRegister();
  WindowManagerShutdownSet(EngineShutdown);
}

void MessageLoopRun() {
  EngineState& engine = Engine();
  if (engine.loaded.empty()) return;
  engine.loopEntered = true;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) EngineMessageDispatch(message);
  engine.loopEntered = false;
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
