// The control kinds of the engine: the live object behind every window and
// control, and the registry of kinds by type number.  A new kind (the drive
// box, the directory box) is one file with a LiveObject subclass and a create
// function, registered with ControlKindRegister; the engine core does not
// change.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "runtime/core/handles.h"
#include "runtime/windows/engine.h"
#include "runtime/windows/template_data.h"

// What the engine hands a kind's create function; filled from the unit record.
struct ControlCreateArgs {
  WindowId window = 0;
  UnitId unit = 0;
  std::span<const std::uint8_t> properties;  // the unit's type property block, may be empty
  HWND parent = nullptr;
  int controlId = 0;
  // WS_CHILD | WS_CLIPSIBLINGS plus WS_DISABLED / WS_TABSTOP from the unit's
  // flags.  Never WS_VISIBLE: the engine shows the window when it is built.
  DWORD style = 0;
  int left = 0, top = 0, width = 0, height = 0;
};

// The live window or control of one unit; the unit record's object slot
// points at it while its window is loaded.  Objects are created and
// destroyed on the window thread.
class LiveObject {
 public:
  LiveObject(WindowId window, UnitId unit) : window_(window), unit_(unit) {}
  LiveObject(const LiveObject&) = delete;
  LiveObject& operator=(const LiveObject&) = delete;
  virtual ~LiveObject();

  HWND Handle() const { return handle_; }
  WindowId Window() const { return window_; }
  UnitId Unit() const { return unit_; }

  // Type-specific properties (index 8 and up).  PropertyGet may run on any
  // thread: it reads the control only through sent messages (WM_GETTEXT,
  // BM_GETCHECK, ...) or through values fixed at creation.  An index the kind
  // does not know reads as empty and is ignored on writing.
  virtual PropertyValue PropertyGet(std::int32_t index, std::int32_t element);
  virtual void PropertySet(std::int32_t index, const PropertyValue& value, std::int32_t element);

  // A WM_COMMAND, WM_NOTIFY or WM_CTLCOLOR* message that the parent received
  // about this control.  nullopt lets the parent's default handling run.
  virtual std::optional<LRESULT> Reflected(UINT message, WPARAM wParam, LPARAM lParam);
  // A message to the object's own window, before the engine's common event
  // handling and the original window procedure.  nullopt passes it on.
  virtual std::optional<LRESULT> OwnMessage(UINT message, WPARAM wParam, LPARAM lParam);

  // Keyboard handling of the window: whether the control takes this key
  // itself (a multi-line edit box takes Enter).
  virtual bool AcceptsKey(UINT virtualKey) const;
  // Buttons: a default button is clicked by Enter.
  virtual bool IsDefaultButton() const;
  // Raises the kind's click event as a user's click would.
  virtual void Click();
  // The control was moved into another parent (a group box); kinds with a
  // companion window (the edit box's spinner) move it along.
  virtual void ParentChanged(HWND newParent);

  // Binds a system control created by a kind: subclasses it so that its
  // messages reach this object.  Own-class windows are bound by the engine's
  // window procedure at WM_NCCREATE instead.
  void Attach(HWND handle);
  void HandleSet(HWND handle) { handle_ = handle; }
  // The font of the control: from a 60-byte record, else the standard GUI
  // font.  The object owns a created font and releases it with itself.
  void FontApply(std::span<const std::uint8_t> fontBlob);
  void FontApply(const LOGFONTA& font);
  HFONT Font() const;
  // The logical font in use (any thread).
  bool FontRecordGet(LOGFONTA& font) const;

 protected:
  // Raises an event of this unit (mouse and focus events are raised by the
  // engine for every object; kinds raise their own, such as clicks).
  EventOutcome Raise(std::int32_t event, const EventArgs& args = {}) const;

 private:
  WindowId window_;
  UnitId unit_;
  HWND handle_ = nullptr;
  bool subclassed_ = false;
  GdiObject ownFont_;
};

// Creates the object and its system window (without WS_VISIBLE).  Returns
// nullptr when the control cannot be built (e.g. an unsupported property
// block version); the window's load then fails.
using ControlCreateFunction = std::unique_ptr<LiveObject> (*)(const ControlCreateArgs& args);

struct ControlKind {
  std::uint32_t typeNumber = 0;
  ControlCreateFunction create = nullptr;
};
// Registers (or replaces) the kind of a type number.  The built-in kinds are
// registered by EngineStart; further kinds are registered before the first
// window that uses them is loaded.
void ControlKindRegister(const ControlKind& kind);
const ControlKind* ControlKindFind(std::uint32_t typeNumber);

// Creates a system control for a kind with the common styles of args and
// attaches it to object.  Returns false when CreateWindowEx fails.
bool ControlWindowCreate(LiveObject& object, const ControlCreateArgs& args, const char* className,
                         DWORD extraStyle, DWORD exStyle, const char* text);
