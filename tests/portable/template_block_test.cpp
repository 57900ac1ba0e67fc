// The program's own compiled window templates: they parse, re-encode to the
// same bytes, bind the application's handlers by name, and lay out each
// kind of unit exactly as the runtime reads it.
#include <gtest/gtest.h>

#include <map>

#include "runtime/windows/byte_stream.h"
#include "runtime/windows/template_data.h"
#include "runtime/windows/type_properties.h"
#include "tools/template_compiler/template_writer.h"
#include "window_ids.h"

namespace {

const std::uint8_t kBlock[] = {
#include "window_templates_block.inc"
};

// One distinct function per handler name, in the generated order.
namespace handlers {
#define EE_HANDLER(name) \
  EventResult name(const EventArgs&) { return EventResult::Of(__LINE__); }
#include "window_handlers.inc"
#undef EE_HANDLER
}  // namespace handlers

#define EE_HANDLER(name) &handlers::name,
const EventHandler kHandlers[] = {
#include "window_handlers.inc"
};
#undef EE_HANDLER
static_assert(std::size(kHandlers) == kTemplateHandlerCount);

TemplateSet Parsed() {
  auto set = TemplateSetParse(kBlock, kHandlers);
  EXPECT_TRUE(set);
  return set ? std::move(*set) : TemplateSet{};
}

// The stored bytes of a unit record, found by walking the block by hand.
std::span<const std::uint8_t> StoredUnit(WindowId windowId, UnitId unitId) {
  ByteReader r(kBlock);
  auto directory = r.BlobView();
  ByteReader ids(directory);
  for (std::size_t w = 0; w < directory.size() / 8; ++w) {
    WindowId id = ids.U32();
    r.Skip(8);
    r.Skip(r.U32());
    r.Skip(r.U32());
    std::uint32_t count = r.U32();
    auto table = r.BlobView();
    if (id != windowId) continue;
    ByteReader t(table);
    for (std::uint32_t i = 0; i < count; ++i) {
      if (t.U32() != unitId) continue;
      ByteReader offset(table.subspan(4 * (count + i)));
      ByteReader record(table.subspan(8 * count + offset.U32()));
      return record.BlobView();
    }
  }
  return {};
}

// Hand assembly of a control unit's data, field by field.
struct UnitBytes {
  ByteWriter w;
  UnitBytes(std::uint32_t typeNumber, const char* name, std::array<std::int32_t, 4> rect, UnitId parent,
            std::initializer_list<UnitId> children, std::uint32_t flags,
            std::initializer_list<std::pair<std::int32_t, std::uint32_t>> bindings) {
    w.U32(0x10000 + typeNumber);           // library 1
    for (int i = 0; i < 5; ++i) w.U32(0);  // origin, reserved
    w.TerminatedText(name);
    w.U8(0);   // remark
    w.U32(0);  // object slot
    for (auto v : rect) w.I32(v);
    w.U32(0);  // cursor slot
    w.U32(parent);
    w.U32(static_cast<std::uint32_t>(children.size()));
    for (auto c : children) w.U32(c);
    w.U32(4);  // mouse pointer blob: four zero bytes
    w.U32(0);
    w.U8(0);  // tag
    w.U32(0);
    w.U32(flags);
    w.U32(0);
    w.U32(static_cast<std::uint32_t>(bindings.size()));
    for (auto [event, offset] : bindings) {
      w.I32(event);
      w.U32(offset);
    }
    for (int i = 0; i < 5; ++i) w.U32(0);
  }
  ByteArray Bytes() { return w.Take(); }
};

std::uint32_t HandlerIndex(EventHandler handler) {
  return static_cast<std::uint32_t>(std::find(std::begin(kHandlers), std::end(kHandlers), handler) -
                                    std::begin(kHandlers));
}

ByteArray Of(std::span<const std::uint8_t> bytes) { return ByteArray(bytes.begin(), bytes.end()); }

}  // namespace

