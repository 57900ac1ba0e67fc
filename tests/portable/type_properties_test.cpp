#include <gtest/gtest.h>

#include "runtime/windows/byte_stream.h"
#include "runtime/windows/type_properties.h"

namespace {

std::span<const std::uint8_t> View(const ByteArray& bytes) { return {bytes.data(), bytes.size()}; }

ByteArray U32s(std::initializer_list<std::uint32_t> values) {
  ByteWriter w;
  for (auto v : values) w.U32(v);
  return w.Take();
}

FontRecord TitleFont() {
  FontRecord f;
  f.height = -21;
  f.weight = 400;
  f.charSet = 134;
  return f;
}

}  // namespace

TEST(TypeProperties, EmptyBlocksGiveTheDocumentedDefaults) {
  auto window = WindowPropertiesDecode({});
  ASSERT_TRUE(window);
  EXPECT_EQ(window->borderStyle, 2u);
  EXPECT_EQ(window->pictureMode, 1u);
  EXPECT_EQ(window->backgroundColour, 0xFF000000u);
  EXPECT_EQ(window->maximizeButton + window->minimizeButton, 0u);
  EXPECT_EQ(window->systemMenu, 1u);
  EXPECT_EQ(window->startPosition, 1u);
  EXPECT_EQ(window->movable, 1u);
  EXPECT_EQ(window->escCloses, 1u);
  EXPECT_EQ(window->shownInTaskbar, 1u);
  EXPECT_TRUE(window->caption.empty() && window->className.empty());

  auto edit = EditBoxPropertiesDecode({});
  ASSERT_TRUE(edit);
  EXPECT_EQ(edit->borderStyle, 1u);
  EXPECT_EQ(edit->backgroundColour, 0xFFFFFFu);
  EXPECT_EQ(edit->hideSelection, 1u);
  EXPECT_EQ(edit->passwordChar, '*');
  EXPECT_EQ(edit->spinnerMaximum, 100u);
  EXPECT_FALSE(edit->font);

  auto label = LabelPropertiesDecode({});
  ASSERT_TRUE(label);
  EXPECT_EQ(label->caption, "标签");
  EXPECT_EQ(label->frameInteger, 8u);
  EXPECT_EQ(label->verticalAlignment, 1u);
  EXPECT_EQ(label->backgroundColour, 0xFF000000u);
  EXPECT_EQ(label->frameColours[1], 0xFFFFFFu);
  EXPECT_EQ(label->backgroundChoices[0], 1u);

  auto button = ButtonPropertiesDecode({});
  ASSERT_TRUE(button);
  EXPECT_EQ(button->caption, "按钮");
  EXPECT_EQ(button->horizontalAlignment, 1u);
  EXPECT_EQ(button->verticalAlignment, 1u);

  auto check = CheckBoxPropertiesDecode({});
  ASSERT_TRUE(check);
  EXPECT_EQ(check->caption, "选择框");
  EXPECT_EQ(check->verticalAlignment, 1u);
  EXPECT_EQ(check->checked, 0u);

  EXPECT_EQ(GroupBoxPropertiesDecode({})->backgroundColour, 0xFF000000u);
  EXPECT_EQ(DriverBoxPropertiesDecode({})->driveLetter, 0);
  auto dir = DirBoxPropertiesDecode({});
  ASSERT_TRUE(dir);
  EXPECT_EQ(dir->borderStyle, 1u);
  EXPECT_EQ(dir->backgroundColour, 0xFFFFFFu);
}

