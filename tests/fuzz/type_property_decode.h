// Runs the property-block decoder of a unit's type on any bytes, as the
// engine does when it creates the unit (shared by the fuzz target and the
// portable fuzz loop).
#pragma once

#include <cstdint>
#include <span>

#include "runtime/windows/template_data.h"
#include "runtime/windows/type_properties.h"

inline void TypePropertiesDecodeFor(std::uint32_t typeNumber, std::span<const std::uint8_t> block) {
  switch (typeNumber) {
    case kTypeWindow:
      WindowPropertiesDecode(block);
      break;
    case kTypeEditBox:
      EditBoxPropertiesDecode(block);
      break;
    case kTypeLabel:
      LabelPropertiesDecode(block);
      break;
    case kTypeButton:
      ButtonPropertiesDecode(block);
      break;
    case kTypeCheckBox:
      CheckBoxPropertiesDecode(block);
      break;
    case kTypeGroupBox:
      GroupBoxPropertiesDecode(block);
      break;
    case kTypeDriverBox:
      DriverBoxPropertiesDecode(block);
      break;
    case kTypeDirBox:
      DirBoxPropertiesDecode(block);
      break;
    default:
      break;
  }
}