TEST(TemplateBlock, ParsesWholeAndReEncodesToTheSameBytes) {
  TemplateSet set = Parsed();
  ASSERT_EQ(set.windows.size(), 4u);
  EXPECT_EQ(set.windows[0].id, kMainWindow);
  EXPECT_EQ(set.windows[1].id, kAboutWindow);
  EXPECT_EQ(set.windows[2].id, kDirectoryChooser);
  EXPECT_EQ(set.windows[3].id, kCachedMediaWindow);
  std::size_t units = 0;
  for (const auto& w : set.windows) units += w.units.size();
  EXPECT_EQ(units, 50u);
  // Every field that is stored comes back: encoding the parsed records
  // reproduces the block byte for byte.
  EXPECT_EQ(TemplateBlockEncode(set.windows), Of(kBlock));
  // Any shorter block or any extra byte is rejected.
  EXPECT_FALSE(TemplateSetParse(std::span(kBlock).first(sizeof kBlock - 1), kHandlers));
  ByteArray longer = Of(kBlock);
  longer.push_back(0);
  EXPECT_FALSE(TemplateSetParse(longer, kHandlers));
}

TEST(TemplateBlock, EventsReachTheNamedApplicationHandlers) {
  TemplateSet set = Parsed();
  WindowRecord* main = set.WindowFind(kMainWindow);
  ASSERT_NE(main, nullptr);
  auto handlerOf = [&](WindowRecord* w, UnitId unit, std::int32_t event) {
    UnitRecord* u = w->UnitById(unit);
    return u ? w->HandlerFind(*u, event) : nullptr;
  };
  EXPECT_EQ(handlerOf(main, MainWindowUnits::kWindowUnit, 0), &handlers::MainWindowCreated);
  EXPECT_EQ(handlerOf(main, MainWindowUnits::kWindowUnit, 1), &handlers::MainWindowClosing);
  EXPECT_EQ(handlerOf(main, MainWindowUnits::kWindowUnit, 2), &handlers::MainWindowDestroying);
  EXPECT_EQ(handlerOf(main, MainWindowUnits::kWindowUnit, 9), &handlers::TrayIconActivated);
  EXPECT_EQ(handlerOf(main, MainWindowUnits::kWindowUnit, 3), nullptr);
  EXPECT_EQ(handlerOf(main, MainWindowUnits::开始按钮, 0), &handlers::StartWatch);
  EXPECT_EQ(handlerOf(main, MainWindowUnits::停止按钮, 0), &handlers::StopWatch);
  EXPECT_EQ(handlerOf(main, MainWindowUnits::隐藏按钮, 0), &handlers::ToggleMainWindow);
  EXPECT_EQ(handlerOf(main, MainWindowUnits::关于按钮, 0), &handlers::AboutButtonClicked);
  EXPECT_EQ(handlerOf(main, MainWindowUnits::退出按钮, 0), &handlers::ExitButtonClicked);
  EXPECT_EQ(handlerOf(main, MainWindowUnits::选择目录按钮, 0), &handlers::ChooseSaveFolder);
  EXPECT_EQ(handlerOf(main, MainWindowUnits::用户自定义格式选择框, 0), &handlers::UpdateCustomFormatBox);
  EXPECT_EQ(handlerOf(main, MainWindowUnits::主标题标签, -3), &handlers::ShowEasterEgg);
  EXPECT_EQ(handlerOf(main, MainWindowUnits::已缓存媒体按钮, 0), &handlers::CachedMediaButtonClicked);
  // No other control of the main window handles anything.
  std::size_t bound = 0;
  for (const auto& u : main->units) bound += u.bindings.size();
  EXPECT_EQ(bound, 13u);

  WindowRecord* about = set.WindowFind(kAboutWindow);
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(handlerOf(about, AboutWindowUnits::kWindowUnit, 0), &handlers::AboutWindowCreated);
  EXPECT_EQ(handlerOf(about, AboutWindowUnits::kWindowUnit, 1), nullptr);
  EXPECT_EQ(handlerOf(about, AboutWindowUnits::确定按钮, 0), &handlers::AcknowledgeFirstRun);
  EXPECT_EQ(handlerOf(about, AboutWindowUnits::访问主页按钮, 0), &handlers::VisitHomePage);

  WindowRecord* chooser = set.WindowFind(kDirectoryChooser);
  ASSERT_NE(chooser, nullptr);
  EXPECT_EQ(handlerOf(chooser, DirectoryChooserUnits::kWindowUnit, 0), &handlers::ChooserCreated);
  EXPECT_EQ(handlerOf(chooser, DirectoryChooserUnits::kWindowUnit, 2), &handlers::ChooserDestroying);
  EXPECT_EQ(handlerOf(chooser, DirectoryChooserUnits::按钮1, 0), &handlers::ChooserConfirm);
  EXPECT_EQ(handlerOf(chooser, DirectoryChooserUnits::按钮2, 0), &handlers::ChooserCancel);
  EXPECT_EQ(handlerOf(chooser, DirectoryChooserUnits::按钮3, 0), &handlers::NewFolder);
  EXPECT_EQ(handlerOf(chooser, DirectoryChooserUnits::驱动器框, 0), &handlers::DriveChanged);
  EXPECT_EQ(handlerOf(chooser, DirectoryChooserUnits::目录框, 0), &handlers::FolderChanged);

  WindowRecord* cached = set.WindowFind(kCachedMediaWindow);
  ASSERT_NE(cached, nullptr);
  EXPECT_EQ(handlerOf(cached, CachedMediaWindowUnits::媒体列表, 1), &handlers::CachedMediaColumnClicked);
  EXPECT_EQ(handlerOf(cached, CachedMediaWindowUnits::媒体列表, 4), &handlers::CachedMediaSelectionChanged);
  EXPECT_EQ(handlerOf(cached, CachedMediaWindowUnits::筛选按钮, 0), &handlers::CachedMediaFilterApply);
  EXPECT_EQ(handlerOf(cached, CachedMediaWindowUnits::只列完整勾选框, 0), &handlers::CachedMediaFilterApply);
  EXPECT_EQ(handlerOf(cached, CachedMediaWindowUnits::保存所选按钮, 0), &handlers::CachedMediaSaveSelected);
  EXPECT_EQ(handlerOf(cached, CachedMediaWindowUnits::播放按钮, 0), &handlers::CachedMediaPlay);
  EXPECT_EQ(handlerOf(cached, CachedMediaWindowUnits::媒体列表, 2), &handlers::CachedMediaRowDoubleClicked);
  EXPECT_EQ(handlerOf(cached, CachedMediaWindowUnits::媒体列表, 3), &handlers::CachedMediaListRightClicked);
}

