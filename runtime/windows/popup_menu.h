// A right-click menu shown by the application at a point of a control:
// items by text, the chosen one's number returned.  Window thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/core/text.h"
#include "runtime/windows/template_data.h"

struct PopupMenuItem {
  Text text;  // GBK; empty: a separator
  bool enabled = true;
};

// Shows the menu at (x, y) in the client coordinates of a loaded window or
// control and waits for the choice.  Returns the chosen item's position in
// `items`, or -1 when the menu was dismissed (or could not be shown).
std::int32_t PopupMenuShow(WindowId window, UnitId unit, std::int32_t x, std::int32_t y,
                           const std::vector<PopupMenuItem>& items);