TEST(TypeProperties, WindowVersionGatesOptionalFieldsAndClassName) {
  // Version 5: thirteen base values, taskbar, 27, shape, on-top, 30, then blobs and texts.
  ByteWriter v5;
  v5.U32(5);
  for (std::uint32_t i = 0; i < 18; ++i) v5.U32(100 + i);
  v5.U32(0);
  v5.U32(0);
  v5.U32(0);
  v5.CountedText("Cap");
  v5.CountedText("");
  auto p5 = WindowPropertiesDecode(View(v5.Result()));
  ASSERT_TRUE(p5);
  EXPECT_EQ(p5->borderStyle, 100u);
  EXPECT_EQ(p5->helpTopic, 112u);
  EXPECT_EQ(p5->shownInTaskbar, 113u);
  EXPECT_EQ(p5->property30, 117u);
  EXPECT_TRUE(p5->className.empty());
  EXPECT_EQ(p5->caption, "Cap");
  EXPECT_EQ(WindowPropertiesEncode(*p5), v5.Result());

  // Version 6 inserts the class name after the last u32.
  ByteWriter v6;
  v6.U32(6);
  for (std::uint32_t i = 0; i < 18; ++i) v6.U32(i);
  v6.CountedText("MyClass");
  v6.U32(0);
  v6.U32(0);
  v6.U32(0);
  v6.CountedText("Cap");
  v6.CountedText("x.hlp");
  auto p6 = WindowPropertiesDecode(View(v6.Result()));
  ASSERT_TRUE(p6);
  EXPECT_EQ(p6->className, "MyClass");
  EXPECT_EQ(p6->caption, "Cap");
  EXPECT_EQ(p6->helpFile, "x.hlp");
  EXPECT_EQ(WindowPropertiesEncode(*p6), v6.Result());

  // The same bytes read as version 5 leave data over: malformed.
  auto asV5 = v6.Result();
  asV5[0] = 5;
  EXPECT_FALSE(WindowPropertiesDecode(View(asV5)));

  // Version 1 has no taskbar field and keeps its default.
  ByteWriter v1;
  v1.U32(1);
  for (int i = 0; i < 13; ++i) v1.U32(0);
  for (int i = 0; i < 5; ++i) v1.U32(0);
  auto p1 = WindowPropertiesDecode(View(v1.Result()));
  ASSERT_TRUE(p1);
  EXPECT_EQ(p1->shownInTaskbar, 1u);
  EXPECT_EQ(p1->borderStyle, 0u);

  auto v7 = v6.Result();
  v7[0] = 7;
  EXPECT_FALSE(WindowPropertiesDecode(View(v7)));
}

TEST(TypeProperties, VersionsAboveTheMaximumAndMalformedBlocksFail) {
  EXPECT_FALSE(EditBoxPropertiesDecode(View(U32s({3}))));
  EXPECT_FALSE(LabelPropertiesDecode(View(U32s({3}))));
  EXPECT_FALSE(ButtonPropertiesDecode(View(U32s({2}))));
  EXPECT_FALSE(CheckBoxPropertiesDecode(View(U32s({3}))));
  EXPECT_FALSE(GroupBoxPropertiesDecode(View(U32s({2}))));
  EXPECT_FALSE(DriverBoxPropertiesDecode(View(U32s({2}))));
  EXPECT_FALSE(DirBoxPropertiesDecode(View(U32s({2}))));
  // A version alone is a truncated block.
  EXPECT_FALSE(DirBoxPropertiesDecode(View(U32s({1}))));
  // Shorter than the version itself.
  const std::uint8_t twoBytes[] = {1, 0};
  EXPECT_FALSE(ButtonPropertiesDecode(twoBytes));

  auto good = DirBoxPropertiesEncode(DirBoxProperties{});
  EXPECT_TRUE(DirBoxPropertiesDecode(View(good)));
  good.push_back(0);
  EXPECT_FALSE(DirBoxPropertiesDecode(View(good)));
  // A blob length that runs past the end.
  auto huge = U32s({1, 1, 0xFFFFFF, 0xFFFFFFF0u});
  EXPECT_FALSE(DirBoxPropertiesDecode(View(huge)));
}

TEST(TypeProperties, DriverBoxStoresItsLetterAsOneByteFirst) {
  const std::uint8_t bytes[] = {1, 0, 0, 0, 'D', 3, 0, 0, 0, 0x11, 0, 0, 0, 0x22, 0, 0, 0, 0, 0, 0, 0};
  auto p = DriverBoxPropertiesDecode(bytes);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->driveLetter, 'D');
  EXPECT_EQ(p->driveKindFilter, 3u);
  EXPECT_EQ(p->textColour, 0x11u);
  EXPECT_EQ(p->backgroundColour, 0x22u);
  EXPECT_FALSE(p->font);
  EXPECT_EQ(DriverBoxPropertiesEncode(*p), ByteArray(std::begin(bytes), std::end(bytes)));
}

