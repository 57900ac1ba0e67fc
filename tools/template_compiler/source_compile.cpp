#include "tools/template_compiler/source_compile.h"

#include <algorithm>
#include <map>
#include <set>

#include "tools/template_compiler/property_source.h"
#include "tools/template_compiler/source_values.h"

namespace {

const std::map<std::string_view, std::uint32_t> kTypeNumbers = {
    {"window", kTypeWindow},     {"menu", kTypeMenu},           {"EditBox", kTypeEditBox},
    {"GroupBox", kTypeGroupBox}, {"Label", kTypeLabel},         {"Button", kTypeButton},
    {"CheckBox", kTypeCheckBox}, {"DriverBox", kTypeDriverBox}, {"DirBox", kTypeDirBox},
    {"ListView", kTypeListView},
};

class HandlerNumbering {
 public:
  explicit HandlerNumbering(std::vector<std::string>& names) : names_(names) {}
  bool Number(SourceContext& context, const SourceEntry& entry, std::uint32_t& offset) {
    if (entry.value == "none") {
      offset = kNoHandlerOffset;
      return true;
    }
    const std::string& name = entry.value;
    bool identifier = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
      return c == '_' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    });
    if (!identifier || (name[0] >= '0' && name[0] <= '9'))
      return context.Fail(entry, "expected a handler name");
    auto found = std::find(names_.begin(), names_.end(), name);
    offset = static_cast<std::uint32_t>(found - names_.begin());
    if (found == names_.end()) names_.push_back(name);
    return true;
  }

 private:
  std::vector<std::string>& names_;
};

bool FlagsParse(SourceContext& context, const SourceEntry& entry, std::uint32_t& flags) {
  if (auto number = SourceIntegerParse(entry.value)) {
    flags = static_cast<std::uint32_t>(*number);
    return true;
  }
  flags = 0;
  for (auto word : SourceWords(entry.value)) {
    if (word == "visible") {
      flags |= kUnitVisible;
    } else if (word == "disabled") {
      flags |= kUnitDisabled;
    } else if (word == "tabstop") {
      flags |= kUnitTabStop;
    } else {
      return context.Fail(entry, "unknown flag " + std::string(word));
    }
  }
  return true;
}

bool IntegerField(SourceContext& context, const SourceEntry& entry, std::int32_t& value) {
  std::int64_t number = 0;
  if (!ValueInteger(context, entry, number)) return false;
  value = static_cast<std::int32_t>(number);
  return true;
}

bool UnitIdCheck(SourceContext& context, const SourceEntry& where, std::size_t index,
                 const UnitRecord& unit) {
  if (((unit.id >> 24) & 0xF) != 6 || (unit.id & 0xFFFFFF) == 0) {
    return context.Fail(where, "a unit id needs 6 in bits 24-27 and a non-zero serial");
  }
  std::uint32_t expectedKind = index == 0 ? 0 : unit.TypeNumberOf() == kTypeMenu ? 2 : 1;
  if (UnitKindOf(unit.id) != expectedKind) {
    return context.Fail(where, "bits 28-31 of the id must be " + std::to_string(expectedKind));
  }
  if ((index == 0) != (unit.TypeNumberOf() == kTypeWindow)) {
    return context.Fail(where, "the first unit, and only it, is the window");
  }
  return true;
}

struct UnitReferences {
  const SourceEntry* parent = nullptr;
  const SourceEntry* origin = nullptr;
};

