// Answers dialogs (class "#32770": message boxes, input boxes) as a person
// would, from a thread other than the one that shows them.  Texts are read
// and typed through the wide messages and handed over in the ANSI code page,
// so they work for dialogs of this process and of other processes alike.
//
//   DialogAnswer answer([](DialogAnswerer& a) {
//     HWND box = a.Wait("信息：");
//     EXPECT_EQ(a.View(box).MessageText(), "12");
//     a.PressButton(box, IDOK);
//   });
//   MessageBoxShow(...);     // blocks until the answer thread presses OK
//   answer.Join();
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct DialogControlView {
  int id = 0;
  std::string className;  // "Edit", "Button", "Static", ...
  std::string text;       // ANSI code page
  bool visible = false;
  bool enabled = false;
  DWORD style = 0;
  bool Masked() const { return (style & ES_PASSWORD) != 0; }
};

struct DialogView {
  HWND window = nullptr;
  std::string caption;
  std::vector<DialogControlView> controls;

  // The control with this id, or nullptr.
  const DialogControlView* Control(int id) const;
  // The visible edit fields in creation order.
  std::vector<const DialogControlView*> VisibleEdits() const;
  // The texts of the visible static controls that have one, joined by "\n".
  std::string MessageText() const;
};

class DialogAnswerer {
 public:
  enum class Scope { ThisProcess, AnyProcess };
  explicit DialogAnswerer(Scope scope = Scope::ThisProcess, DWORD timeoutMs = 10000)
      : scope_(scope), timeoutMs_(timeoutMs) {}

  // Waits (polling) until a visible, enabled dialog with this caption exists;
  // nullptr on timeout.  An empty caption matches any dialog.
  HWND Wait(std::string_view caption) const;
  // Caption, controls, texts and visibility as they are now.
  static DialogView View(HWND dialog);
  // Types the text into the control character by character (WM_CHAR), so the
  // control's own filtering applies.
  static void Type(HWND dialog, int controlId, std::string_view text);
  // Presses a key in the window that has the keyboard focus (e.g. VK_ESCAPE).
  static void PressKey(HWND dialog, UINT virtualKey);
  // Presses a button by id, or by its text ("&" markers may be left out).
  static bool PressButton(HWND dialog, int buttonId);
  static bool PressButton(HWND dialog, std::string_view buttonText);
  // Closes every visible dialog of this process; a test calls it when it has
  // to give up, so that a dialog left open cannot block the test forever.
  static void DismissAll();
  // Waits until the dialog is gone; false on timeout.
  bool WaitClosed(HWND dialog) const;
  DWORD TimeoutMs() const { return timeoutMs_; }

 private:
  Scope scope_;
  DWORD timeoutMs_;
};

// Runs an answer on its own thread.  Once the answer has returned, and until
// Join, a dialog of this process that stays open longer than the answerer's
// timeout is dismissed, so the showing thread is never left waiting forever.
// Join before checking what the answer recorded.
class DialogAnswer {
 public:
  explicit DialogAnswer(std::function<void(DialogAnswerer&)> answer,
                        DialogAnswerer answerer = DialogAnswerer());
  DialogAnswer(const DialogAnswer&) = delete;
  DialogAnswer& operator=(const DialogAnswer&) = delete;
  ~DialogAnswer();
  void Join();

 private:
  DialogAnswerer answerer_;
  HANDLE joinRequested_;
  std::thread thread_;
};