TEST(TemplateBlock, UnitsOfEachKindHaveTheStoredLayout) {
  // Chooser controls store no property block (drive box, directory box, path box).
  UnitBytes drive(kTypeDriverBox, "驱动器框", {8, 260, 303, 21}, 0, {}, 5,
                  {{0, HandlerIndex(&handlers::DriveChanged)}});
  EXPECT_EQ(Of(StoredUnit(kDirectoryChooser, DirectoryChooserUnits::驱动器框)), drive.Bytes());
  UnitBytes dir(kTypeDirBox, "目录框", {8, 52, 303, 203}, 0, {}, 5,
                {{0, HandlerIndex(&handlers::FolderChanged)}});
  EXPECT_EQ(Of(StoredUnit(kDirectoryChooser, DirectoryChooserUnits::目录框)), dir.Bytes());
  UnitBytes path(kTypeEditBox, "目标目录", {8, 29, 303, 19}, 0, {}, 5, {});
  EXPECT_EQ(Of(StoredUnit(kDirectoryChooser, DirectoryChooserUnits::目标目录)), path.Bytes());

  // A label with an empty caption: version 2, all defaults but the caption.
  UnitBytes label(kTypeLabel, "信息标题", {10, 5, 398, 21}, 0, {}, 1, {});
  for (std::uint32_t v :
       {2u,        0u,        8u,        0u, 0x808080u, 0xFFFFFFu, 0x808080u, 0u, 0xFF000000u, 1u, 0u,
        0x808080u, 0xFFFFFFu, 0x808080u, 0u, 1u,        0u,        0u,        0u, 0u,          0u, 0u}) {
    label.w.U32(v);  // ... font, picture, caption, data source, data column: all empty
  }
  EXPECT_EQ(Of(StoredUnit(kDirectoryChooser, DirectoryChooserUnits::信息标题)), label.Bytes());

  // The default button.
  UnitBytes ok(kTypeButton, "按钮1", {321, 29, 84, 23}, 0, {}, 5,
               {{0, HandlerIndex(&handlers::ChooserConfirm)}});
  for (std::uint32_t v : {1u, 1u, 1u, 1u, 0u, 0u}) ok.w.U32(v);
  ok.w.CountedText("确定");
  EXPECT_EQ(Of(StoredUnit(kDirectoryChooser, DirectoryChooserUnits::按钮1)), ok.Bytes());

  // The chooser window's own unit: version 6 with an empty class name.
  UnitBytes window(
      kTypeWindow, "", {50, 50, 422, 311}, 0, {}, 1,
      {{0, HandlerIndex(&handlers::ChooserCreated)}, {2, HandlerIndex(&handlers::ChooserDestroying)}});
  for (std::uint32_t v : {6u, 2u, 1u, 0xFF000000u,         0u, 0u, 1u, 1u, 1u, 0u, 0u, 1u, 0u, 0u, 1u, 0u,
                          0u, 0u, 0u, 0u /* class name */, 0u, 0u, 0u}) {
    window.w.U32(v);
  }
  window.w.CountedText("选择目标目录");
  window.w.U32(0);  // help file
  EXPECT_EQ(Of(StoredUnit(kDirectoryChooser, DirectoryChooserUnits::kWindowUnit)), window.Bytes());

  // A group box with its child list, and a check box that is not its child.
  UnitBytes group(
      kTypeGroupBox, "其他设置", {18, 317, 624, 68}, 0,
      {MainWindowUnits::选择目录按钮, MainWindowUnits::当前目录, MainWindowUnits::元素保存目录选择}, 1, {});
  for (std::uint32_t v : {1u, 0u, 0u, 0xFF000000u, 0u}) group.w.U32(v);
  group.w.CountedText("元素保存设置");
  EXPECT_EQ(Of(StoredUnit(kMainWindow, MainWindowUnits::其他设置)), group.Bytes());

  UnitBytes audio(kTypeCheckBox, "提取音频勾选框", {38, 110, 592, 21}, 0, {}, 5, {});
  for (std::uint32_t v : {2u, 0u, 0u, 0u, 0u, 1u, 0u, 0xFF000000u, 0u, 0u, 0u}) audio.w.U32(v);
  audio.w.CountedText("常见音频格式(wav、aiff、au、mid、mp1、mp2、mp3、ra、rmx、wma、dat)");
  audio.w.U32(0);
  audio.w.U32(0);
  EXPECT_EQ(Of(StoredUnit(kMainWindow, MainWindowUnits::提取音频勾选框)), audio.Bytes());
}