TEST(TypeProperties, EditBoxLayoutHasAShortPasswordCharAndVersionTwoDataFields) {
  EditBoxProperties p;
  p.version = 1;
  p.inputMode = 2;
  p.passwordChar = '#';
  p.font = TitleFont();
  p.content = MakeText("abc");
  auto bytes = EditBoxPropertiesEncode(p);
  // version + 9 u32 + u16 + 6 u32 + font blob (4 + 60) + text (4 + 3)
  ASSERT_EQ(bytes.size(), 4u + 36 + 2 + 24 + 64 + 7);
  EXPECT_EQ(bytes[4 + 36], '#');
  EXPECT_EQ(bytes[4 + 36 + 1], 0);
  EXPECT_EQ(bytes[4 + 36 + 2 + 12], 100);  // spinner maximum
  EXPECT_EQ(bytes[4 + 36 + 2 + 24], 60);   // font blob length
  EXPECT_EQ(EditBoxPropertiesDecode(View(bytes)), p);

  p.version = 2;
  p.dataSource = MakeText("src");
  auto v2 = EditBoxPropertiesEncode(p);
  EXPECT_EQ(v2.size(), bytes.size() + 4 + 3 + 4);
  EXPECT_EQ(EditBoxPropertiesDecode(View(v2)), p);
}

TEST(TypeProperties, FontRecordHasTheLogicalFontLayoutAndOtherLengthsMeanNoFont) {
  FontRecord f = TitleFont();
  f.italic = 1;
  f.pitchAndFamily = 0x31;
  std::copy_n("宋体", 4, f.faceName.begin());
  auto bytes = FontRecordEncode(f);
  ASSERT_EQ(bytes.size(), 60u);
  EXPECT_EQ(ByteArray(bytes.begin(), bytes.begin() + 4), U32s({0xFFFFFFEBu}));
  EXPECT_EQ(bytes[16], 0x90);  // weight 400 low byte
  EXPECT_EQ(bytes[17], 0x01);
  EXPECT_EQ(bytes[20], 1);     // italic
  EXPECT_EQ(bytes[23], 134);   // character set
  EXPECT_EQ(bytes[27], 0x31);  // pitch and family
  EXPECT_EQ(bytes[28], static_cast<std::uint8_t>("宋体"[0]));
  EXPECT_EQ(FontRecordDecode(View(bytes)), f);

  bytes.pop_back();
  EXPECT_FALSE(FontRecordDecode(View(bytes)));
  // A label whose font blob has a wrong length decodes with no font.
  ByteWriter w;
  w.U32(0);
  for (int i = 0; i < 16; ++i) w.U32(0);
  w.Blob(bytes);
  w.U32(0);
  w.CountedText("x");
  auto label = LabelPropertiesDecode(View(w.Result()));
  ASSERT_TRUE(label);
  EXPECT_FALSE(label->font);
  EXPECT_EQ(label->caption, "x");
}

TEST(TypeProperties, EveryTypeRoundTripsNonDefaultValues) {
  LabelProperties label;
  label.textEffect = 1;
  label.frameColours = {1, 2, 3};
  label.backgroundColours = {4, 5, 6};
  label.wordWrap = 1;
  label.font = TitleFont();
  label.backgroundPicture = U32s({9});
  label.dataColumn = MakeText("c");
  EXPECT_EQ(LabelPropertiesDecode(View(LabelPropertiesEncode(label))), label);

  ButtonProperties button;
  button.buttonType = 1;
  button.picture = U32s({7});
  button.caption = MakeText("确定");
  EXPECT_EQ(ButtonPropertiesDecode(View(ButtonPropertiesEncode(button))), button);

  CheckBoxProperties check;
  check.version = 1;
  check.checked = 1;
  check.textOnLeft = 1;
  EXPECT_EQ(CheckBoxPropertiesDecode(View(CheckBoxPropertiesEncode(check))), check);

  GroupBoxProperties group;
  group.caption = MakeText("g");
  group.font = TitleFont();
  EXPECT_EQ(GroupBoxPropertiesDecode(View(GroupBoxPropertiesEncode(group))), group);

  DirBoxProperties dir;
  dir.version = 0;
  dir.borderStyle = 5;
  EXPECT_EQ(DirBoxPropertiesDecode(View(DirBoxPropertiesEncode(dir))), dir);
}