bool UnitCompile(SourceContext& context, const UnitSource& source, std::size_t index,
                 HandlerNumbering& handlers, UnitRecord& unit, UnitReferences& references) {
  SourceEntry where{"unit " + source.name, "", source.line};
  unit.id = source.id;
  unit.mousePointer.assign(4, 0);
  unit.flags = kUnitVisible;
  if (source.entries.empty() || source.entries.front().key != "type") {
    return context.Fail(where, "the first line of a unit must give its type");
  }
  auto type = kTypeNumbers.find(source.entries.front().value);
  if (type == kTypeNumbers.end()) return context.Fail(source.entries.front(), "unknown type");
  unit.typeCode = TypeCode(type->second);
  if (!UnitIdCheck(context, where, index, unit)) return false;
  auto name = MakeText(source.name);
  if (!source.name.empty()) {
    // Names are GBK in the records; reuse the text rules through a pseudo entry.
    SourceEntry quoted{"name", "\"" + source.name + "\"", source.line};
    if (!ValueText(context, quoted, name)) return false;
  }
  unit.name = name;

  std::vector<const SourceEntry*> properties;
  std::set<std::string> seen;
  for (std::size_t i = 1; i < source.entries.size(); ++i) {
    const SourceEntry& e = source.entries[i];
    if (!seen.insert(e.key).second) return context.Fail(e, "given twice");
    bool ok = true;
    if (e.key == "left") {
      ok = IntegerField(context, e, unit.left);
    } else if (e.key == "top") {
      ok = IntegerField(context, e, unit.top);
    } else if (e.key == "width") {
      ok = IntegerField(context, e, unit.width);
    } else if (e.key == "height") {
      ok = IntegerField(context, e, unit.height);
    } else if (e.key == "flags") {
      ok = FlagsParse(context, e, unit.flags);
    } else if (e.key == "tag") {
      ok = ValueText(context, e, unit.tag);
    } else if (e.key == "remark") {
      ok = ValueText(context, e, unit.remark);
    } else if (e.key == "mousePointer") {
      ok = ValueBytes(context, e, unit.mousePointer);
    } else if (e.key == "parent") {
      references.parent = &e;
    } else if (e.key == "origin") {
      references.origin = &e;
    } else if (e.key == "handler" && unit.IsMenuItem()) {
      ok = handlers.Number(context, e, unit.menuHandlerOffset);
    } else if (e.key.starts_with("on ") && !unit.IsMenuItem()) {
      auto event = SourceIntegerParse(std::string_view(e.key).substr(3));
      if (!event) return context.Fail(e, "expected 'on <event number>'");
      EventBinding binding;
      binding.event = static_cast<std::int32_t>(*event);
      ok = handlers.Number(context, e, binding.handlerOffset);
      unit.bindings.push_back(binding);
    } else if (PropertyKeyKnown(unit.TypeNumberOf(), e.key)) {
      properties.push_back(&e);
    } else {
      return context.Fail(e, "unknown key for this type");
    }
    if (!ok) return false;
  }
  return TypePropertiesCompile(context, unit.TypeNumberOf(), properties, unit.typeProperties);
}

// A reference to another unit of the window: its name, or its id.
const UnitRecord* UnitReferenceFind(const CompiledWindow& window, const std::string& reference) {
  for (std::size_t i = 0; i < window.record.units.size(); ++i) {
    if (!window.unitNames[i].empty() && window.unitNames[i] == reference) return &window.record.units[i];
  }
  auto id = SourceIntegerParse(reference);
  if (!id) return nullptr;
  auto found = std::find_if(window.record.units.begin(), window.record.units.end(),
                            [&](const UnitRecord& u) { return u.id == static_cast<std::uint32_t>(*id); });
  return found == window.record.units.end() ? nullptr : &*found;
}

