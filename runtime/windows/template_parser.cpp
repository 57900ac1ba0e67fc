// Reads the stored window template block into window records.  Every read is
// bounds-checked; any inconsistency rejects the whole block, so the engine
// never sees a partly parsed window.
#include <algorithm>

#include "runtime/windows/byte_stream.h"
#include "runtime/windows/template_data.h"

namespace {

// A handler "offset" indexes the application's handler table.
bool HandlerResolve(std::uint32_t offset, HandlerTable handlers, EventHandler& handler) {
  if (offset == kNoHandlerOffset) {
    handler = nullptr;
    return true;
  }
  if (offset >= handlers.size()) return false;
  handler = handlers[offset];
  return true;
}

// A count of items of itemSize bytes that must still fit in the reader.
bool CountFits(const ByteReader& r, std::uint32_t count, std::size_t itemSize) {
  return r.Ok() && count <= r.Remaining() / itemSize;
}

// Menu items: type code, origin, four reserved u32, name, remark, object
// slot, parent, flags, handler offset; the rest is the type property block.
bool MenuItemParse(ByteReader& r, HandlerTable handlers, UnitRecord& unit) {
  r.Skip(16);
  unit.name = r.TerminatedText();
  unit.remark = r.TerminatedText();
  r.Skip(4);
  unit.parent = r.U32();
  unit.flags = r.U32();
  unit.menuHandlerOffset = r.U32();
  return r.Ok() && HandlerResolve(unit.menuHandlerOffset, handlers, unit.menuHandler);
}

bool ControlUnitParse(ByteReader& r, HandlerTable handlers, UnitRecord& unit) {
  r.Skip(16);  // reserved
  unit.name = r.TerminatedText();
  unit.remark = r.TerminatedText();
  r.Skip(4);  // object slot
  unit.left = r.I32();
  unit.top = r.I32();
  unit.width = r.I32();
  unit.height = r.I32();
  r.Skip(4);  // cursor slot
  unit.parent = r.U32();
  std::uint32_t childCount = r.U32();
  if (!CountFits(r, childCount, 4)) return false;
  unit.children.resize(childCount);
  for (auto& child : unit.children) child = r.U32();
  unit.mousePointer = r.Blob();
  unit.tag = r.TerminatedText();
  r.Skip(4);
  unit.flags = r.U32();
  r.Skip(4);
  std::uint32_t bindingCount = r.U32();
  if (!CountFits(r, bindingCount, 8)) return false;
  unit.bindings.resize(bindingCount);
  for (auto& binding : unit.bindings) {
    binding.event = r.I32();
    binding.handlerOffset = r.U32();
    if (!HandlerResolve(binding.handlerOffset, handlers, binding.handler)) return false;
  }
  r.Skip(20);  // reserved
  return r.Ok();
}

std::optional<UnitRecord> UnitParse(UnitId id, std::span<const std::uint8_t> data, HandlerTable handlers) {
  ByteReader r(data);
  UnitRecord unit;
  unit.id = id;
  unit.typeCode = r.U32();
  unit.origin = r.U32();
  bool ok = unit.IsMenuItem() ? MenuItemParse(r, handlers, unit) : ControlUnitParse(r, handlers, unit);
  if (!ok) return std::nullopt;
  auto rest = r.Take(r.Remaining());
  unit.typeProperties.assign(rest.begin(), rest.end());
  return unit;
}

// Parents must be units of the same window and must not form a cycle, so
// that the engine can build containers before their contents.
bool ContainmentValid(const WindowRecord& window) {
  for (const auto& unit : window.units) {
    UnitId parent = unit.parent;
    std::size_t steps = 0;
    while (parent != 0) {
      auto container = std::find_if(window.units.begin(), window.units.end(),
                                    [parent](const UnitRecord& u) { return u.id == parent; });
      if (container == window.units.end() || ++steps > window.units.size()) return false;
      parent = container->parent;
    }
  }
  return true;
}

// The unit table: M ids, M offsets, then the unit records back to back.
bool UnitTableParse(std::span<const std::uint8_t> table, std::uint32_t unitCount, HandlerTable handlers,
                    WindowRecord& window) {
  ByteReader r(table);
  if (unitCount == 0 || !CountFits(r, unitCount, 8)) return false;
  std::vector<UnitId> ids(unitCount);
  for (auto& id : ids) id = r.U32();
  std::vector<std::uint32_t> offsets(unitCount);
  for (auto& offset : offsets) offset = r.U32();
  const std::size_t recordsStart = r.Position();
  window.units.reserve(unitCount);
  for (std::uint32_t i = 0; i < unitCount; ++i) {
    // Records follow each other without gaps, in table order.
    if (r.Position() - recordsStart != offsets[i]) return false;
    auto unit = UnitParse(ids[i], r.BlobView(), handlers);
    if (!r.Ok() || !unit) return false;
    window.units.push_back(std::move(*unit));
  }
  if (!r.AtEnd()) return false;
  if (window.units[0].typeCode != TypeCode(kTypeWindow)) return false;
  return ContainmentValid(window);
}

}  // namespace

