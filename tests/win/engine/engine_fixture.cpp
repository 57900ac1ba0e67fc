#include "engine_fixture.h"

#include <array>
#include <utility>

#include "tools/template_compiler/template_writer.h"

namespace {

constexpr std::size_t kSlotCount = 64;

struct Slots {
  std::array<std::string, kSlotCount> labels;
  std::array<Behaviour, kSlotCount> behaviours;
  std::size_t used = 0;
  std::vector<std::string> log;
  std::vector<WindowId> windowIds;
  ByteArray block;  // the engine keeps referring to parsed copies only
};
Slots& TheSlots() {
  static Slots slots;
  return slots;
}

template <std::size_t N>
EventResult SlotHandler(const EventArgs& args) {
  Slots& slots = TheSlots();
  slots.log.push_back(slots.labels[N]);
  if (slots.behaviours[N]) return slots.behaviours[N](args);
  return EventResult::None();
}

template <std::size_t... I>
constexpr std::array<EventHandler, sizeof...(I)> HandlerArray(std::index_sequence<I...>) {
  return {&SlotHandler<I>...};
}
const std::array<EventHandler, kSlotCount> kHandlers = HandlerArray(std::make_index_sequence<kSlotCount>());

}  // namespace

std::vector<std::string>& EventLog() { return TheSlots().log; }

WindowRecord& TestTemplates::Find(WindowId id) {
  for (WindowRecord& window : windows_) {
    if (window.id == id) return window;
  }
  ADD_FAILURE() << "no test window " << id;
  return windows_.front();
}

WindowRecord& TestTemplates::WindowAdd(WindowId id, const WindowProperties& properties, Rect rect,
                                       std::uint32_t flags) {
  WindowRecord window;
  window.id = id;
  UnitRecord own;
  own.id = OwnUnitId(id & 0xFFFFu);
  own.typeCode = TypeCode(kTypeWindow);
  own.left = rect.left;
  own.top = rect.top;
  own.width = rect.width;
  own.height = rect.height;
  own.flags = flags;
  own.mousePointer = ByteArray(4, 0);
  own.typeProperties = WindowPropertiesEncode(properties);
  window.units.push_back(std::move(own));
  windows_.push_back(std::move(window));
  return windows_.back();
}

UnitRecord& TestTemplates::ControlAdd(WindowId windowId, UnitId unit, std::uint32_t type,
                                      ByteArray properties, Rect rect, std::uint32_t flags, UnitId parent) {
  WindowRecord& window = Find(windowId);
  UnitRecord control;
  control.id = unit;
  control.typeCode = TypeCode(type);
  control.name = MakeText("unit");
  control.left = rect.left;
  control.top = rect.top;
  control.width = rect.width;
  control.height = rect.height;
  control.flags = flags;
  control.parent = parent;
  control.mousePointer = ByteArray(4, 0);
  control.typeProperties = std::move(properties);
  if (parent != 0) {
    for (UnitRecord& container : window.units) {
      if (container.id == parent) container.children.push_back(unit);
    }
  }
  window.units.push_back(std::move(control));
  return window.units.back();
}

void TestTemplates::Bind(WindowId windowId, UnitId unit, std::int32_t event, const std::string& label,
                         Behaviour behaviour) {
  Slots& slots = TheSlots();
  if (slots.used == kSlotCount) {
    ADD_FAILURE() << "out of handler slots";
    return;
  }
  const std::size_t slot = slots.used++;
  slots.labels[slot] = label + ":" + std::to_string(event);
  slots.behaviours[slot] = std::move(behaviour);
  WindowRecord& window = Find(windowId);
  for (UnitRecord& record : window.units) {
    if ((unit == 0 && UnitKindOf(record.id) == 0) || record.id == unit) {
      EventBinding binding;
      binding.event = event;
      binding.handlerOffset = static_cast<std::uint32_t>(slot);
      record.bindings.push_back(binding);
      return;
    }
  }
  ADD_FAILURE() << "no unit " << unit;
}

void TestTemplates::Start() {
  Slots& slots = TheSlots();
  slots.block = TemplateBlockEncode(windows_);
  slots.windowIds.clear();
  for (const WindowRecord& window : windows_) slots.windowIds.push_back(window.id);
  EngineStart(std::span<const std::uint8_t>(slots.block.data(), slots.block.size()), kHandlers);
}

void EngineTest::TearDown() {
  Slots& slots = TheSlots();
  for (Behaviour& behaviour : slots.behaviours) behaviour = nullptr;
  for (WindowId id : slots.windowIds) {
    if (WindowIsLoaded(id)) WindowCloseService(id, true);
  }
  PumpMessages();
  slots.used = 0;
  slots.log.clear();
}

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) continue;
    EngineMessageDispatch(message);
  }
}

void KeyPress(HWND target, UINT key) {
  MSG message{};
  message.hwnd = target;
  message.message = WM_KEYDOWN;
  message.wParam = key;
  message.lParam = 1;
  EngineMessageDispatch(message);
  PumpMessages();
}
