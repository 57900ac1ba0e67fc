// The window engine: live windows and controls built from the parsed window
// templates, properties read and written by number, and window events routed
// to the application's handlers.
//
// Threads: everything here belongs to the window thread (the thread that
// called EngineStart), except the property reads, which any thread may make.
// A read from another thread gets its live value from the control by a sent
// message, so it completes only while the window thread dispatches messages;
// the window thread must never wait for a thread that may be reading.
//
// Errors: the failures listed with each function end the program through
// RuntimeErrorRaise with the given text; nothing here throws.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <variant>

#include "runtime/core/handles.h"
#include "runtime/core/text.h"
#include "runtime/windows/event_handler.h"
#include "runtime/windows/property_numbers.h"
#include "runtime/windows/template_data.h"

// Private messages of the engine's windows.
constexpr UINT kTrayCallbackMessage = 0x8064;   // notification-area icon callback
constexpr UINT kDeferredCloseMessage = 0x8065;  // destroy a window marked as closing
constexpr UINT kTrayIconId = 100;               // the one notification-area icon of a window

// Window events (unit 0).
enum WindowEvent : std::int32_t {
  kEventCreated = 0,
  kEventCloseRequest = 1,  // a handler returning false keeps the window open
  kEventDestroying = 2,    // controls still exist and can be read
  kEventMoved = 3,
  kEventResized = 4,
  kEventTrayIcon = 9,  // one argument: 1 left click, 2 left double-click, 3 right click
};
// Event 0 of buttons, check boxes, drive boxes and directory boxes.
constexpr std::int32_t kEventClick = 0;
// Events common to every window and control.
enum CommonEvent : std::int32_t {
  kEventLeftDown = -1,  // x, y, key state
  kEventLeftUp = -2,
  kEventLeftDoubleClick = -3,
  kEventRightDown = -4,
  kEventRightUp = -5,
  kEventMouseMove = -6,
  kEventFocusGained = -7,  // no arguments
  kEventFocusLost = -8,
  kEventKeyDown = -9,  // key code, key state
  kEventKeyUp = -10,
  kEventCharTyped = -11,   // character code
  kEventMouseWheel = -12,  // notches (delta / 120), key state
};
// Key-state bits of the mouse, key and wheel events.
enum KeyStateBits : std::int32_t { kKeyStateCtrl = 1, kKeyStateShift = 2, kKeyStateAlt = 4 };

// Properties common to every type; type-specific ones start at 8.
enum CommonProperty : std::int32_t {
  kPropertyLeft = 0,
  kPropertyTop = 1,
  kPropertyWidth = 2,
  kPropertyHeight = 3,
  kPropertyTag = 4,
  kPropertyVisible = 5,
  kPropertyDisabled = 6,
  kPropertyMousePointer = 7,
  kPropertyFirstTypeSpecific = 8,
};
// Type-specific properties the application uses (every kind's: property_numbers.h).
static_assert(std::int32_t{WindowProperty::kCaption} == std::int32_t{LabelProperty::kCaption},
              "one caption number for both");
constexpr std::int32_t kPropertyCaption = LabelProperty::kCaption;               // window, Label: text
constexpr std::int32_t kPropertyContent = EditBoxProperty::kContent;             // EditBox: text
constexpr std::int32_t kPropertyChecked = CheckBoxProperty::kChecked;            // CheckBox: logical
constexpr std::int32_t kPropertyDriveLetter = DriverBoxProperty::kDriveLetter;   // DriverBox: text
constexpr std::int32_t kPropertyCurrentFolder = DirBoxProperty::kCurrentFolder;  // DirBox: text

// A colour value: RGB, or kColourSystemDefault where the property allows it.
struct Colour {
  std::uint32_t rgb = 0;
};
constexpr std::uint32_t kColourSystemDefault = 0xFF000000u;

// The value of a property.  Empty (monostate) stands for "no value", e.g. an
// absent text on writing.  Font properties carry a whole 60-byte logical
// font record; pictures, mouse pointers and other binary data come as bytes.
using PropertyValue = std::variant<std::monostate, std::int32_t, bool, Text, Colour, LOGFONTA, ByteArray>;

// Conversions used for property values: integer, logical (0/1) and text
// readings of any value kind ("" / 0 / false when it does not convert).
std::int32_t PropertyValueInteger(const PropertyValue& value);
bool PropertyValueLogical(const PropertyValue& value);
Text PropertyValueText(const PropertyValue& value);

// ---- Start-up and the message loop -------------------------------------

