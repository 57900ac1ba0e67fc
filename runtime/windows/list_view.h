// The list kind (ListView): a report-mode list view whose rows the
// application keeps itself.  The control stores no row: it asks for a
// cell's text only when it draws it, so ten thousand rows cost nothing.
// The application sets the row count (property kRowCount) and a cell source.
#pragma once

#include <cstdint>
#include <functional>

#include "runtime/core/text.h"
#include "runtime/windows/template_data.h"

// Events of a list (besides the common mouse, key and focus events).
enum ListViewEvent : std::int32_t {
  kEventListColumnClick = 1,       // column
  kEventListDoubleClick = 2,       // row (-1 none), column
  kEventListRightClick = 3,        // row (-1 none), column, x, y (in the list)
  kEventListSelectionChanged = 4,  // no arguments; once per burst of changes
};

// The text of one cell, in GBK.  Called on the window thread while the list
// draws; it must not raise events or load windows.
using ListCellSource = std::function<Text(std::int32_t row, std::int32_t column)>;

// Gives a loaded list its cell source (replacing the one before).  False
// when the unit is not a loaded list.  Window thread only.
bool ListViewCellSourceSet(WindowId window, UnitId unit, ListCellSource source);
// Redraws the rows after their texts changed (the count unchanged).
void ListViewRowsRefresh(WindowId window, UnitId unit);
