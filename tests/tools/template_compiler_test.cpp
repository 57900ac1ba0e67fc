// The window sources compile to records that the runtime reads back field by
// field, the build's block is that compilation, and faulty sources are
// refused with their place.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "runtime/windows/template_data.h"
#include "runtime/windows/type_properties.h"
#include "tools/template_compiler/gbk_text.h"
#include "tools/template_compiler/source_compile.h"
#include "tools/template_compiler/template_writer.h"
#include "tools/template_compiler/window_source.h"

namespace {

std::optional<CompiledTemplates> CompileRepositorySources() {
  std::vector<WindowSource> sources;
  std::string error;
  for (const char* name : {"main_window.txt", "about_window.txt", "directory_chooser.txt", "cached_media_window.txt"}) {
    auto source = WindowSourceRead(std::string(EE_WINDOW_SOURCES_DIR) + "/" + name, error);
    EXPECT_TRUE(source) << error;
    if (!source) return std::nullopt;
    sources.push_back(std::move(*source));
  }
  auto compiled = TemplatesCompile(sources, error);
  EXPECT_TRUE(compiled) << error;
  return compiled;
}

// Compiles one window given as text; returns the error ("" on success).
std::string CompileError(const std::string& text) {
  std::string error;
  auto source = WindowSourceParse(text, "w.txt", error);
  if (!source) return error;
  auto compiled = TemplatesCompile({*source}, error);
  return compiled ? std::string() : error;
}

// Source texts are UTF-8, while plain literals here are GBK.
std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

const char kHeader[] = "window 0x52000001 W\nunit 0x06000001\n  type = window\n";

}  // namespace

