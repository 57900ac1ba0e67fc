#include <gtest/gtest.h>

#include <thread>

#include "runtime/commands/message_box.h"
#include "tests/support/dialog_answerer.h"

namespace {

// A plain top-level window of the calling thread, to see whether a box disables it.
class PlainWindow {
 public:
  PlainWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "MessageBoxTestWindow";
    RegisterClassA(&windowClass);
    window_ = CreateWindowExA(0, windowClass.lpszClassName, "plain", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                              200, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
  }
  ~PlainWindow() { DestroyWindow(window_); }
  HWND Get() const { return window_; }

 private:
  HWND window_ = nullptr;
};

struct Seen {
  std::string caption;
  std::string text;
  bool okShown = false;
  bool cancelShown = false;
};

// Shows a box and answers it with the given button (or key); records what the box showed.
std::int32_t ShowAndAnswer(std::string_view content, std::int32_t style,
                           std::optional<std::string_view> caption, std::string_view expectedCaption,
                           int button, Seen& seen, UINT key = 0) {
  DialogAnswer answer([&](DialogAnswerer& answerer) {
    HWND box = answerer.Wait(expectedCaption);
    ASSERT_NE(box, nullptr) << "no box captioned " << expectedCaption;
    const DialogView view = DialogAnswerer::View(box);
    seen.caption = view.caption;
    seen.text = view.MessageText();
    seen.okShown = view.Control(IDOK) != nullptr && view.Control(IDOK)->visible;
    seen.cancelShown = view.Control(IDCANCEL) != nullptr && view.Control(IDCANCEL)->visible;
    if (key != 0) {
      DialogAnswerer::PressKey(box, key);
    } else {
      EXPECT_TRUE(DialogAnswerer::PressButton(box, button));
    }
  });
  const std::int32_t result = MessageBoxShow(content, style, caption);
  answer.Join();
  return result;
}

TEST(MessageBoxShow, TextAndDefaultCaptionAreShownAndOkIsZero) {
  Seen seen;
  EXPECT_EQ(ShowAndAnswer("复制失败 a.flv", 0, std::nullopt, "信息：", IDOK, seen), kMessageBoxOk);
  EXPECT_EQ(seen.caption, "信息：");
  EXPECT_EQ(seen.text, "复制失败 a.flv");
  EXPECT_TRUE(seen.okShown);
  EXPECT_FALSE(seen.cancelShown);

  Seen captioned;
  ShowAndAnswer("x", 0x40, "警示信息 - 保存", "警示信息 - 保存", IDOK, captioned);
  EXPECT_EQ(captioned.caption, "警示信息 - 保存");
}

// Shows a value with style 0 and no caption; returns the text the box showed.
std::string ValueShown(const Value& content) {
  std::string shown = "<no box>";
  DialogAnswer answer([&](DialogAnswerer& answerer) {
    HWND box = answerer.Wait("信息：");
    ASSERT_NE(box, nullptr);
    shown = DialogAnswerer::View(box).MessageText();
    DialogAnswerer::PressButton(box, IDOK);
  });
  EXPECT_EQ(MessageBoxShow(content, 0), kMessageBoxOk);
  answer.Join();
  return shown;
}

TEST(MessageBoxShow, ValuesAreShownInTheirTextForm) {
  EXPECT_EQ(ValueShown(Value(std::int32_t{12})), "12");
  EXPECT_EQ(ValueShown(Value(std::int64_t{-9000000000})), "-9000000000");
  EXPECT_EQ(ValueShown(Value(Logical{1})), "真");
  EXPECT_EQ(ValueShown(Value(Logical{0})), "假");
  EXPECT_EQ(ValueShown(Value(MakeText("文本"))), "文本");
  EXPECT_EQ(ValueShown(Value(SubroutineAddress{0x401000})), "") << "no text form: an empty box";
}

TEST(MessageBoxShow, OkCancelPromptMapsButtonsAndEscape) {
  Seen seen;
  EXPECT_EQ(ShowAndAnswer("确认?", 0x41, "提示", "提示", IDOK, seen), kMessageBoxOk);
  EXPECT_TRUE(seen.okShown);
  EXPECT_TRUE(seen.cancelShown);
  EXPECT_EQ(ShowAndAnswer("确认?", 0x41, "提示", "提示", IDCANCEL, seen), kMessageBoxCancel);
  EXPECT_EQ(ShowAndAnswer("确认?", 0x41, "提示", "提示", 0, seen, VK_ESCAPE), kMessageBoxCancel);
}

TEST(MessageBoxShow, OtherButtonsAreNumberedFromOkUpwards) {
  const struct {
    std::int32_t style;
    int button;
    std::int32_t result;
  } cases[] = {{MB_YESNOCANCEL, IDYES, 5},
               {MB_YESNOCANCEL, IDNO, 6},
               {MB_ABORTRETRYIGNORE, IDABORT, 2},
               {MB_ABORTRETRYIGNORE, IDRETRY, 3},
               {MB_ABORTRETRYIGNORE, IDIGNORE, 4}};
  for (const auto& c : cases) {
    Seen seen;
    EXPECT_EQ(ShowAndAnswer("?", c.style, "q", "q", c.button, seen), c.result) << "button " << c.button;
  }
}

TEST(MessageBoxShow, TaskModalBoxDisablesOnlyTheCallingThreadsWindows) {
  PlainWindow window;
  ASSERT_NE(window.Get(), nullptr);

  bool enabledDuringBox = true;
  DialogAnswer sameThread([&](DialogAnswerer& answerer) {
    HWND box = answerer.Wait("模态");
    ASSERT_NE(box, nullptr);
    enabledDuringBox = IsWindowEnabled(window.Get()) != FALSE;
    DialogAnswerer::PressButton(box, IDOK);
  });
  MessageBoxShow("x", 0, "模态");
  sameThread.Join();
  EXPECT_FALSE(enabledDuringBox) << "a task-modal box must disable the thread's windows";
  EXPECT_TRUE(IsWindowEnabled(window.Get())) << "the window must be usable again after the box";

  // A prompt shown from a worker thread leaves this thread's window usable.
  std::int32_t workerResult = -1;
  std::thread worker([&] { workerResult = MessageBoxShow("x", 0x41, "工作线程"); });
  DialogAnswerer answerer;
  HWND box = answerer.Wait("工作线程");
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(IsWindowEnabled(window.Get()));
  DialogAnswerer::PressButton(box, IDCANCEL);
  worker.join();
  EXPECT_EQ(workerResult, kMessageBoxCancel);
}

}  // namespace
