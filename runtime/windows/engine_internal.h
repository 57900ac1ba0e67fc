// Shared by the engine's own files: the engine state, the window object and
// the helpers of the one window procedure.  Not for the application.
#pragma once

#include <windows.h>

#include <cstdint>
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

WindowRecord* WindowRecordFind(WindowId window);
// The live window object of a loaded window, or nullptr.
WindowObject* LoadedWindowFind(WindowId window);
// The object bound to a window we created (own class or subclassed), or nullptr.
LiveObject* ObjectFromHandle(HWND handle);

// The one window procedure of the engine's own classes ("WTWindow", the
// window class-name property, the label class).  The object comes in
// CREATESTRUCT::lpCreateParams and is bound at WM_NCCREATE.
LRESULT CALLBACK EngineWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Registers an own class with the engine's attributes (redraw on resize,
// double-clicks, arrow cursor, no background brush); false on failure.
bool EngineClassRegister(const char* className);

// Key state bits (1 Ctrl, 2 Shift, 4 Alt) as of the current message.
std::int32_t KeyStateNow();

// A property write made on another thread runs on the window thread: the
// writer sends this message to the window with a ForwardedWrite in lParam.
constexpr UINT kForwardedWriteMessage = 0x8066;
void ForwardedWriteRun(LPARAM request);

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
  HACCEL accelerators = nullptr;
  HMENU menu = nullptr;
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

// Runs a nested message loop until window no longer exists or WM_QUIT
// arrives (which is posted again for the outer loop).
void ModalLoopRun(HWND window);
// Final clean-up of a destroyed window: object slots emptied, object freed,
// quit message when it was the last loaded window.
void WindowObjectRelease(WindowObject* object);
// The cursor of a stored mouse pointer: none for 4 zero bytes, a system
// pointer for a 4-byte number, else cursor-file data (destroyed with the window).
HCURSOR CursorFromPointer(const ByteArray& pointer);
// Registers the built-in control kinds.
void BuiltInControlKindsRegister();
// Text of a window by WM_GETTEXT (works from any thread while the owner pumps).
Text WindowTextGet(HWND window);
// Edge styles of the border style choices 0-5 shared by edit boxes and labels.
void BorderStyleApply(std::uint32_t borderStyle, DWORD& style, DWORD& exStyle);
