// Property access by number.  The common properties 0-7 live in the unit
// record (so they read the same before loading and after closing) and in
// the live window; 8 and up belong to the control kind.
#include <windows.h>

#include <algorithm>

#include "runtime/core/runtime_error.h"
#include "runtime/windows/engine_internal.h"

namespace {

constexpr char kUnknownWindowError[] = "未载入欲访问窗口组件所在的窗口";
constexpr char kNotLoadedError[] = "指定窗口尚未载入";

UnitRecord* UnitFind(WindowRecord& record, UnitId unit) {
  return unit == 0 ? record.UnitByIndex(0) : record.UnitById(unit);
}

// The live window of a unit, or nullptr when its window is not loaded.
HWND LiveHandle(const UnitRecord& unit) {
  if (unit.object == nullptr) return nullptr;
  HWND handle = unit.object->Handle();
  return handle != nullptr && IsWindow(handle) ? handle : nullptr;
}

// Left, top, width, height; left and top relative to the parent's client area.
RECT LiveRect(HWND handle) {
  RECT rect{};
  GetWindowRect(handle, &rect);
  if (GetWindowLongPtrA(handle, GWL_STYLE) & WS_CHILD) {
    MapWindowPoints(HWND_DESKTOP, GetParent(handle), reinterpret_cast<POINT*>(&rect), 2);
  }
  return rect;
}

std::int32_t* StoredCoordinate(UnitRecord& unit, std::int32_t index) {
  switch (index) {
    case kPropertyLeft:
      return &unit.left;
    case kPropertyTop:
      return &unit.top;
    case kPropertyWidth:
      return &unit.width;
    default:
      return &unit.height;
  }
}

void CoordinateWrite(UnitRecord& unit, std::int32_t index, std::int32_t value) {
  const std::int32_t low = index <= kPropertyTop ? -kCoordinateLimit : 0;
  value = std::clamp(value, low, kCoordinateLimit);
  *StoredCoordinate(unit, index) = value;
  HWND handle = LiveHandle(unit);
  if (handle == nullptr) return;
  RECT rect = LiveRect(handle);
  int left = rect.left, top = rect.top, width = rect.right - rect.left, height = rect.bottom - rect.top;
  switch (index) {
    case kPropertyLeft:
      left = value;
      break;
    case kPropertyTop:
      top = value;
      break;
    case kPropertyWidth:
      width = value;
      break;
    default:
      height = value;
      break;
  }
  SetWindowPos(handle, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void VisibilityWrite(UnitRecord& unit, bool visible) {
  unit.flags = visible ? (unit.flags | kUnitVisible) : (unit.flags & ~kUnitVisible);
  HWND handle = LiveHandle(unit);
  if (handle == nullptr) return;
  if (!visible) {
    ShowWindow(handle, SW_HIDE);
    return;
  }
  if (UnitKindOf(unit.id) != 0) {
    ShowWindow(handle, SW_SHOWNA);
    return;
  }
  // The window itself: the show of a load, with the modal loop of a modal
  // window that was loaded hidden.
  auto* window = static_cast<WindowObject*>(unit.object);
  if (window->justLoaded) {
    window->ShowPerStartPosition();
  } else {
    ShowWindow(handle, IsIconic(handle) ? SW_RESTORE : SW_SHOW);
    // Shown again from the notification area: the user expects it in front.
    SetForegroundWindow(handle);
  }
  if (window->modal && !window->modalLoopRunning) ModalLoopRun(handle);
}

void PointerWrite(WindowId window, UnitRecord& unit, const PropertyValue& value) {
  if (const ByteArray* bytes = std::get_if<ByteArray>(&value)) {
    unit.mousePointer = *bytes;
  } else {
    unit.mousePointer = ByteArray(4, 0);
  }
  WindowObject* loaded = LoadedWindowFind(window);
  if (loaded == nullptr || LiveHandle(unit) == nullptr) return;
  UnitCursorLoad(*loaded, unit);
  // Nudge the mouse so that the new pointer shows at once.
  POINT at{};
  if (GetCursorPos(&at)) SetCursorPos(at.x, at.y);
}

}  // namespace

PropertyValue PropertyRead(WindowId window, UnitId unit, std::int32_t index, std::int32_t element) {
  WindowRecord* record = WindowRecordFind(window);
  if (record == nullptr) RuntimeErrorRaise(kUnknownWindowError);
  UnitRecord* found = UnitFind(*record, unit);
  if (found == nullptr) return {};
  HWND handle = LiveHandle(*found);
  switch (index) {
    case kPropertyLeft:
    case kPropertyTop:
    case kPropertyWidth:
    case kPropertyHeight: {
      if (handle == nullptr) return *StoredCoordinate(*found, index);
      const RECT rect = LiveRect(handle);
      const std::int32_t values[] = {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
      return values[index];
    }
    case kPropertyTag:
      return found->tag;
    case kPropertyVisible:
      if (handle == nullptr) return (found->flags & kUnitVisible) != 0;
      return (GetWindowLongPtrA(handle, GWL_STYLE) & WS_VISIBLE) != 0;
    case kPropertyDisabled:
      if (handle == nullptr) return (found->flags & kUnitDisabled) != 0;
      return IsWindowEnabled(handle) == FALSE;
    case kPropertyMousePointer:
      return found->mousePointer;
    default:
      if (index < 0) return {};
      if (handle == nullptr) RuntimeErrorRaise(kNotLoadedError);
      return found->object->PropertyGet(index, element);
  }
}

void PropertyWrite(WindowId window, UnitId unit, std::int32_t index, const PropertyValue& value,
                   std::int32_t element) {
  EngineState& engine = Engine();
  WindowRecord* record = WindowRecordFind(window);
  if (record == nullptr) RuntimeErrorRaise(kUnknownWindowError);
  if (engine.windowThread != 0 && GetCurrentThreadId() != engine.windowThread) {
    // Controls belong to the window thread: hand the write over to it.
    if (WindowObject* object = LoadedWindowFind(window)) {
      const WindowThreadCall write = [&] { PropertyWrite(window, unit, index, value, element); };
      SendMessageA(object->Handle(), kWindowThreadCallMessage, 0, reinterpret_cast<LPARAM>(&write));
      return;
    }
  }
  UnitRecord* found = UnitFind(*record, unit);
  if (found == nullptr) return;
  switch (index) {
    case kPropertyLeft:
    case kPropertyTop:
    case kPropertyWidth:
    case kPropertyHeight:
      CoordinateWrite(*found, index, PropertyValueInteger(value));
      return;
    case kPropertyTag:
      found->tag = PropertyValueText(value);
      return;
    case kPropertyVisible:
      VisibilityWrite(*found, PropertyValueLogical(value));
      return;
    case kPropertyDisabled: {
      const bool disabled = PropertyValueLogical(value);
      found->flags = disabled ? (found->flags | kUnitDisabled) : (found->flags & ~kUnitDisabled);
      if (HWND handle = LiveHandle(*found)) EnableWindow(handle, disabled ? FALSE : TRUE);
      return;
    }
    case kPropertyMousePointer:
      PointerWrite(window, *found, value);
      return;
    default:
      if (index < 0) return;
      if (LiveHandle(*found) == nullptr) RuntimeErrorRaise(kNotLoadedError);
      // An absent text is written as the empty text.
      if (std::holds_alternative<std::monostate>(value)) {
        found->object->PropertySet(index, PropertyValue(Text()), element);
      } else {
        found->object->PropertySet(index, value, element);
      }
      return;
  }
}

bool PropertyReadLogical(WindowId window, UnitId unit, std::int32_t index) {
  return PropertyValueLogical(PropertyRead(window, unit, index));
}
std::int32_t PropertyReadInteger(WindowId window, UnitId unit, std::int32_t index) {
  return PropertyValueInteger(PropertyRead(window, unit, index));
}
Text PropertyReadText(WindowId window, UnitId unit, std::int32_t index) {
  return PropertyValueText(PropertyRead(window, unit, index));
}
void PropertyWriteLogical(WindowId window, UnitId unit, std::int32_t index, bool value) {
  PropertyWrite(window, unit, index, PropertyValue(value));
}
void PropertyWriteInteger(WindowId window, UnitId unit, std::int32_t index, std::int32_t value) {
  PropertyWrite(window, unit, index, PropertyValue(value));
}
void PropertyWriteText(WindowId window, UnitId unit, std::int32_t index, std::string_view value) {
  PropertyWrite(window, unit, index, PropertyValue(MakeText(value)));
}
