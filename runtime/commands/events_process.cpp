#include "runtime/commands/event_pump.h"

#include <windows.h>

void EventsProcess() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE) && message.message != WM_QUIT) {
    // Fetched without blocking: a handler of a sent message may already have
    // emptied the queue between the look and the fetch.
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) continue;
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));  // it stays for the message loop
      return;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}
