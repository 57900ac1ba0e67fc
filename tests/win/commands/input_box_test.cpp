#include <gtest/gtest.h>

#include <windows.h>

#include "runtime/commands/input_box.h"
#include "tests/support/dialog_answerer.h"

namespace {

constexpr char kDefaultCaption[] = "请输入：";
constexpr char kConfirm[] = "确认输入(&O)";
constexpr char kCancel[] = "取消(&C)";

// What the dialog showed when the answer found it.
struct InputBoxSeen {
  bool found = false;
  std::string caption;
  std::string prompt;
  std::string fieldText;  // the visible field after typing
  bool masked = false;
  int visibleEdits = 0;
  DWORD selectionStart = 0, selectionEnd = 0, fieldLength = 0;  // in the field's own units
  SIZE clientSize{};
  SIZE expectedSize{};  // the layout's size in dialog units, in pixels
};

enum class Ending { Confirm, Cancel, Escape, Close };

// Shows an input box; the answer types `typed` into the visible field and ends it.
InputBoxSeen Answer(std::string_view waitCaption, std::string_view typed, Ending ending, SIZE layoutUnits,
                    const std::function<bool()>& show) {
  InputBoxSeen seen;
  bool result = false;
  DialogAnswer answer([&](DialogAnswerer& answerer) {
    HWND dialog = answerer.Wait(waitCaption);
    if (dialog == nullptr) return;
    seen.found = true;
    DialogView view = DialogAnswerer::View(dialog);
    seen.caption = view.caption;
    seen.prompt = view.MessageText();
    const auto edits = view.VisibleEdits();
    seen.visibleEdits = static_cast<int>(edits.size());
    if (edits.empty()) return;
    const int fieldId = edits[0]->id;
    HWND field = GetDlgItem(dialog, fieldId);
    SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&seen.selectionStart),
                 reinterpret_cast<LPARAM>(&seen.selectionEnd));
    seen.fieldLength = static_cast<DWORD>(SendMessageW(field, EM_LINELENGTH, 0, 0));
    RECT client{};
    GetClientRect(dialog, &client);
    seen.clientSize = {client.right, client.bottom};
    RECT units{0, 0, layoutUnits.cx, layoutUnits.cy};
    MapDialogRect(dialog, &units);
    seen.expectedSize = {units.right, units.bottom};

    DialogAnswerer::Type(dialog, fieldId, typed);
    view = DialogAnswerer::View(dialog);
    seen.fieldText = view.Control(fieldId)->text;
    seen.masked = view.Control(fieldId)->Masked();
    switch (ending) {
      case Ending::Confirm:
        EXPECT_TRUE(DialogAnswerer::PressButton(dialog, kConfirm));
        break;
      case Ending::Cancel:
        EXPECT_TRUE(DialogAnswerer::PressButton(dialog, kCancel));
        break;
      case Ending::Escape:
        DialogAnswerer::PressKey(dialog, VK_ESCAPE);
        break;
      case Ending::Close:
        PostMessageA(dialog, WM_CLOSE, 0, 0);
        break;
    }
  });
  result = show();
  answer.Join();
  EXPECT_EQ(result, ending == Ending::Confirm && seen.found);
  return seen;
}

constexpr SIZE kPromptLayout{252, 92};
constexpr SIZE kCompactLayout{214, 56};

TEST(InputBoxShow, PromptLayoutShowsCaptionPromptAndSelectedInitialText) {
  Text name = "old";
  const InputBoxSeen seen = Answer("新建目录名称", "新目录", Ending::Confirm, kPromptLayout, [&] {
    return InputBoxShow("请输入新建目录的名称：", "新建目录名称", "初始", &name, 1);
  });
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.caption, "新建目录名称");
  EXPECT_EQ(seen.prompt, "请输入新建目录的名称：");
  EXPECT_EQ(seen.visibleEdits, 1);
  EXPECT_FALSE(seen.masked);
  EXPECT_EQ(seen.selectionStart, 0u);
  EXPECT_GT(seen.fieldLength, 0u);
  EXPECT_EQ(seen.selectionEnd, seen.fieldLength) << "the initial text is entirely selected";
  EXPECT_EQ(seen.fieldText, "新目录") << "typing replaces the selected initial text";
  EXPECT_EQ(name, "新目录");
  EXPECT_EQ(seen.clientSize.cx, seen.expectedSize.cx);
  EXPECT_EQ(seen.clientSize.cy, seen.expectedSize.cy);
}

