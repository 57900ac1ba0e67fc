// Shared by the engine's own files: the engine state, the window object and
// the helpers of the one window procedure.  Not for the application.
//
// The files use one another in one direction only, each using only those
// above it in this list:
//   template_parser, type_properties, cursor_file, property_values,
//   kind_registry  - no engine state
//   engine_state   - templates, loaded windows (owned), lookups
//   events         - raising an event to its handler
//   window_procedure - LiveObject, the one window procedure
//   mouse_pointer, window_kind, kind_support, the control kinds
//   keyboard, message_loop
//   properties, control_kinds, window_load, engine_start
// A lower file that must reach a higher one takes what it needs as data
// (a WindowThreadCall) instead of calling up.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "runtime/windows/control_kind.h"
#include "runtime/windows/engine.h"
#include "runtime/windows/template_data.h"

class WindowObject;

struct EngineState {
  std::optional<TemplateSet> templates;
  HandlerTable handlers;
  DWORD windowThread = 0;
  int suppression = 0;  // while >= 1 no event reaches a handler
  EventSource currentSource;
  WindowId modalWindow = 0;  // the window whose nested loop runs, 0 none
  bool loopEntered = false;  // MessageLoopRun has started
  std::vector<std::unique_ptr<WindowObject>> loaded;
};
EngineState& Engine();

// Raises the suppression counter for a scope.
class EventSuppression {
 public:
  EventSuppression() { ++Engine().suppression; }
  ~EventSuppression() { --Engine().suppression; }
  EventSuppression(const EventSuppression&) = delete;
  EventSuppression& operator=(const EventSuppression&) = delete;
};

// ---- engine_state.cpp ----------------------------------------------------

WindowRecord* WindowRecordFind(WindowId window);
// The live window object of a loaded window, or nullptr.
WindowObject* LoadedWindowFind(WindowId window);
// Frees a loaded window's object (the engine state owns it): the unit
// records' object and cursor slots emptied, the object and its controls
// freed, the quit message posted when it was the last loaded window while
// the message loop runs.  The window procedure calls it when the system
// window is gone (WM_NCDESTROY); a window that never got a system window is
// released directly.  Nothing happens for an object that is not loaded.
void LoadedWindowRelease(const LiveObject* window);
// Key state bits (1 Ctrl, 2 Shift, 4 Alt) as of the current message.
std::int32_t KeyStateNow();
// Text of a window by WM_GETTEXT (works from any thread while the owner pumps).
Text WindowTextGet(HWND window);
// Edge styles of the border style choices 0-5 shared by edit boxes and labels.
void BorderStyleApply(std::uint32_t borderStyle, DWORD& style, DWORD& exStyle);

// ---- window_procedure.cpp -------------------------------------------------

// The object bound to a window we created (own class or subclassed), or nullptr.
LiveObject* ObjectFromHandle(HWND handle);

// The one window procedure of the engine's own classes ("WTWindow", the
// window class-name property, the label class).  The object comes in
// CREATESTRUCT::lpCreateParams and is bound at WM_NCCREATE.
LRESULT CALLBACK EngineWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Registers an own class with the engine's attributes (redraw on resize,
// double-clicks, arrow cursor, no background brush); false on failure.
bool EngineClassRegister(const char* className);

// ---- window_kind.cpp -------------------------------------------------------

// Work made on another thread that must run on the window thread (a property
// write): the caller sends kWindowThreadCallMessage to a loaded window with
// a WindowThreadCall* in lParam; the window runs it before the send returns.
constexpr UINT kWindowThreadCallMessage = 0x8066;
using WindowThreadCall = std::function<void()>;

// Outer size clamp of common properties.
constexpr std::int32_t kCoordinateLimit = 32627;

// Live window of a loaded template.
class WindowObject : public LiveObject {
 public:
  WindowObject(WindowId window, WindowRecord& record);
  ~WindowObject() override;

  // Creates the system window; parentHandle is the owner for a non-modal
  // load with a parent.  False when the window cannot be created.
  bool Create(HWND owner, const ControlCreateArgs& args);

  WindowRecord& Record() { return record_; }
  bool closing = false;
  bool modal = false;
  bool modalLoopRunning = false;
  bool justLoaded = false;
  bool disabledRestored = false;
  // Other top-level windows disabled while this modal window is open.
  std::vector<std::pair<HWND, bool>> disabledWindows;
  std::vector<std::unique_ptr<LiveObject>> controls;
  // Cursors made from the units' cursor-file data (UnitCursorLoad); the
  // unit records' cursor slots point at them while the window is loaded.
  std::vector<std::pair<UnitId, CursorHandle>> ownedCursors;
  TrayIconSlot tray;
  HWND focusBeforeDeactivation = nullptr;
  bool helpOpened = false;

  // Stored window options the engine's behaviour depends on.
  std::uint32_t startPosition = 1;
  bool escCloses = true;
  bool enterMovesFocus = false;
  bool f1OpensHelp = false;
  bool movable = true;
  std::uint32_t helpTopic = 0;
  Text helpFile;
  std::uint32_t backgroundColour = kColourSystemDefault;
  HBRUSH BackgroundBrush() const;

  // The rectangle that window events 3 and 4 compare against.
  void RectRemember();
  // The show of a load: per start position, then focus on the first control.
  void ShowPerStartPosition();
  // Close request: event 1; a handler returning false refuses.  Returns
  // whether the window was destroyed.
  bool CloseRequest();
  // Gives the windows disabled for this modal window their state back.
  void DisabledWindowsRestore();
  void HelpOpen();

  PropertyValue PropertyGet(std::int32_t index, std::int32_t element) override;
  void PropertySet(std::int32_t index, const PropertyValue& value, std::int32_t element) override;
  std::optional<LRESULT> OwnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void DestroyingHandle();
  WindowRecord& record_;
  GdiObject backgroundBrush_;
  RECT lastRect_{};
  bool rectKnown_ = false;
};

// ---- mouse_pointer.cpp ------------------------------------------------------

// Sets the unit's cursor slot from its stored mouse pointer: none for 4 zero
// bytes, a system pointer for a 4-byte number, else a cursor made from the
// cursor-file data, which the window owns until it is destroyed or the unit
// gets another pointer.
void UnitCursorLoad(WindowObject& window, UnitRecord& unit);

// ---- keyboard.cpp, message_loop.cpp -------------------------------------------

// The window's keyboard handling of a key message (Tab, Enter, Esc, F1);
// true when the engine took the key.
bool WindowKeyHandle(const MSG& message);
// Runs a nested message loop until window no longer exists or WM_QUIT
// arrives (which is posted again for the outer loop).
void ModalLoopRun(HWND window);

// ---- control_kinds.cpp --------------------------------------------------------

// Registers the built-in control kinds.
void BuiltInControlKindsRegister();