TEST(TemplateBlock, WindowsCarryTheirStatedPropertiesAndFonts) {
  TemplateSet set = Parsed();
  WindowRecord& main = *set.WindowFind(kMainWindow);
  auto window = WindowPropertiesDecode(main.units[0].typeProperties);
  ASSERT_TRUE(window);
  EXPECT_EQ(window->caption, "Velmir网页元素提取工具 1.11.0122");
  EXPECT_EQ(window->borderStyle, 2u);
  EXPECT_EQ(window->minimizeButton, 1u);
  EXPECT_EQ(window->maximizeButton, 0u);
  EXPECT_EQ(window->escCloses, 1u);
  EXPECT_EQ(main.units[0].width, 664);
  EXPECT_EQ(main.units[0].height, 474);

  auto title = LabelPropertiesDecode(main.UnitById(MainWindowUnits::主标题标签)->typeProperties);
  ASSERT_TRUE(title && title->font);
  EXPECT_EQ(title->font->height, -21);
  EXPECT_EQ(title->font->charSet, 134);
  EXPECT_EQ(title->font->faceName[0], 0);

  auto note = LabelPropertiesDecode(main.UnitById(MainWindowUnits::临时文件标题标签2)->typeProperties);
  ASSERT_TRUE(note);
  EXPECT_TRUE(note->caption.starts_with("     注："));
  EXPECT_EQ(note->wordWrap, 1u);

  const UnitRecord* input = main.UnitById(MainWindowUnits::用户自定义格式输入框);
  EXPECT_EQ(input->flags, 7u);
  EXPECT_EQ(input->parent, MainWindowUnits::提取元素格式);
  EXPECT_EQ(EditBoxPropertiesDecode(input->typeProperties)->maxLength, 400u);
  EXPECT_EQ(main.UnitById(MainWindowUnits::停止按钮)->flags, 7u);

  WindowRecord& about = *set.WindowFind(kAboutWindow);
  auto text = EditBoxPropertiesDecode(about.UnitById(AboutWindowUnits::编辑框1)->typeProperties);
  ASSERT_TRUE(text && text->font);
  EXPECT_EQ(text->font->height, -14);
  EXPECT_EQ(text->inputMode, 1u);
  EXPECT_EQ(text->scrollBars, 2u);
  EXPECT_EQ(text->multiLine, 1u);
  EXPECT_GT(text->content.size(), 2000u);
  EXPECT_TRUE(text->content.starts_with("    关于"));
  // Every line end is CR LF.
  for (std::size_t i = 0; i < text->content.size(); ++i) {
    if (text->content[i] == '\n') {
      ASSERT_TRUE(i > 0 && text->content[i - 1] == '\r') << i;
    }
  }
  auto heading = LabelPropertiesDecode(about.UnitById(AboutWindowUnits::关于_标题)->typeProperties);
  ASSERT_TRUE(heading && heading->font);
  EXPECT_EQ(std::string(heading->font->faceName.data()), "宋体");
  EXPECT_EQ(heading->textEffect, 1u);

  WindowRecord& chooser = *set.WindowFind(kDirectoryChooser);
  for (UnitId empty :
       {DirectoryChooserUnits::驱动器框, DirectoryChooserUnits::目录框, DirectoryChooserUnits::目标目录}) {
    EXPECT_TRUE(chooser.UnitById(empty)->typeProperties.empty());
  }
}

