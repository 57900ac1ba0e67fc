// Encodes window records into the stored window template block, the inverse
// of TemplateSetParse.  Stored handler "offsets" are taken from each
// binding's handlerOffset (the resolved handler pointers are ignored), and
// the object and cursor slots and reserved fields are written as zero.
#pragma once

#include <span>

#include "runtime/core/text.h"
#include "runtime/windows/template_data.h"

// The unit data of one unit (fields 1 to 23, without the length prefix).
ByteArray UnitDataEncode(const UnitRecord& unit);
// The unit table blob content: ids, offsets, then the length-prefixed records.
ByteArray UnitTableEncode(std::span<const UnitRecord> units);
// The whole block: directory, then the window records in the given order.
ByteArray TemplateBlockEncode(std::span<const WindowRecord> windows);