std::optional<TemplateSet> TemplateSetParse(std::span<const std::uint8_t> block, HandlerTable handlers) {
  ByteReader r(block);
  auto directory = r.BlobView();
  if (!r.Ok() || directory.size() % 8 != 0) return std::nullopt;
  ByteReader ids(directory);
  TemplateSet set;
  set.windows.resize(directory.size() / 8);
  for (auto& window : set.windows) window.id = ids.U32();
  for (auto& window : set.windows) {
    window.designValue = r.U32();
    window.associatedId = r.U32();
    window.firstText = r.CountedText();
    window.secondText = r.CountedText();
    std::uint32_t unitCount = r.U32();
    auto table = r.BlobView();
    if (!r.Ok() || !UnitTableParse(table, unitCount, handlers, window)) return std::nullopt;
  }
  if (!r.AtEnd()) return std::nullopt;
  return set;
}

WindowRecord* TemplateSet::WindowFind(WindowId id) {
  auto found =
      std::find_if(windows.begin(), windows.end(), [id](const WindowRecord& w) { return w.id == id; });
  return found == windows.end() ? nullptr : &*found;
}

UnitRecord* WindowRecord::UnitByIndex(std::size_t index) {
  return index < units.size() ? &units[index] : nullptr;
}

UnitRecord* WindowRecord::UnitById(UnitId id, std::size_t* index) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (units[i].id != id) continue;
    if (index != nullptr) *index = i;
    return &units[i];
  }
  return nullptr;
}

std::optional<UnitId> WindowRecord::UnitIdByIndex(std::size_t index) const {
  if (index >= units.size()) return std::nullopt;
  return units[index].id;
}

bool WindowRecord::UnitDelete(UnitId id) {
  std::size_t index = 0;
  // The window's own unit stays: the record must remain loadable.
  if (UnitById(id, &index) == nullptr || index == 0) return false;
  units.erase(units.begin() + static_cast<std::ptrdiff_t>(index));
  for (auto& unit : units) std::erase(unit.children, id);
  return true;
}

EventHandler WindowRecord::HandlerFind(const UnitRecord& unit, std::int32_t event) const {
  const UnitRecord* source = &unit;
  // Bounded walk: a cycle of origin links must not hang the window thread.
  for (std::size_t steps = 0; source->origin != 0 && steps < units.size(); ++steps) {
    auto origin =
        std::find_if(units.begin(), units.end(), [&](const UnitRecord& u) { return u.id == source->origin; });
    if (origin == units.end() || origin->typeCode != source->typeCode) break;
    source = &*origin;
  }
  for (const auto& binding : source->bindings) {
    if (binding.event == event) return binding.handler;
  }
  return nullptr;
}
