// The parser on small blocks built for the purpose: handler resolution,
// origin links, menu items, and the inconsistencies it must refuse.
#include <gtest/gtest.h>

#include "runtime/windows/byte_stream.h"
#include "runtime/windows/template_data.h"
#include "tools/template_compiler/template_writer.h"

namespace {

EventResult First(const EventArgs&) { return EventResult::Of(1); }
EventResult Second(const EventArgs&) { return EventResult::Of(2); }
const EventHandler kHandlers[] = {&First, &Second};

constexpr WindowId kWindow = 0x52000001;
constexpr UnitId kSelf = 0x06000001, kGroup = 0x16000002, kA = 0x16000003, kB = 0x16000004, kC = 0x16000005;

UnitRecord Unit(UnitId id, std::uint32_t type, std::vector<EventBinding> bindings = {}) {
  UnitRecord unit;
  unit.id = id;
  unit.typeCode = TypeCode(type);
  unit.mousePointer.assign(4, 0);
  unit.flags = kUnitVisible;
  unit.bindings = std::move(bindings);
  return unit;
}

EventBinding Bind(std::int32_t event, std::uint32_t offset) {
  EventBinding b;
  b.event = event;
  b.handlerOffset = offset;
  return b;
}

// A window with a group box holding A (button); B and C are buttons too.
std::vector<WindowRecord> Sample() {
  WindowRecord w;
  w.id = kWindow;
  w.units.push_back(Unit(kSelf, kTypeWindow, {Bind(0, 0), Bind(1, kNoHandlerOffset)}));
  w.units.push_back(Unit(kGroup, kTypeGroupBox));
  w.units.back().children = {kA};
  w.units.push_back(Unit(kA, kTypeButton, {Bind(0, 1)}));
  w.units.back().parent = kGroup;
  w.units.back().name = MakeText("a");
  w.units.push_back(Unit(kB, kTypeButton));
  w.units.push_back(Unit(kC, kTypeLabel, {Bind(-3, 0)}));
  return {w};
}

std::optional<TemplateSet> Parse(const std::vector<WindowRecord>& windows) {
  return TemplateSetParse(TemplateBlockEncode(windows), kHandlers);
}

}  // namespace

TEST(TemplateParser, NoHandlerOffsetIsUnhandledAndOffsetsOutsideTheTableAreMalformed) {
  auto set = Parse(Sample());
  ASSERT_TRUE(set);
  WindowRecord& w = *set->WindowFind(kWindow);
  EXPECT_EQ(w.units[0].bindings[0].handler, &First);
  EXPECT_EQ(w.units[0].bindings[1].handler, nullptr);
  EXPECT_EQ(w.HandlerFind(w.units[0], 0), &First);
  EXPECT_EQ(w.HandlerFind(w.units[0], 1), nullptr);
  EXPECT_EQ(w.HandlerFind(w.units[0], 2), nullptr);
  EXPECT_EQ(w.HandlerFind(*w.UnitById(kA), 0), &Second);

  auto windows = Sample();
  windows[0].units[2].bindings[0].handlerOffset = 2;  // one past the table
  EXPECT_FALSE(Parse(windows));
}

TEST(TemplateParser, HandlersFollowOriginLinksOnlyBetweenUnitsOfOneType) {
  auto windows = Sample();
  windows[0].units[3].origin = kA;  // B (button) uses A's bindings
  windows[0].units[4].origin = kA;  // C (label) may not: different type
  auto set = Parse(windows);
  ASSERT_TRUE(set);
  WindowRecord& w = set->windows[0];
  EXPECT_EQ(w.HandlerFind(*w.UnitById(kB), 0), &Second);
  EXPECT_EQ(w.HandlerFind(*w.UnitById(kC), 0), nullptr);
  EXPECT_EQ(w.HandlerFind(*w.UnitById(kC), -3), &First);

  // A cycle of origin links ends the walk instead of hanging.
  windows[0].units[2].origin = kB;
  windows[0].units[3].origin = kA;
  set = Parse(windows);
  ASSERT_TRUE(set);
  WindowRecord& cyclic = set->windows[0];
  EXPECT_NE(cyclic.HandlerFind(*cyclic.UnitById(kB), 0), &First);
  // A link to a unit that is not there leaves the unit's own bindings.
  windows[0].units[2].origin = 0x16000099;
  set = Parse(windows);
  ASSERT_TRUE(set);
  EXPECT_EQ(set->windows[0].HandlerFind(*set->windows[0].UnitById(kA), 0), &Second);
}

TEST(TemplateParser, MenuItemsCarryOneHandler) {
  auto windows = Sample();
  UnitRecord item = Unit(0x26000006, kTypeMenu);
  item.name = MakeText("file");
  item.menuHandlerOffset = 1;
  item.typeProperties = {1, 2, 3};
  windows[0].units.push_back(item);
  auto set = Parse(windows);
  ASSERT_TRUE(set);
  const UnitRecord& parsed = set->windows[0].units.back();
  EXPECT_TRUE(parsed.IsMenuItem());
  EXPECT_EQ(parsed.menuHandler, &Second);
  EXPECT_EQ(parsed.name, "file");
  EXPECT_EQ(parsed.typeProperties, (ByteArray{1, 2, 3}));
  EXPECT_FALSE(set->windows[0].units[2].IsMenuItem());
}

TEST(TemplateParser, InconsistentRecordsAreRefused) {
  ASSERT_TRUE(Parse(Sample()));
  auto windows = Sample();
  windows[0].units[0].typeCode = TypeCode(kTypeButton);  // unit 0 must be the window
  EXPECT_FALSE(Parse(windows));
  windows = Sample();
  windows[0].units[3].parent = 0x16000099;  // no such container
  EXPECT_FALSE(Parse(windows));
  windows = Sample();
  windows[0].units[1].parent = kA;  // group in A, A in group
  EXPECT_FALSE(Parse(windows));
  windows = Sample();
  windows[0].units.clear();
  EXPECT_FALSE(Parse(windows));
}

TEST(TemplateParser, CountsAndOffsetsThatDoNotFitAreRefused) {
  const ByteArray good = TemplateBlockEncode(Sample());
  // Every proper prefix is a read past the end.
  for (std::size_t size = 0; size < good.size(); ++size) {
    ASSERT_FALSE(TemplateSetParse(std::span(good).first(size), kHandlers)) << size;
  }
  auto patched = [&](std::size_t at, std::uint32_t value) {
    ByteArray bytes = good;
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    return TemplateSetParse(bytes, kHandlers).has_value();
  };
  // Layout: directory blob (4 + 8), design, associated, two empty texts, M, table length, table.
  const std::size_t unitCount = 4 + 8 + 16;
  const std::size_t table = unitCount + 8;
  EXPECT_FALSE(patched(0, 12));         // directory not a multiple of 8
  EXPECT_FALSE(patched(unitCount, 0));  // no units
  EXPECT_FALSE(patched(unitCount, 4));  // fewer units than records
  EXPECT_FALSE(patched(unitCount, 0x20000000));
  EXPECT_FALSE(patched(table + 5 * 4, 1));  // offset 0 not at the first record
  EXPECT_FALSE(patched(table + 6 * 4, 0));  // offset 1 overlapping record 0
  EXPECT_FALSE(patched(table + 10 * 4, 0x7FFFFFFF));
  EXPECT_TRUE(patched(4 + 8 + 4, 0x1234));  // the carried associated id is free
}
