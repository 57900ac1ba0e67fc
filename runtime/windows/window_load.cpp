// Loading, closing and releasing windows, in the order the application's
// handlers rely on: built with events suppressed, then events 0, 3, 4, the
// show, the modal disabling and the nested loop.
#include <windows.h>

#include <algorithm>

#include "runtime/core/program.h"
#include "runtime/core/runtime_error.h"
#include "runtime/core/startup_marks.h"
#include "runtime/windows/engine_internal.h"

namespace {

constexpr char kNotLoadedError[] = "指定窗口或窗口组件不存在或尚未载入";
constexpr int kFirstControlId = 100;
constexpr int kControlIdStep = 10;

// Drops a half-built window: no events, resources released by destruction.
void LoadAbandon(WindowObject* object) {
  HWND handle = object->Handle();
  EventSuppression suppress;
  if (handle != nullptr && IsWindow(handle)) {
    DestroyWindow(handle);
  } else {
    LoadedWindowRelease(object);
  }
}

bool ControlsCreate(WindowObject& window) {
  WindowRecord& record = window.Record();
  int controlId = kFirstControlId;
  for (std::size_t i = record.units.size(); i-- > 1;) {
    UnitRecord& unit = record.units[i];
    if (UnitKindOf(unit.id) != 1) continue;  // menu items are built with the menu
    const ControlKind* kind = ControlKindFind(unit.TypeNumberOf());
    if (kind == nullptr || kind->create == nullptr) return false;
    ControlCreateArgs args;
    args.window = window.Window();
    args.unit = unit.id;
    args.properties = std::span<const std::uint8_t>(unit.typeProperties.data(), unit.typeProperties.size());
    args.parent = window.Handle();
    args.controlId = controlId;
    args.style = WS_CHILD | WS_CLIPSIBLINGS;
    if (unit.flags & kUnitDisabled) args.style |= WS_DISABLED;
    if (unit.flags & kUnitTabStop) args.style |= WS_TABSTOP;
    args.left = unit.left;
    args.top = unit.top;
    args.width = unit.width;
    args.height = unit.height;
    std::unique_ptr<LiveObject> object = kind->create(args);
    if (object == nullptr) return false;
    controlId += kControlIdStep;
    unit.object = object.get();
    window.controls.push_back(std::move(object));
  }
  return true;
}

// Controls move into their group boxes; then, per parent, z order (and so
// tab order) follows table order.
void ControlsArrange(WindowObject& window) {
  WindowRecord& record = window.Record();
  for (std::size_t i = 1; i < record.units.size(); ++i) {
    UnitRecord& unit = record.units[i];
    if (unit.object == nullptr || unit.parent == 0) continue;
    UnitRecord* container = record.UnitById(unit.parent);
    if (container == nullptr || container->object == nullptr) continue;
    HWND parent = container->object->Handle();
    SetParent(unit.object->Handle(), parent);
    unit.object->ParentChanged(parent);
  }
  std::vector<HWND> parents;
  for (std::size_t i = 1; i < record.units.size(); ++i) {
    if (record.units[i].object == nullptr) continue;
    HWND parent = GetParent(record.units[i].object->Handle());
    if (std::find(parents.begin(), parents.end(), parent) == parents.end()) parents.push_back(parent);
  }
  for (HWND parent : parents) {
    HWND previous = HWND_TOP;
    for (std::size_t i = 1; i < record.units.size(); ++i) {
      LiveObject* object = record.units[i].object;
      if (object == nullptr || GetParent(object->Handle()) != parent) continue;
      SetWindowPos(object->Handle(), previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      previous = object->Handle();
    }
  }
}

void ModalDisableOthers(WindowObject& window) {
  window.modal = true;
  for (const auto& other : Engine().loaded) {
    if (other.get() == &window || other->Handle() == nullptr) continue;
    HWND handle = other->Handle();
    window.disabledWindows.emplace_back(handle, IsWindowEnabled(handle) != FALSE);
    EnableWindow(handle, FALSE);
  }
}

bool WindowLoad(WindowId id, std::optional<WindowId> parent, bool modal, bool runModalLoop) {
  EngineState& engine = Engine();
  WindowRecord* record = WindowRecordFind(id);
  if (record == nullptr || record->units.empty()) return false;
  if (WindowObject* existing = LoadedWindowFind(id)) {
    HWND handle = existing->Handle();
    if (!existing->closing) {
      if (IsIconic(handle)) {
        ShowWindow(handle, SW_RESTORE);
      } else {
        SetActiveWindow(handle);
        SetForegroundWindow(handle);
      }
      return true;
    }
    DestroyWindow(handle);
  }
  HWND owner = nullptr;
  if (!modal && parent) {
    WindowObject* parentObject = LoadedWindowFind(*parent);
    if (parentObject == nullptr || !IsWindow(parentObject->Handle())) return false;
    owner = parentObject->Handle();
  }
  HWND activeBefore = GetActiveWindow();

  WindowObject* window = nullptr;
  {
    EventSuppression suppress;
    auto created = std::make_unique<WindowObject>(id, *record);
    window = created.get();
    engine.loaded.push_back(std::move(created));
    record->units[0].object = window;
    UnitRecord& own = record->units[0];
    ControlCreateArgs args;
    args.window = id;
    args.properties = std::span<const std::uint8_t>(own.typeProperties.data(), own.typeProperties.size());
    args.style = (own.flags & kUnitDisabled) ? WS_DISABLED : 0;
    args.left = own.left;
    args.top = own.top;
    args.width = own.width;
    args.height = own.height;
    if (!window->Create(owner, args) || !ControlsCreate(*window)) {
      LoadAbandon(window);
      return false;
    }
    ControlsArrange(*window);
    for (UnitRecord& unit : record->units) {
      UnitCursorLoad(*window, unit);
      if (unit.object != nullptr && unit.object != window && (unit.flags & kUnitVisible)) {
        ShowWindow(unit.object->Handle(), SW_SHOWNA);
      }
    }
  }

  StartupMark("built");
  HWND handle = window->Handle();
  auto alive = [&] { return IsWindow(handle) && LoadedWindowFind(id) == window; };
  for (std::int32_t event : {kEventCreated, kEventMoved, kEventResized}) {
    if (event == kEventCreated) window->RectRemember();
    EventRaise(id, 0, event);
    if (!alive()) return true;
  }

  StartupMark("created");
  const bool visible = (record->units[0].flags & kUnitVisible) != 0;
  if (visible) window->ShowPerStartPosition();
  if (!alive()) return true;
  if (visible) StartupMark("shown");
  HWND focus = GetFocus();
  if (modal) {
    ModalDisableOthers(*window);
    HWND topOwner = activeBefore;
    if (topOwner != nullptr && (GetWindowLongPtrA(topOwner, GWL_EXSTYLE) & WS_EX_TOPMOST)) {
      SetWindowPos(handle, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
  if (focus != nullptr && IsWindow(focus) && IsChild(handle, focus)) SetFocus(focus);
  window->justLoaded = !visible;

  if (runModalLoop && modal && visible) ModalLoopRun(handle);
  return true;
}

}  // namespace

bool WindowLoadService(WindowId window, std::optional<WindowId> parent, bool modal) {
  return WindowLoad(window, parent, modal, true);
}

void StartWindowLoad(WindowId window) {
  if (!WindowLoad(window, std::nullopt, false, false)) RuntimeErrorRaise("载入启动窗口失败");
}

void WindowCloseService(WindowId window, bool immediate) {
  WindowObject* object = LoadedWindowFind(window);
  if (object == nullptr || !IsWindow(object->Handle())) RuntimeErrorRaise(kNotLoadedError);
  object->closing = true;
  if (immediate) {
    object->DisabledWindowsRestore();
    DestroyWindow(object->Handle());
    return;
  }
  PostMessageA(object->Handle(), kDeferredCloseMessage, 0, 0);
}

void ControlDestroyService(WindowId window, UnitId unit) {
  if (unit == 0) {
    WindowCloseService(window, true);
    return;
  }
  WindowObject* owner = LoadedWindowFind(window);
  UnitRecord* record = owner != nullptr ? owner->Record().UnitById(unit) : nullptr;
  if (record == nullptr || record->object == nullptr || !IsWindow(record->object->Handle())) {
    RuntimeErrorRaise(kNotLoadedError);
  }
  LiveObject* object = record->object;
  HWND handle = object->Handle();
  const bool hadChildren = GetWindow(handle, GW_CHILD) != nullptr;
  DestroyWindow(handle);
  if (hadChildren) {
    // The contained controls went with it; their slots must not point at dead windows.
    for (UnitRecord& u : owner->Record().units) {
      if (u.object != nullptr && u.object->Handle() == nullptr) u.object = nullptr;
    }
    return;
  }
  owner->Record().UnitDelete(unit);
  auto& controls = owner->controls;
  controls.erase(std::remove_if(controls.begin(), controls.end(),
                                [&](const std::unique_ptr<LiveObject>& p) { return p.get() == object; }),
                 controls.end());
}
