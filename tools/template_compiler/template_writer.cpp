#include "tools/template_compiler/template_writer.h"

#include "runtime/windows/byte_stream.h"

namespace {

void Zeros(ByteWriter& w, int wordCount) {
  for (int i = 0; i < wordCount; ++i) w.U32(0);
}

void MenuItemEncode(ByteWriter& w, const UnitRecord& unit) {
  w.U32(unit.parent);
  w.U32(unit.flags);
  w.U32(unit.menuHandlerOffset);
}

void ControlUnitEncode(ByteWriter& w, const UnitRecord& unit) {
  w.I32(unit.left);
  w.I32(unit.top);
  w.I32(unit.width);
  w.I32(unit.height);
  w.U32(0);  // cursor slot
  w.U32(unit.parent);
  w.U32(static_cast<std::uint32_t>(unit.children.size()));
  for (UnitId child : unit.children) w.U32(child);
  w.Blob(unit.mousePointer);
  w.TerminatedText(unit.tag);
  w.U32(0);
  w.U32(unit.flags);
  w.U32(0);
  w.U32(static_cast<std::uint32_t>(unit.bindings.size()));
  for (const auto& binding : unit.bindings) {
    w.I32(binding.event);
    w.U32(binding.handlerOffset);
  }
  Zeros(w, 5);
}

}  // namespace

ByteArray UnitDataEncode(const UnitRecord& unit) {
  ByteWriter w;
  w.U32(unit.typeCode);
  w.U32(unit.origin);
  Zeros(w, 4);
  w.TerminatedText(unit.name);
  w.TerminatedText(unit.remark);
  w.U32(0);  // object slot
  if (unit.IsMenuItem()) {
    MenuItemEncode(w, unit);
  } else {
    ControlUnitEncode(w, unit);
  }
  w.Bytes(unit.typeProperties);
  return w.Take();
}

ByteArray UnitTableEncode(std::span<const UnitRecord> units) {
  ByteWriter records;
  ByteWriter table;
  for (const auto& unit : units) table.U32(unit.id);
  for (const auto& unit : units) {
    table.U32(static_cast<std::uint32_t>(records.Size()));
    records.Blob(UnitDataEncode(unit));
  }
  table.Bytes(records.Result());
  return table.Take();
}

ByteArray TemplateBlockEncode(std::span<const WindowRecord> windows) {
  ByteWriter w;
  w.U32(static_cast<std::uint32_t>(windows.size() * 8));
  for (const auto& window : windows) w.U32(window.id);
  Zeros(w, static_cast<int>(windows.size()));
  for (const auto& window : windows) {
    w.U32(window.designValue);
    w.U32(window.associatedId);
    w.CountedText(window.firstText);
    w.CountedText(window.secondText);
    w.U32(static_cast<std::uint32_t>(window.units.size()));
    w.Blob(UnitTableEncode(window.units));
  }
  return w.Take();
}
