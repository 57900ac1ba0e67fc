// One way in for every window of the engine: own classes bind their object
// at WM_NCCREATE, system controls are subclassed with a pointer to theirs.
// Both paths run ObjectMessage: notifications reflected to the child's
// object, the object's own handling, then the common mouse, focus and key
// events.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>
#include <windowsx.h>

#include <cstring>

#include "runtime/windows/engine_internal.h"
#include "runtime/windows/type_properties.h"

namespace {

constexpr UINT_PTR kSubclassId = 0x45450001;

// Subclassed system controls carry their object in a window property (the
// subclass data cannot be read back through every import library).
ATOM ObjectPropertyAtom() {
  static const ATOM atom = GlobalAddAtomA("EELiveObject");
  return atom;
}

using NextProcedure = LRESULT(CALLBACK*)(HWND, UINT, WPARAM, LPARAM);

LRESULT CALLBACK DefSubclassNext(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefSubclassProc(window, message, wParam, lParam);
}

// The child a notification is about, or nullptr.
HWND NotificationSource(UINT message, WPARAM, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      return lParam != 0 ? reinterpret_cast<HWND>(lParam) : nullptr;
    case WM_NOTIFY:
      return reinterpret_cast<const NMHDR*>(lParam)->hwndFrom;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORSCROLLBAR:
      return reinterpret_cast<HWND>(lParam);
    default:
      return nullptr;
  }
}

EventArgs MouseArgs(WPARAM wParam, LPARAM lParam) {
  EventArgs args;
  std::int32_t state = 0;
  if (wParam & MK_CONTROL) state |= kKeyStateCtrl;
  if (wParam & MK_SHIFT) state |= kKeyStateShift;
  if (GetKeyState(VK_MENU) < 0) state |= kKeyStateAlt;
  args.values = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), state, 0};
  args.count = 3;
  return args;
}

// Raises the common event a message stands for, if any.
void CommonEventRaise(const LiveObject& object, UINT message, WPARAM wParam, LPARAM lParam) {
  std::int32_t event = 0;
  EventArgs args;
  switch (message) {
    case WM_LBUTTONDOWN:
      event = kEventLeftDown;
      args = MouseArgs(wParam, lParam);
      break;
    case WM_LBUTTONUP:
      event = kEventLeftUp;
      args = MouseArgs(wParam, lParam);
      break;
    case WM_LBUTTONDBLCLK:
      event = kEventLeftDoubleClick;
      args = MouseArgs(wParam, lParam);
      break;
    case WM_RBUTTONDOWN:
      event = kEventRightDown;
      args = MouseArgs(wParam, lParam);
      break;
    case WM_RBUTTONUP:
      event = kEventRightUp;
      args = MouseArgs(wParam, lParam);
      break;
    case WM_MOUSEMOVE:
      event = kEventMouseMove;
      args = MouseArgs(wParam, lParam);
      break;
    case WM_SETFOCUS:
      event = kEventFocusGained;
      break;
    case WM_KILLFOCUS:
      event = kEventFocusLost;
      break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      event = kEventKeyDown;
      args.values = {static_cast<std::int32_t>(wParam), KeyStateNow(), 0, 0};
      args.count = 2;
      break;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      event = kEventKeyUp;
      args.values = {static_cast<std::int32_t>(wParam), KeyStateNow(), 0, 0};
      args.count = 2;
      break;
    case WM_CHAR:
      event = kEventCharTyped;
      args.values = {static_cast<std::int32_t>(wParam), 0, 0, 0};
      args.count = 1;
      break;
    case WM_MOUSEWHEEL: {
      event = kEventMouseWheel;
      std::int32_t state = 0;
      const WORD keys = GET_KEYSTATE_WPARAM(wParam);
      if (keys & MK_CONTROL) state |= kKeyStateCtrl;
      if (keys & MK_SHIFT) state |= kKeyStateShift;
      if (GetKeyState(VK_MENU) < 0) state |= kKeyStateAlt;
      args.values = {GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA, state, 0, 0};
      args.count = 2;
      break;
    }
    default:
      return;
  }
  // The window may be gone by now (a handler closed it); events are raised
  // by id, which checks that again.
  if (WindowIsLoaded(object.Window())) EventRaise(object.Window(), object.Unit(), event, args);
}

HCURSOR UnitCursorOf(const LiveObject& object) {
  WindowRecord* record = WindowRecordFind(object.Window());
  if (record == nullptr) return nullptr;
  UnitRecord* unit = object.Unit() == 0 ? record->UnitByIndex(0) : record->UnitById(object.Unit());
  return unit != nullptr ? static_cast<HCURSOR>(unit->cursor) : nullptr;
}

LRESULT ObjectMessage(LiveObject* object, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                      NextProcedure next) {
  if (HWND source = NotificationSource(message, wParam, lParam); source != nullptr && source != window) {
    if (LiveObject* child = ObjectFromHandle(source)) {
      if (std::optional<LRESULT> result = child->Reflected(message, wParam, lParam)) return *result;
    }
  }
  if (std::optional<LRESULT> result = object->OwnMessage(message, wParam, lParam)) return *result;
  if (message == WM_SETCURSOR && reinterpret_cast<HWND>(wParam) == window && LOWORD(lParam) == HTCLIENT) {
    if (HCURSOR cursor = UnitCursorOf(*object)) {
      SetCursor(cursor);
      return TRUE;
    }
  }
  CommonEventRaise(*object, message, wParam, lParam);
  // A handler may have destroyed the window (and with it the object).
  if (!IsWindow(window)) return 0;
  return next(window, message, wParam, lParam);
}