bool ReferencesResolve(SourceContext& context, CompiledWindow& window,
                       const std::vector<UnitReferences>& references) {
  auto& units = window.record.units;
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (const SourceEntry* e = references[i].origin) {
      const UnitRecord* origin = UnitReferenceFind(window, e->value);
      if (origin == nullptr) return context.Fail(*e, "no such unit");
      units[i].origin = origin->id;
    }
    if (const SourceEntry* e = references[i].parent) {
      const UnitRecord* parent = UnitReferenceFind(window, e->value);
      if (parent == nullptr || parent->TypeNumberOf() != kTypeGroupBox || parent == &units[i]) {
        return context.Fail(*e, "the parent must be another group box of this window");
      }
      units[i].parent = parent->id;
    }
  }
  // Containers list their contents in table order; chains must end at the window.
  auto byId = [&units](UnitId id) {
    return std::find_if(units.begin(), units.end(), [id](const UnitRecord& u) { return u.id == id; });
  };
  for (std::size_t i = 0; i < units.size(); ++i) {
    for (const auto& other : units) {
      if (other.parent == units[i].id) units[i].children.push_back(other.id);
    }
    UnitId parent = units[i].parent;
    for (std::size_t steps = 0; parent != 0; ++steps) {
      if (steps > units.size()) return context.Fail(*references[i].parent, "group boxes contain each other");
      parent = byId(parent)->parent;
    }
  }
  return true;
}

bool WindowCompile(SourceContext& context, const WindowSource& source, HandlerNumbering& handlers,
                   CompiledWindow& window) {
  SourceEntry where{"window " + source.name, "", 1};
  window.name = source.name;
  window.record.id = source.id;
  if (!WindowIdValid(source.id)) return context.Fail(where, "invalid window id");
  for (const auto& e : source.entries) {
    std::int64_t number = 0;
    bool ok = true;
    if (e.key == "design") {
      ok = ValueInteger(context, e, number);
      window.record.designValue = static_cast<std::uint32_t>(number);
    } else if (e.key == "associated") {
      ok = ValueInteger(context, e, number);
      window.record.associatedId = static_cast<std::uint32_t>(number);
    } else if (e.key == "firstText") {
      ok = ValueText(context, e, window.record.firstText);
    } else if (e.key == "secondText") {
      ok = ValueText(context, e, window.record.secondText);
    } else {
      return context.Fail(e, "unknown window key");
    }
    if (!ok) return false;
  }
  std::vector<UnitReferences> references(source.units.size());
  for (std::size_t i = 0; i < source.units.size(); ++i) {
    const UnitSource& unitSource = source.units[i];
    SourceEntry unitWhere{"unit " + unitSource.name, "", unitSource.line};
    for (std::size_t j = 0; j < i; ++j) {
      if (source.units[j].id == unitSource.id) return context.Fail(unitWhere, "unit id used twice");
      if (!unitSource.name.empty() && source.units[j].name == unitSource.name) {
        return context.Fail(unitWhere, "unit name used twice");
      }
    }
    if (i > 0 && unitSource.name.empty()) return context.Fail(unitWhere, "a control needs a name");
    if (i == 0 && !unitSource.name.empty())
      return context.Fail(unitWhere, "the window's own unit has no name");
    UnitRecord unit;
    if (!UnitCompile(context, unitSource, i, handlers, unit, references[i])) return false;
    window.record.units.push_back(std::move(unit));
    window.unitNames.push_back(unitSource.name);
  }
  return ReferencesResolve(context, window, references);
}

}  // namespace

std::vector<WindowRecord> CompiledTemplates::Records() const {
  std::vector<WindowRecord> records;
  for (const auto& window : windows) records.push_back(window.record);
  return records;
}

std::optional<CompiledTemplates> TemplatesCompile(const std::vector<WindowSource>& sources,
                                                  std::string& error) {
  CompiledTemplates compiled;
  HandlerNumbering handlers(compiled.handlerNames);
  for (const auto& source : sources) {
    SourceContext context{source.path, {}};
    for (const auto& other : compiled.windows) {
      if (other.record.id == source.id || other.name == source.name) {
        error = source.path + ": window id or name used by another window";
        return std::nullopt;
      }
    }
    CompiledWindow window;
    if (!WindowCompile(context, source, handlers, window)) {
      error = context.error;
      return std::nullopt;
    }
    compiled.windows.push_back(std::move(window));
  }
  return compiled;
}
