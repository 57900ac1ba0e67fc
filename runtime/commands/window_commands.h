// Window commands: load and destroy windows, send a message to a control,
// keep a window's notification-area icon.  Window thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <variant>

#include "runtime/core/text.h"
#include "runtime/windows/template_data.h"

// A control of a window, as the destroy and send-message commands name it.
struct ControlRef {
  WindowId window = 0;
  UnitId unit = 0;
};

// Loads a window; true also when it was already open (it is then only
// brought forward).  A parent that is not loaded gives false.  A modal load
// returns after the window has been closed.
bool WindowLoad(WindowId window, std::optional<WindowId> parent = std::nullopt, bool modal = false);
// Closes a window: at once with immediate, else after its current handler
// returns (posted close).  A control reference destroys the control at once.
void WindowDestroy(WindowId window, bool immediate = false);
void WindowDestroy(ControlRef control);
// SendMessageA to the control's window; returns its result.
std::intptr_t ControlSendMessage(ControlRef control, std::uint32_t message, std::intptr_t wParam,
                                 std::intptr_t lParam);

// Icon-file data as a byte array, or the name of an icon file.
using IconSource = std::variant<std::monostate, ByteArray, Text>;
// Shows, replaces or (without a usable icon) removes the window's
// notification-area icon; the tip is cut to 62 bytes at a character boundary.
void TrayIconSet(WindowId window, const IconSource& icon = {}, std::string_view tip = {});
