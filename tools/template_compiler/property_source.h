// The type property block of a unit from its source entries.  Keys are the
// field names of the property structs (runtime/windows/type_properties.h),
// e.g. "borderStyle = 2", "caption = \"...\"", "frameColours = 1 2 3",
// "font.height = -21", plus "version = N".  A unit without any of these keys
// stores an empty block, which means every default.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/core/text.h"
#include "tools/template_compiler/source_values.h"

// Whether key names a field of the type (or is "version" / "font.*").
bool PropertyKeyKnown(std::uint32_t typeNumber, std::string_view key);
bool TypePropertiesCompile(SourceContext& context, std::uint32_t typeNumber,
                           const std::vector<const SourceEntry*>& entries, ByteArray& block);
