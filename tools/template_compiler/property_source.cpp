#include "tools/template_compiler/property_source.h"

#include <array>
#include <cstring>
#include <variant>

#include "runtime/windows/template_data.h"
#include "runtime/windows/type_properties.h"

namespace {

template <class P>
using Member =
    std::variant<std::uint32_t P::*, std::uint16_t P::*, std::uint8_t P::*, Text P::*, ByteArray P::*,
                 std::array<std::uint32_t, 2> P::*, std::array<std::uint32_t, 3> P::*>;

template <class P>
struct Field {
  std::string_view key;
  Member<P> member;
};

#define F(P, name) \
  Field<P> { #name, &P::name }

const std::array kWindowFields = {
    F(WindowProperties, borderStyle),      F(WindowProperties, pictureMode),
    F(WindowProperties, backgroundColour), F(WindowProperties, maximizeButton),
    F(WindowProperties, minimizeButton),   F(WindowProperties, systemMenu),
    F(WindowProperties, startPosition),    F(WindowProperties, movable),
    F(WindowProperties, property14),       F(WindowProperties, enterMovesFocus),
    F(WindowProperties, escCloses),        F(WindowProperties, f1OpensHelp),
    F(WindowProperties, helpTopic),        F(WindowProperties, shownInTaskbar),
    F(WindowProperties, property27),       F(WindowProperties, shape),
    F(WindowProperties, alwaysOnTop),      F(WindowProperties, property30),
    F(WindowProperties, className),        F(WindowProperties, backgroundPicture),
    F(WindowProperties, property20Data),   F(WindowProperties, property13Data),
    F(WindowProperties, caption),          F(WindowProperties, helpFile),
};
const std::array kEditBoxFields = {
    F(EditBoxProperties, borderStyle),      F(EditBoxProperties, textColour),
    F(EditBoxProperties, backgroundColour), F(EditBoxProperties, hideSelection),
    F(EditBoxProperties, maxLength),        F(EditBoxProperties, multiLine),
    F(EditBoxProperties, scrollBars),       F(EditBoxProperties, alignment),
    F(EditBoxProperties, inputMode),        F(EditBoxProperties, passwordChar),
    F(EditBoxProperties, caseConversion),   F(EditBoxProperties, spinnerMode),
    F(EditBoxProperties, spinnerMinimum),   F(EditBoxProperties, spinnerMaximum),
    F(EditBoxProperties, selectionStart),   F(EditBoxProperties, selectionLength),
    F(EditBoxProperties, content),          F(EditBoxProperties, dataSource),
    F(EditBoxProperties, dataColumn),
};
const std::array kLabelFields = {
    F(LabelProperties, textEffect),
    F(LabelProperties, frameInteger),
    F(LabelProperties, borderStyle),
    F(LabelProperties, frameColours),
    F(LabelProperties, textColour),
    F(LabelProperties, backgroundColour),
    F(LabelProperties, backgroundChoices),
    F(LabelProperties, backgroundColours),
    F(LabelProperties, horizontalAlignment),
    F(LabelProperties, verticalAlignment),
    F(LabelProperties, wordWrap),
    F(LabelProperties, backgroundPicture),
    F(LabelProperties, caption),
    F(LabelProperties, dataSource),
    F(LabelProperties, dataColumn),
};
const std::array kButtonFields = {
    F(ButtonProperties, buttonType),        F(ButtonProperties, horizontalAlignment),
    F(ButtonProperties, verticalAlignment), F(ButtonProperties, picture),
    F(ButtonProperties, caption),
};
const std::array kCheckBoxFields = {
    F(CheckBoxProperties, pushLike),          F(CheckBoxProperties, flat),
    F(CheckBoxProperties, textOnLeft),        F(CheckBoxProperties, horizontalAlignment),
    F(CheckBoxProperties, verticalAlignment), F(CheckBoxProperties, textColour),
    F(CheckBoxProperties, backgroundColour),  F(CheckBoxProperties, checked),
    F(CheckBoxProperties, picture),           F(CheckBoxProperties, caption),
    F(CheckBoxProperties, dataSource),        F(CheckBoxProperties, dataColumn),
};
const std::array kGroupBoxFields = {
    F(GroupBoxProperties, style),
    F(GroupBoxProperties, textColour),
    F(GroupBoxProperties, backgroundColour),
    F(GroupBoxProperties, caption),
};
const std::array kDriverBoxFields = {
    F(DriverBoxProperties, driveLetter),
    F(DriverBoxProperties, driveKindFilter),
    F(DriverBoxProperties, textColour),
    F(DriverBoxProperties, backgroundColour),
};
const std::array kDirBoxFields = {
    F(DirBoxProperties, borderStyle),
    F(DirBoxProperties, backgroundColour),
};
const std::array kListViewFields = {
    F(ListViewProperties, multiSelect),
    F(ListViewProperties, gridLines),
    F(ListViewProperties, columns),
};
#undef F

// An integer, or a one-character quoted text (password character, drive letter).
bool SmallValue(SourceContext& context, const SourceEntry& entry, std::int64_t max, std::int64_t& value) {
  if (auto text = SourceQuotedParse(entry.value); text && text->size() == 1) {
    value = static_cast<unsigned char>((*text)[0]);
    return true;
  }
  if (!ValueInteger(context, entry, value)) return false;
  if (value < 0 || value > max) return context.Fail(entry, "value out of range");
  return true;
}

template <std::size_t N>
bool IntegerList(SourceContext& context, const SourceEntry& entry, std::array<std::uint32_t, N>& values) {
  auto words = SourceWords(entry.value);
  if (words.size() != N) return context.Fail(entry, "expected " + std::to_string(N) + " integers");
  for (std::size_t i = 0; i < N; ++i) {
    auto value = SourceIntegerParse(words[i]);
    if (!value) return context.Fail(entry, "expected integers");
    values[i] = static_cast<std::uint32_t>(*value);
  }
  return true;
}

template <class P>
bool FieldApply(SourceContext& context, const SourceEntry& entry, const Member<P>& member, P& p) {
  std::int64_t number = 0;
  if (auto m = std::get_if<std::uint32_t P::*>(&member)) {
    if (!ValueInteger(context, entry, number)) return false;
    p.*(*m) = static_cast<std::uint32_t>(number);
    return true;
  }
  if (auto m = std::get_if<std::uint16_t P::*>(&member)) {
    if (!SmallValue(context, entry, 0xFFFF, number)) return false;
    p.*(*m) = static_cast<std::uint16_t>(number);
    return true;
  }
  if (auto m = std::get_if<std::uint8_t P::*>(&member)) {
    if (!SmallValue(context, entry, 0xFF, number)) return false;
    p.*(*m) = static_cast<std::uint8_t>(number);
    return true;
  }
  if (auto m = std::get_if<Text P::*>(&member)) return ValueText(context, entry, p.*(*m));
  if (auto m = std::get_if<ByteArray P::*>(&member)) return ValueBytes(context, entry, p.*(*m));
  if (auto m = std::get_if<std::array<std::uint32_t, 2> P::*>(&member))
    return IntegerList(context, entry, p.*(*m));
  return IntegerList(context, entry, p.*std::get<std::array<std::uint32_t, 3> P::*>(member));
}

bool FontFieldApply(SourceContext& context, const SourceEntry& entry, std::string_view name,
                    FontRecord& font) {
  if (name == "faceName") {
    Text face;
    if (!ValueText(context, entry, face)) return false;
    if (face.size() >= font.faceName.size()) return context.Fail(entry, "face name longer than 31 bytes");
    font.faceName.fill(0);
    std::memcpy(font.faceName.data(), face.data(), face.size());
    return true;
  }
  const std::pair<std::string_view, std::int32_t FontRecord::*> numbers[] = {
      {"height", &FontRecord::height},         {"width", &FontRecord::width},
      {"escapement", &FontRecord::escapement}, {"orientation", &FontRecord::orientation},
      {"weight", &FontRecord::weight},
  };
  const std::pair<std::string_view, std::uint8_t FontRecord::*> bytes[] = {
      {"italic", &FontRecord::italic},
      {"underline", &FontRecord::underline},
      {"strikeOut", &FontRecord::strikeOut},
      {"charSet", &FontRecord::charSet},
      {"outPrecision", &FontRecord::outPrecision},
      {"clipPrecision", &FontRecord::clipPrecision},
      {"quality", &FontRecord::quality},
      {"pitchAndFamily", &FontRecord::pitchAndFamily},
  };
  std::int64_t value = 0;
  for (auto [key, member] : numbers) {
    if (key != name) continue;
    if (!ValueInteger(context, entry, value)) return false;
    font.*member = static_cast<std::int32_t>(value);
    return true;
  }
  for (auto [key, member] : bytes) {
    if (key != name) continue;
    if (!ValueInteger(context, entry, value)) return false;
    if (value < 0 || value > 255) return context.Fail(entry, "value out of range");
    font.*member = static_cast<std::uint8_t>(value);
    return true;
  }
  return context.Fail(entry, "unknown font field");
}

template <class P, std::size_t N>
bool KeyKnown(const std::array<Field<P>, N>& fields, std::string_view key) {
  if (key == "version" || key.starts_with("font.")) return true;
  for (const auto& field : fields) {
    if (field.key == key) return true;
  }
  return false;
}

template <class P, std::size_t N, class Encode, class Decode>
bool Compile(SourceContext& context, const std::array<Field<P>, N>& fields, bool hasFont,
             const std::vector<const SourceEntry*>& entries, Encode encode, Decode decode, ByteArray& block) {
  block.clear();
  if (entries.empty()) return true;
  P p;
  std::optional<FontRecord> font;
  for (const SourceEntry* entry : entries) {
    if (entry->key == "version") {
      std::int64_t version = 0;
      if (!ValueInteger(context, *entry, version)) return false;
      if (version < 0 || version > P::kMaxVersion) return context.Fail(*entry, "unsupported version");
      p.version = static_cast<std::uint32_t>(version);
      continue;
    }
    if (entry->key.starts_with("font.")) {
      if (!hasFont) return context.Fail(*entry, "this type has no font");
      if (!font) font.emplace();
      if (!FontFieldApply(context, *entry, std::string_view(entry->key).substr(5), *font)) return false;
      continue;
    }
    bool applied = false;
    for (const auto& field : fields) {
      if (field.key != entry->key) continue;
      if (!FieldApply(context, *entry, field.member, p)) return false;
      applied = true;
    }
    if (!applied) return context.Fail(*entry, "unknown property");
  }
  if constexpr (requires { p.font; }) p.font = font;
  block = encode(p);
  // A value the chosen version does not store would be lost silently.
  if (decode(std::span<const std::uint8_t>(block.data(), block.size())) != p) {
    return context.Fail(*entries.front(), "a value is set that this version of the block does not store");
  }
  return true;
}

}  // namespace

bool PropertyKeyKnown(std::uint32_t typeNumber, std::string_view key) {
  switch (typeNumber) {
    case kTypeWindow:
      return KeyKnown(kWindowFields, key) && !key.starts_with("font.");
    case kTypeEditBox:
      return KeyKnown(kEditBoxFields, key);
    case kTypeLabel:
      return KeyKnown(kLabelFields, key);
    case kTypeButton:
      return KeyKnown(kButtonFields, key);
    case kTypeCheckBox:
      return KeyKnown(kCheckBoxFields, key);
    case kTypeGroupBox:
      return KeyKnown(kGroupBoxFields, key);
    case kTypeDriverBox:
      return KeyKnown(kDriverBoxFields, key);
    case kTypeDirBox:
      return KeyKnown(kDirBoxFields, key);
    case kTypeListView:
      return KeyKnown(kListViewFields, key);
    default:
      return false;
  }
}

bool TypePropertiesCompile(SourceContext& context, std::uint32_t typeNumber,
                           const std::vector<const SourceEntry*>& entries, ByteArray& block) {
  switch (typeNumber) {
    case kTypeWindow:
      return Compile(context, kWindowFields, false, entries, WindowPropertiesEncode, WindowPropertiesDecode,
                     block);
    case kTypeEditBox:
      return Compile(context, kEditBoxFields, true, entries, EditBoxPropertiesEncode, EditBoxPropertiesDecode,
                     block);
    case kTypeLabel:
      return Compile(context, kLabelFields, true, entries, LabelPropertiesEncode, LabelPropertiesDecode,
                     block);
    case kTypeButton:
      return Compile(context, kButtonFields, true, entries, ButtonPropertiesEncode, ButtonPropertiesDecode,
                     block);
    case kTypeCheckBox:
      return Compile(context, kCheckBoxFields, true, entries, CheckBoxPropertiesEncode,
                     CheckBoxPropertiesDecode, block);
    case kTypeGroupBox:
      return Compile(context, kGroupBoxFields, true, entries, GroupBoxPropertiesEncode,
                     GroupBoxPropertiesDecode, block);
    case kTypeDriverBox:
      return Compile(context, kDriverBoxFields, true, entries, DriverBoxPropertiesEncode,
                     DriverBoxPropertiesDecode, block);
    case kTypeDirBox:
      return Compile(context, kDirBoxFields, true, entries, DirBoxPropertiesEncode, DirBoxPropertiesDecode,
                     block);
    case kTypeListView:
      return Compile(context, kListViewFields, true, entries, ListViewPropertiesEncode,
                     ListViewPropertiesDecode, block);
    default:
      block.clear();
      return entries.empty() || context.Fail(*entries.front(), "this type has no properties");
  }
}