LRESULT CALLBACK ControlSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                     DWORD_PTR reference) {
  auto* object = reinterpret_cast<LiveObject*>(reference);
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(window, ControlSubclassProc, kSubclassId);
    RemovePropA(window, MAKEINTATOM(ObjectPropertyAtom()));
    object->HandleSet(nullptr);
    return DefSubclassProc(window, message, wParam, lParam);
  }
  return ObjectMessage(object, window, message, wParam, lParam, DefSubclassNext);
}

}  // namespace

LiveObject* ObjectFromHandle(HWND handle) {
  if (handle == nullptr) return nullptr;
  if (HANDLE object = GetPropA(handle, MAKEINTATOM(ObjectPropertyAtom())))
    return static_cast<LiveObject*>(object);
  if (reinterpret_cast<WNDPROC>(GetClassLongPtrA(handle, GCLP_WNDPROC)) == EngineWindowProc) {
    return reinterpret_cast<LiveObject*>(GetWindowLongPtrA(handle, GWLP_USERDATA));
  }
  return nullptr;
}

LRESULT CALLBACK EngineWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    auto* object = static_cast<LiveObject*>(create->lpCreateParams);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
    if (object != nullptr) object->HandleSet(window);
  }
  auto* object = reinterpret_cast<LiveObject*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (object == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    const LRESULT result = DefWindowProcA(window, message, wParam, lParam);
    object->HandleSet(nullptr);
    // A top-level window's object (and with it its controls) is freed by the
    // engine state, which owns it; a control's object by its window.
    if (object->Unit() == 0) LoadedWindowRelease(object);
    return result;
  }
  return ObjectMessage(object, window, message, wParam, lParam, DefWindowProcA);
}

bool EngineClassRegister(const char* className) {
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof existing;
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  if (GetClassInfoExA(instance, className, &existing)) return existing.lpfnWndProc == EngineWindowProc;
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  windowClass.lpfnWndProc = EngineWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = className;
  return RegisterClassExA(&windowClass) != 0;
}

// ---- LiveObject ---------------------------------------------------------

LiveObject::~LiveObject() {
  if (subclassed_ && handle_ != nullptr && IsWindow(handle_)) {
    RemoveWindowSubclass(handle_, ControlSubclassProc, kSubclassId);
    RemovePropA(handle_, MAKEINTATOM(ObjectPropertyAtom()));
  }
}

PropertyValue LiveObject::PropertyGet(std::int32_t, std::int32_t) { return {}; }
void LiveObject::PropertySet(std::int32_t, const PropertyValue&, std::int32_t) {}
std::optional<LRESULT> LiveObject::Reflected(UINT, WPARAM, LPARAM) { return std::nullopt; }
std::optional<LRESULT> LiveObject::OwnMessage(UINT, WPARAM, LPARAM) { return std::nullopt; }
bool LiveObject::AcceptsKey(UINT) const { return false; }
bool LiveObject::IsDefaultButton() const { return false; }
void LiveObject::Click() {}
void LiveObject::ParentChanged(HWND) {}

void LiveObject::Attach(HWND handle) {
  handle_ = handle;
  subclassed_ =
      SetWindowSubclass(handle, ControlSubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
  if (subclassed_) SetPropA(handle, MAKEINTATOM(ObjectPropertyAtom()), this);
}

EventOutcome LiveObject::Raise(std::int32_t event, const EventArgs& args) const {
  if (!WindowIsLoaded(window_)) return {};
  return EventRaise(window_, unit_, event, args);
}

void LiveObject::FontApply(std::span<const std::uint8_t> fontBlob) {
  if (std::optional<FontRecord> record = FontRecordDecode(fontBlob)) {
    LOGFONTA font;
    static_assert(sizeof font == FontRecord::kSize);
    std::memcpy(&font, fontBlob.data(), sizeof font);
    FontApply(font);
    return;
  }
  ownFont_.Reset();
  if (handle_ != nullptr) SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(Font()), TRUE);
}

void LiveObject::FontApply(const LOGFONTA& font) {
  GdiObject created(CreateFontIndirectA(&font));
  if (!created) return;
  if (handle_ != nullptr) SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(created.Get()), TRUE);
  ownFont_ = std::move(created);  // the old font goes after the control stopped using it
}

HFONT LiveObject::Font() const {
  if (ownFont_) return static_cast<HFONT>(ownFont_.Get());
  return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

bool LiveObject::FontRecordGet(LOGFONTA& font) const {
  return GetObjectA(Font(), sizeof font, &font) == sizeof font;
}

bool ControlWindowCreate(LiveObject& object, const ControlCreateArgs& args, const char* className,
                         DWORD extraStyle, DWORD exStyle, const char* text) {
  HWND handle =
      CreateWindowExA(exStyle, className, text, args.style | extraStyle, args.left, args.top, args.width,
                      args.height, args.parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(args.controlId)),
                      GetModuleHandleA(nullptr), nullptr);
  if (handle == nullptr) return false;
  object.Attach(handle);
  SendMessageA(handle, WM_SETFONT, reinterpret_cast<WPARAM>(object.Font()), FALSE);
  return true;
}
