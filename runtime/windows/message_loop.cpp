// The window thread's message loops: the outer loop of the program and the
// nested loop of a modal window, both with the engine's keyboard handling.
#include <windows.h>

#include "runtime/windows/engine_internal.h"

void EngineMessageDispatch(MSG& message) {
  if (WindowKeyHandle(message)) return;
  TranslateMessage(&message);
  DispatchMessageA(&message);
}

void MessageLoopRun() {
  EngineState& engine = Engine();
  if (engine.loaded.empty()) return;
  engine.loopEntered = true;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) EngineMessageDispatch(message);
  engine.loopEntered = false;
}

void ModalLoopRun(HWND window) {
  EngineState& engine = Engine();
  LiveObject* object = ObjectFromHandle(window);
  if (object == nullptr) return;
  auto* windowObject = static_cast<WindowObject*>(object);
  const WindowId id = windowObject->Window();
  if (windowObject->modalLoopRunning) return;
  windowObject->modalLoopRunning = true;
  const WindowId previousModal = engine.modalWindow;
  engine.modalWindow = id;
  MSG message;
  while (IsWindow(window) && LoadedWindowFind(id) == windowObject) {
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got <= 0) {
      // The outer loop must see the quit message too.
      if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    EngineMessageDispatch(message);
  }
  if (LoadedWindowFind(id) == windowObject) {
    windowObject->modalLoopRunning = false;
    windowObject->DisabledWindowsRestore();
  }
  engine.modalWindow = previousModal;
}
