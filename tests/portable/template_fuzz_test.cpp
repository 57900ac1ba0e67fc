// Mutated copies of the program's real template block must never crash the
// parser or the record operations; whatever parses must be usable.
#include <gtest/gtest.h>

#include <random>

#include "runtime/windows/template_data.h"
#include "runtime/windows/type_properties.h"
#include "tests/fuzz/type_property_decode.h"
#include "tools/template_compiler/template_writer.h"

namespace {

const std::uint8_t kBlock[] = {
#include "window_templates_block.inc"
};

EventResult AnyHandler(const EventArgs&) { return EventResult::None(); }

void PutU32(ByteArray& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4 && at + i < bytes.size(); ++i)
    bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

ByteArray Mutate(std::mt19937& random) {
  ByteArray bytes(std::begin(kBlock), std::end(kBlock));
  auto at = [&] { return std::uniform_int_distribution<std::size_t>(0, bytes.size() - 1)(random); };
  const std::uint32_t interesting[] = {0,           1,           7,           8,  0x7FFFFFFF,
                                       0x80000000u, 0xFFFFFFFFu, 0xFFFFFFF8u, 60, 1000000};
  int edits = 1 + static_cast<int>(random() % 4);
  for (int e = 0; e < edits && !bytes.empty(); ++e) {
    switch (random() % 5) {
      case 0:  // bit flip
        bytes[at()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
        break;
      case 1:  // truncation
        bytes.resize(at());
        break;
      case 2:  // a length or count field made small, large or negative
        PutU32(bytes, at(), interesting[random() % std::size(interesting)]);
        break;
      case 3:  // a length off by a little
        PutU32(bytes, at(), static_cast<std::uint32_t>(random() % 64));
        break;
      default:  // a byte inserted or removed
        if (random() % 2) {
          bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at()),
                       static_cast<std::uint8_t>(random()));
        } else {
          bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(at()));
        }
    }
  }
  return bytes;
}

// Everything the engine does with parsed records.
void Exercise(TemplateSet& set) {
  for (auto& window : set.windows) {
    for (const auto& unit : window.units) {
      for (std::int32_t event : {-3, 0, 1, 2, 9}) window.HandlerFind(unit, event);
      std::span<const std::uint8_t> block(unit.typeProperties.data(), unit.typeProperties.size());
      TypePropertiesDecodeFor(unit.TypeNumberOf(), block);
    }
    if (window.units.size() > 1) window.UnitDelete(window.units.back().id);
  }
}

}  // namespace

// As many handlers as the templates name, so that every stored offset resolves.
constexpr std::size_t kHandlerCount = 0
#define EE_HANDLER(name) +1
#include "window_handlers.inc"
#undef EE_HANDLER
    ;

TEST(TemplateFuzz, MutatedBlocksNeverCrashAndWhatParsesReEncodes) {
  const std::vector<EventHandler> handlers(kHandlerCount, &AnyHandler);
  std::mt19937 random(20261207);
  int parsed = 0;
  for (int i = 0; i < 3000; ++i) {
    ByteArray bytes = Mutate(random);
    auto set = TemplateSetParse(bytes, handlers);
    if (!set) continue;
    ++parsed;
    // A block that parses is a consistent one: it survives a round trip.
    ByteArray again = TemplateBlockEncode(set->windows);
    ASSERT_TRUE(TemplateSetParse(again, handlers)) << "iteration " << i;
    Exercise(*set);
  }
  // Some mutations (e.g. of a caption byte) leave the block valid; if none
  // did, the loop would only be testing the first read.
  EXPECT_GT(parsed, 0);
}