TEST(InputBoxShow, WithoutPromptOrCaptionTheCompactLayoutAndDefaultCaptionShow) {
  Text value;
  const InputBoxSeen seen = Answer(kDefaultCaption, "x", Ending::Confirm, kCompactLayout,
                                   [&] { return InputBoxShow(std::nullopt, "", std::nullopt, &value); });
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.caption, kDefaultCaption);
  EXPECT_EQ(seen.prompt, "");
  EXPECT_EQ(seen.clientSize.cx, seen.expectedSize.cx);
  EXPECT_EQ(seen.clientSize.cy, seen.expectedSize.cy);
  EXPECT_EQ(value, "x");
}

TEST(InputBoxShow, CancelEscapeAndCloseLeaveTheVariableAlone) {
  for (Ending ending : {Ending::Cancel, Ending::Escape, Ending::Close}) {
    Text value = "keep";
    std::int32_t number = 5;
    Answer(kDefaultCaption, "changed", ending, kCompactLayout,
           [&] { return InputBoxShow("?", "", "", &value); });
    Answer(kDefaultCaption, "9", ending, kCompactLayout,
           [&] { return InputBoxShow("?", "", "", &number, 2); });
    EXPECT_EQ(value, "keep");
    EXPECT_EQ(number, 5);
  }
}

TEST(InputBoxShow, NumberModesRefuseOtherCharactersAsTyped) {
  std::int32_t integer = 0;
  InputBoxSeen seen = Answer(kDefaultCaption, "a-1b2.c", Ending::Confirm, kCompactLayout,
                             [&] { return InputBoxShow("", "", "", &integer, 2); });
  EXPECT_EQ(seen.fieldText, "-12");
  EXPECT_EQ(integer, -12);

  double number = 0;
  seen = Answer(kDefaultCaption, "-1.5e3x中", Ending::Confirm, kCompactLayout,
                [&] { return InputBoxShow("", "", "", &number, 3); });
  EXPECT_EQ(seen.fieldText, "-1.53");
  EXPECT_DOUBLE_EQ(number, -1.53);

  // "-" passes anywhere; reading stops at the first character that is no digit.
  seen = Answer(kDefaultCaption, "12-3", Ending::Confirm, kCompactLayout,
                [&] { return InputBoxShow("", "", "", &integer, 2); });
  EXPECT_EQ(seen.fieldText, "12-3");
  EXPECT_EQ(integer, 12);
}

TEST(InputBoxShow, ModesOutsideTheRangeAreClamped) {
  Text secret;
  InputBoxSeen seen = Answer(kDefaultCaption, "pass", Ending::Confirm, kCompactLayout,
                             [&] { return InputBoxShow("", "", "", &secret, 9); });
  EXPECT_EQ(seen.visibleEdits, 1);
  EXPECT_TRUE(seen.masked) << "mode 9 shows the masked field";
  EXPECT_EQ(secret, "pass");

  Text plain;
  seen = Answer(kDefaultCaption, "a1-", Ending::Confirm, kCompactLayout,
                [&] { return InputBoxShow("", "", "", &plain, 0); });
  EXPECT_FALSE(seen.masked);
  EXPECT_EQ(seen.fieldText, "a1-") << "mode 0 accepts everything, as mode 1";
  EXPECT_EQ(plain, "a1-");
}

TEST(InputBoxShow, ConfirmedTextIsReadByTheVariablesType) {
  std::int32_t integer = 0;
  Answer(kDefaultCaption, "-12abc", Ending::Confirm, kCompactLayout,
         [&] { return InputBoxShow("", "", "", &integer, 1); });
  EXPECT_EQ(integer, -12);

  std::uint8_t byte = 0;
  Answer(kDefaultCaption, "300", Ending::Confirm, kCompactLayout,
         [&] { return InputBoxShow("", "", "", &byte); });
  EXPECT_EQ(byte, 44) << "cut to the byte's width";

  float single = 0;
  Answer(kDefaultCaption, "2.5e2kg", Ending::Confirm, kCompactLayout,
         [&] { return InputBoxShow("", "", "", &single); });
  EXPECT_FLOAT_EQ(single, 250.0f);
}

}  // namespace