// Parses the template block, remembers the window thread and registers the
// engine's shutdown with the runtime.  A block that cannot be parsed raises
// "载入窗口模板数据段出错!".
void EngineStart(std::span<const std::uint8_t> block, HandlerTable handlers);
// Loads the start window (non-modal).  Failure raises "载入启动窗口失败".
void StartWindowLoad(WindowId window);
// Dispatches the window thread's messages until the quit message, which the
// engine posts when the last loaded window has been destroyed.  Returns at
// once when no window is loaded.
void MessageLoopRun();
// One message as the loop handles it: the engine's keyboard handling of
// its windows (Tab, Enter, Esc, F1), then translate and dispatch.  For
// other message pumps of the window thread (the event pump command).
void EngineMessageDispatch(MSG& message);

// ---- Window services ----------------------------------------------------

// Loads a window (the window-load command).  An open window that is not
// closing is only restored or activated.  A modal load ignores parent,
// disables the program's other top-level windows and returns only after
// the window is gone (or WM_QUIT arrived).  False when the parent is given
// but not loaded, or the window cannot be built.
bool WindowLoadService(WindowId window, std::optional<WindowId> parent, bool modal);
// Marks a window as closing and posts kDeferredCloseMessage; with immediate
// it is destroyed at once.  Not loaded raises "指定窗口或窗口组件不存在或尚未载入".
void WindowCloseService(WindowId window, bool immediate);
// Destroys one control's system window at once (the destroy command on a
// control reference).  Not loaded raises "指定窗口或窗口组件不存在或尚未载入".
void ControlDestroyService(WindowId window, UnitId unit);

bool WindowIsLoaded(WindowId window);
bool WindowIsClosing(WindowId window);
// The system window of a loaded window (unit 0) or control.  A window or
// control that does not exist or is not loaded raises
// "指定窗口或窗口组件不存在或尚未载入".
HWND LoadedWindowHandle(WindowId window, UnitId unit = 0);

// The window's notification-area icon: the icon shown (owned by the slot's
// window; destroyed with it) and whether it has been added to the
// notification area.  The window's destruction removes it (NIM_DELETE) and
// destroys the icon.  Not loaded raises "指定窗口或窗口组件不存在或尚未载入".
struct TrayIconSlot {
  IconHandle icon;
  bool added = false;
};
TrayIconSlot& WindowTrayIconSlot(WindowId window);

// ---- Properties ------------------------------------------------------------

// Reads property index of unit (0 = the window itself).  element selects one
// part of a compound value (-1 the whole).  Unknown window raises
// "未载入欲访问窗口组件所在的窗口"; a type-specific property of a window not
// loaded raises "指定窗口尚未载入".  Common properties 0-7 of a window not
// loaded come from its stored record.  Any thread.
PropertyValue PropertyRead(WindowId window, UnitId unit, std::int32_t index, std::int32_t element = -1);
// Writes a property; same errors.  Left/top are clamped to -32627..32627 and
// width/height to 0..32627.  For fonts, element selects a part: -1 whole,
// 0 angle (tenths of a degree), 1 bold, 2 italic, 3 underline, 4 strike-out,
// 5 size, 6 face name.  Writes belong to the window thread: a write made on
// another thread is handed to it by a sent message and waits until the
// window thread dispatches it.
void PropertyWrite(WindowId window, UnitId unit, std::int32_t index, const PropertyValue& value,
                   std::int32_t element = -1);

bool PropertyReadLogical(WindowId window, UnitId unit, std::int32_t index);
std::int32_t PropertyReadInteger(WindowId window, UnitId unit, std::int32_t index);
Text PropertyReadText(WindowId window, UnitId unit, std::int32_t index);
void PropertyWriteLogical(WindowId window, UnitId unit, std::int32_t index, bool value);
void PropertyWriteInteger(WindowId window, UnitId unit, std::int32_t index, std::int32_t value);
void PropertyWriteText(WindowId window, UnitId unit, std::int32_t index, std::string_view value);

// ---- Events ----------------------------------------------------------------

struct EventOutcome {
  bool handled = false;  // a handler was bound and ran
  EventResult result;    // what it returned, if anything
};
// Raises event on unit (0 = the window).  Nothing happens while events are
// suppressed (during a window's construction).  Unknown window raises
// "未找到引发事件的窗口", unknown unit "未找到引发事件的窗口组件", a unit type
// that raises no events "引发事件的窗口组件无效".  Window thread only.
EventOutcome EventRaise(WindowId window, UnitId unit, std::int32_t event, const EventArgs& args = {});

// The window and unit whose event handler is running (0, 0 when none).
struct EventSource {
  WindowId window = 0;
  UnitId unit = 0;
};
EventSource CurrentEventSource();
