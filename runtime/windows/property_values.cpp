// Readings of a property value as integer, logical or text, whatever kind
// of value it holds.
#include <cstdlib>
#include <string>

#include "runtime/windows/engine.h"

std::int32_t PropertyValueInteger(const PropertyValue& value) {
  if (const auto* v = std::get_if<std::int32_t>(&value)) return *v;
  if (const auto* v = std::get_if<bool>(&value)) return *v ? 1 : 0;
  if (const auto* v = std::get_if<Colour>(&value)) return static_cast<std::int32_t>(v->rgb);
  if (const auto* v = std::get_if<Text>(&value))
    return static_cast<std::int32_t>(std::strtol(v->c_str(), nullptr, 10));
  return 0;
}

bool PropertyValueLogical(const PropertyValue& value) {
  if (const auto* v = std::get_if<bool>(&value)) return *v;
  return PropertyValueInteger(value) != 0;
}

Text PropertyValueText(const PropertyValue& value) {
  if (const auto* v = std::get_if<Text>(&value)) return *v;
  if (const auto* v = std::get_if<std::int32_t>(&value)) return MakeText(std::to_string(*v));
  if (const auto* v = std::get_if<bool>(&value)) return MakeText(*v ? "真" : "假");
  return Text();
}