TEST(TemplateCompiler, EveryUnitOfTheSourcesReadsBackEqual) {
  auto compiled = CompileRepositorySources();
  ASSERT_TRUE(compiled);
  auto records = compiled->Records();
  ByteArray block = TemplateBlockEncode(records);
  std::vector<EventHandler> handlers(compiled->handlerNames.size());
  auto parsed = TemplateSetParse(block, handlers);
  ASSERT_TRUE(parsed);
  ASSERT_EQ(parsed->windows.size(), records.size());
  for (std::size_t w = 0; w < records.size(); ++w) {
    const WindowRecord& want = records[w];
    const WindowRecord& got = parsed->windows[w];
    EXPECT_EQ(got.id, want.id);
    ASSERT_EQ(got.units.size(), want.units.size());
    for (std::size_t i = 0; i < want.units.size(); ++i) {
      const UnitRecord& a = got.units[i];
      const UnitRecord& b = want.units[i];
      SCOPED_TRACE(compiled->windows[w].unitNames[i]);
      EXPECT_EQ(a.id, b.id);
      EXPECT_EQ(a.typeCode, b.typeCode);
      EXPECT_EQ(a.origin, b.origin);
      EXPECT_EQ(a.name, b.name);
      EXPECT_EQ(std::tie(a.left, a.top, a.width, a.height), std::tie(b.left, b.top, b.width, b.height));
      EXPECT_EQ(a.parent, b.parent);
      EXPECT_EQ(a.children, b.children);
      EXPECT_EQ(a.mousePointer, b.mousePointer);
      EXPECT_EQ(a.flags, b.flags);
      ASSERT_EQ(a.bindings.size(), b.bindings.size());
      for (std::size_t k = 0; k < a.bindings.size(); ++k) {
        EXPECT_EQ(a.bindings[k].event, b.bindings[k].event);
        EXPECT_EQ(a.bindings[k].handlerOffset, b.bindings[k].handlerOffset);
      }
      EXPECT_EQ(a.typeProperties, b.typeProperties);
    }
  }
  // The block the build embeds is exactly this compilation.
  std::ifstream file(std::string(EE_GENERATED_DIR) + "/window_templates.bin", std::ios::binary);
  ByteArray built((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(built, block);
}

TEST(TemplateCompiler, TextsAreStoredInGbkWithCrLf) {
  EXPECT_EQ(GbkFromUtf8(Utf8(u8"确定")), std::string("\xC8\xB7\xB6\xA8"));
  EXPECT_EQ(GbkFromUtf8(Utf8(u8"确定")), std::string("确定"));
  EXPECT_EQ(GbkFromUtf8("a\"b"), "a\"b");
  EXPECT_FALSE(GbkFromUtf8("\xF0\x9F\x98\x80"));  // not in GBK
  EXPECT_FALSE(GbkFromUtf8("\xC3"));              // broken UTF-8

  auto compiled = CompileRepositorySources();
  ASSERT_TRUE(compiled);
  const UnitRecord& quote = compiled->windows[0].record.units[2];  // after the cached-media button
  auto label = LabelPropertiesDecode(quote.typeProperties);
  ASSERT_TRUE(label);
  EXPECT_EQ(std::string(label->caption),
            "前进！同志，从一个胜利走向另一个胜利！\r\n" + std::string(23, ' ') + "——Velmir");
  EXPECT_EQ(std::string(quote.name), "名言");
}

TEST(TemplateCompiler, SourceFormatBasics) {
  EXPECT_EQ(CompileError(std::string(kHeader) + "  caption = \"x\"\nunit 0x16000002 b\n  type = Button\n"),
            "");
  // Values the chosen block version does not store are refused, not dropped.
  EXPECT_NE(CompileError(std::string(kHeader) + "  version = 5\n  className = \"C\"\n"), "");
  EXPECT_EQ(CompileError(std::string(kHeader) + "  version = 6\n  className = \"C\"\n"), "");
  EXPECT_NE(CompileError(std::string(kHeader) + "  version = 7\n"), "");
  EXPECT_NE(CompileError(std::string(kHeader) + "  colour = 1\n"), "");
  EXPECT_NE(CompileError(std::string(kHeader) + "  caption = \"\xF0\x9F\x98\x80\"\n"), "");
}

TEST(TemplateCompiler, StructuralMistakesNameTheirLine) {
  // A control id without kind 1.
  EXPECT_EQ(CompileError(std::string(kHeader) + "unit 0x06000002 b\n  type = Button\n").rfind("w.txt:4:", 0),
            0u);
  // Bits 24-27 must hold 6.
  EXPECT_NE(CompileError(std::string(kHeader) + "unit 0x15000002 b\n  type = Button\n"), "");
  // The parent must be a group box of the window.
  std::string parentLabel = std::string(kHeader) + "unit 0x16000002 l\n  type = Label\nunit 0x16000003 b\n" +
                            "  type = Button\n  parent = l\n";
  EXPECT_EQ(CompileError(parentLabel).rfind("w.txt:8:", 0), 0u);
  // Group boxes may not contain each other.
  std::string cycle = std::string(kHeader) + "unit 0x16000002 a\n  type = GroupBox\n  parent = b\n" +
                      "unit 0x16000003 b\n  type = GroupBox\n  parent = a\n";
  EXPECT_NE(CompileError(cycle), "");
  // Names become identifiers: unique and valid.
  EXPECT_NE(CompileError(std::string(kHeader) +
                         "unit 0x16000002 a\n  type = Label\nunit 0x16000003 a\n  type = Label\n"),
            "");
  EXPECT_NE(CompileError(std::string(kHeader) + "unit 0x16000002 1a\n  type = Label\n"), "");
  EXPECT_NE(CompileError("window 0x00000001 W\nunit 0x06000001\n  type = window\n"), "");
}

TEST(TemplateCompiler, ContainersListTheirChildrenInTableOrderAndHandlersAreNumberedByFirstUse) {
  std::string text = std::string(kHeader) + "  on 0 = Created\n" +
                     "unit 0x16000002 b\n  type = Button\n  parent = g\n" +
                     "  on 0 = Click\nunit 0x16000003 g\n  type = GroupBox\nunit 0x16000004 c\n" +
                     "  type = CheckBox\n  parent = g\n  on 0 = Created\n  on -3 = none\n  origin = b\n";
  std::string error;
  auto source = WindowSourceParse(text, "w.txt", error);
  ASSERT_TRUE(source) << error;
  auto compiled = TemplatesCompile({*source}, error);
  ASSERT_TRUE(compiled) << error;
  EXPECT_EQ(compiled->handlerNames, (std::vector<std::string>{"Created", "Click"}));
  const auto& units = compiled->windows[0].record.units;
  EXPECT_EQ(units[2].children, (std::vector<UnitId>{0x16000002, 0x16000004}));
  EXPECT_EQ(units[3].parent, 0x16000003u);
  EXPECT_EQ(units[3].origin, 0x16000002u);
  ASSERT_EQ(units[3].bindings.size(), 2u);
  EXPECT_EQ(units[3].bindings[0].handlerOffset, 0u);
  EXPECT_EQ(units[3].bindings[1].handlerOffset, kNoHandlerOffset);
  EXPECT_TRUE(units[3].typeProperties.empty());
}
