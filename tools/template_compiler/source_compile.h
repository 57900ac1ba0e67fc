// Turns window sources into the window records of the stored block.
//
// Unit keys: type (window, EditBox, Label, Button, CheckBox, GroupBox,
// DriverBox, DirBox, ListView, menu), left, top, width, height, parent (a group box,
// by name or id; children lists follow from it in table order), flags
// (words visible, disabled, tabstop, or a number; default visible), origin,
// tag, remark, mousePointer (hex; default four zero bytes), "on N = Handler"
// (N an event number, Handler a function name or "none"), "handler = Name"
// (menu items).  Any other key is a type property (see property_source.h).
// Window keys before the first unit: design, associated, firstText,
// secondText.
//
// Handlers are numbered by first use over all windows in the order given;
// the stored handler "offset" is that number.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "runtime/windows/template_data.h"
#include "tools/template_compiler/window_source.h"

struct CompiledWindow {
  WindowRecord record;                 // texts in GBK, handler offsets are handler indexes
  std::string name;                    // from the window line
  std::vector<std::string> unitNames;  // UTF-8, parallel to record.units
};

struct CompiledTemplates {
  std::vector<CompiledWindow> windows;
  std::vector<std::string> handlerNames;  // index = stored handler offset

  std::vector<WindowRecord> Records() const;
};

std::optional<CompiledTemplates> TemplatesCompile(const std::vector<WindowSource>& sources,
                                                  std::string& error);
