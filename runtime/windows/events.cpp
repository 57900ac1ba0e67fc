// Raising events: from a unit to the application's handler bound to it.
#include "runtime/core/runtime_error.h"
#include "runtime/windows/engine_internal.h"

namespace {

// Types that raise events: the window, the controls and menu items.
bool RaisesEvents(std::uint32_t typeNumber) {
  switch (typeNumber) {
    case kTypeWindow:
    case kTypeMenu:
    case kTypeEditBox:
    case kTypeGroupBox:
    case kTypeLabel:
    case kTypeButton:
    case kTypeCheckBox:
    case kTypeDriverBox:
    case kTypeDirBox:
      return true;
    default:
      return ControlKindFind(typeNumber) != nullptr;
  }
}

// Restores the previous event source when a (possibly nested) handler returns.
class EventSourceScope {
 public:
  EventSourceScope(WindowId window, UnitId unit) : previous_(Engine().currentSource) {
    Engine().currentSource = {window, unit};
  }
  ~EventSourceScope() { Engine().currentSource = previous_; }
  EventSourceScope(const EventSourceScope&) = delete;
  EventSourceScope& operator=(const EventSourceScope&) = delete;

 private:
  EventSource previous_;
};

}  // namespace

EventOutcome EventRaise(WindowId window, UnitId unit, std::int32_t event, const EventArgs& args) {
  if (Engine().suppression > 0) return {};
  WindowRecord* record = WindowRecordFind(window);
  if (record == nullptr) RuntimeErrorRaise("未找到引发事件的窗口");
  const UnitRecord* found = unit == 0 ? record->UnitByIndex(0) : record->UnitById(unit);
  if (found == nullptr) RuntimeErrorRaise("未找到引发事件的窗口组件");
  if (!RaisesEvents(found->TypeNumberOf())) RuntimeErrorRaise("引发事件的窗口组件无效");
  const EventHandler handler = found->IsMenuItem() ? found->menuHandler : record->HandlerFind(*found, event);
  if (handler == nullptr) return {};
  EventSourceScope source(window, found->id);
  return {true, handler(args)};
}
