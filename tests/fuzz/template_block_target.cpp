// The stored window template block: read at every start, and the one large
// structured input of the program.
#include <vector>

#include "runtime/windows/template_data.h"
#include "runtime/windows/type_properties.h"
#include "tests/fuzz/type_property_decode.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

EventResult FirstHandler(const EventArgs&) { return EventResult::None(); }
EventResult OtherHandler(const EventArgs&) { return EventResult::None(); }

// What the engine does with parsed records: handler look-ups, the type
// property decoders, and unit removal.
void Exercise(TemplateSet& set, const std::vector<EventHandler>& handlers) {
  for (auto& window : set.windows) {
    for (const auto& unit : window.units) {
      for (std::int32_t event : {-3, -1, 0, 1, 2, 9, 0x7FFFFFFF}) {
        const EventHandler handler = window.HandlerFind(unit, event);
        FUZZ_CHECK(handler == nullptr || handler == handlers[0] || handler == handlers[1]);
      }
      const std::span<const std::uint8_t> block(unit.typeProperties.data(), unit.typeProperties.size());
      TypePropertiesDecodeFor(unit.TypeNumberOf(), block);
      FontRecordDecode(block);  // any bytes may reach it as a font blob
    }
    std::size_t index = 0;
    for (const auto& unit : window.units) {
      FUZZ_CHECK(window.UnitById(unit.id, &index) != nullptr);
    }
    // Removing units one by one must keep the window consistent.
    while (window.units.size() > 1) {
      const UnitId last = window.units.back().id;
      const std::size_t before = window.units.size();
      if (!window.UnitDelete(last)) break;
      FUZZ_CHECK(window.units.size() < before);
    }
  }
}

}  // namespace

void FuzzTemplateBlock(const std::uint8_t* data, std::size_t size) {
  // Two handlers, alternating, so offsets 0 and 1 resolve and others fail.
  const std::vector<EventHandler> handlers = {&FirstHandler, &OtherHandler};
  std::optional<TemplateSet> set = TemplateSetParse(std::span<const std::uint8_t>(data, size), handlers);
  if (set) Exercise(*set, handlers);
}