TEST(TemplateBlock, DeletingAUnitLeavesAConsistentRecord) {
  TemplateSet set = Parsed();
  WindowRecord& main = *set.WindowFind(kMainWindow);
  std::size_t indexBefore = 0;
  ASSERT_NE(main.UnitById(MainWindowUnits::当前目录, &indexBefore), nullptr);
  ASSERT_TRUE(main.UnitDelete(MainWindowUnits::选择目录按钮));
  EXPECT_EQ(main.UnitById(MainWindowUnits::选择目录按钮), nullptr);
  std::size_t indexAfter = 0;
  ASSERT_NE(main.UnitById(MainWindowUnits::当前目录, &indexAfter), nullptr);
  EXPECT_EQ(indexAfter, indexBefore - 1);
  EXPECT_EQ(main.UnitIdByIndex(indexAfter), MainWindowUnits::当前目录);
  const auto& children = main.UnitById(MainWindowUnits::其他设置)->children;
  EXPECT_EQ(children, (std::vector<UnitId>{MainWindowUnits::当前目录, MainWindowUnits::元素保存目录选择}));
  EXPECT_FALSE(main.UnitDelete(MainWindowUnits::选择目录按钮));
  EXPECT_FALSE(main.UnitDelete(MainWindowUnits::kWindowUnit));
  // The shortened record still encodes and parses (offsets were shifted).
  ByteArray block = TemplateBlockEncode(set.windows);
  auto again = TemplateSetParse(block, kHandlers);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->WindowFind(kMainWindow)->units.size(), 22u);
}
