// The window templates after parsing: window records with their unit
// tables.  The stored block format is read by TemplateSetParse; the engine
// keeps the parsed records as its registry of live objects.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "runtime/core/text.h"
#include "runtime/windows/event_handler.h"

using WindowId = std::uint32_t;
using UnitId = std::uint32_t;

constexpr std::uint32_t kNoHandlerOffset = 0xFFFFFFFFu;

enum TypeNumber : std::uint32_t {
  kTypeWindow = 1,
  kTypeMenu = 3,
  kTypeEditBox = 5,
  kTypeGroupBox = 9,
  kTypeLabel = 10,
  kTypeButton = 11,
  kTypeCheckBox = 12,
  kTypeDriverBox = 25,
  kTypeDirBox = 26,
  kTypeListView = 27,
};
constexpr std::uint32_t kBuiltInLibrary = 1;
constexpr std::uint32_t TypeCode(std::uint32_t typeNumber) { return kBuiltInLibrary * 65536u + typeNumber; }

enum UnitFlags : std::uint32_t { kUnitVisible = 1, kUnitDisabled = 2, kUnitTabStop = 4 };

// Bits 28-31 of a unit id: 0 the window's own unit, 1 a control, 2 a menu item.
constexpr std::uint32_t UnitKindOf(UnitId id) { return id >> 28; }
// Valid window id: low 24 bits and bits 24-27 both non-zero.
constexpr bool WindowIdValid(WindowId id) { return (id & 0xFFFFFFu) != 0 && ((id >> 24) & 0xFu) != 0; }

class LiveObject;  // the engine's live window or control (opaque here)

struct EventBinding {
  std::int32_t event = 0;
  std::uint32_t handlerOffset = kNoHandlerOffset;
  EventHandler handler = nullptr;  // resolved at parse; null = no handler
};

struct UnitRecord {
  UnitId id = 0;
  std::uint32_t typeCode = 0;
  UnitId origin = 0;
  Text name;
  Text remark;
  LiveObject* object = nullptr;  // object slot: the live window or control
  std::int32_t left = 0, top = 0, width = 0, height = 0;
  void* cursor = nullptr;  // cursor slot: the loaded mouse pointer
  UnitId parent = 0;
  std::vector<UnitId> children;
  ByteArray mousePointer;  // 4 zero bytes = default pointer
  Text tag;
  std::uint32_t flags = 0;
  std::vector<EventBinding> bindings;
  ByteArray typeProperties;  // field 23, possibly empty
  // Menu items carry one handler instead of a binding list.
  EventHandler menuHandler = nullptr;
  std::uint32_t menuHandlerOffset = kNoHandlerOffset;

  std::uint32_t TypeNumberOf() const { return typeCode & 0xFFFFu; }
  bool IsMenuItem() const { return UnitKindOf(id) == 2 && TypeNumberOf() == kTypeMenu; }
};

struct WindowRecord {
  WindowId id = 0;
  std::uint32_t designValue = 0;
  std::uint32_t associatedId = 0;
  Text firstText;
  Text secondText;
  std::vector<UnitRecord> units;  // unit 0 is the window's own unit

  UnitRecord* UnitByIndex(std::size_t index);
  // The unit with that id and its index, or nullptr.
  UnitRecord* UnitById(UnitId id, std::size_t* index = nullptr);
  std::optional<UnitId> UnitIdByIndex(std::size_t index) const;
  // Removes a unit: its record goes and its id leaves its parent's child list.
  bool UnitDelete(UnitId id);
  // The handler bound to event on unit (following origin links to units of
  // the same type code); nullptr when the event is not handled.
  EventHandler HandlerFind(const UnitRecord& unit, std::int32_t event) const;
};

struct TemplateSet {
  std::vector<WindowRecord> windows;  // directory order
  WindowRecord* WindowFind(WindowId id);
};

// Parses a whole block.  Any malformed input yields nullopt (the engine
// turns that into the run-time error "载入窗口模板数据段出错!").  A handler
// offset indexes handlers; 0xFFFFFFFF resolves to no handler.
std::optional<TemplateSet> TemplateSetParse(std::span<const std::uint8_t> block, HandlerTable handlers);
