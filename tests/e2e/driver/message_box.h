// Message boxes (and other dialog boxes of the system's class "#32770")
// shown by the program: find them, read what they say, answer them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tests/e2e/driver/window.h"

namespace e2e {

inline constexpr char kDialogClass[] = "#32770";

class MessageBoxWindow {
 public:
  MessageBoxWindow() = default;
  explicit MessageBoxWindow(Window window) : window_(window) {}

  explicit operator bool() const { return static_cast<bool>(window_); }
  const Window& Frame() const { return window_; }

  std::string Caption() const { return window_.Text(); }
  // The message text (GBK).
  std::string Message() const;
  // Identifiers of the visible buttons in z order (IDOK, IDCANCEL, IDYES...).
  std::vector<int> ButtonIds() const;
  // Whether the box shows an icon (information, exclamation...).
  bool HasIcon() const;
  // Presses a button as a click would; false when there is no such button.
  bool Press(int buttonId) const;
  // Presses the button and waits for the box to close.
  bool Answer(int buttonId, Milliseconds timeout = kDefaultTimeout) const;

 private:
  Window window_;
};

// Every visible dialog box of the process.
std::vector<MessageBoxWindow> MessageBoxes(DWORD processId);
// Waits for a visible dialog box of the process with this caption (GBK).
MessageBoxWindow WaitMessageBox(DWORD processId, std::string_view caption,
                                Milliseconds timeout = kDefaultTimeout);
// Waits for any visible dialog box of the process.
MessageBoxWindow WaitAnyMessageBox(DWORD processId, Milliseconds timeout = kDefaultTimeout);
// Waits for a dialog box of the process whose caption and message are set
// (a box being made shows for a moment before they are).
MessageBoxWindow WaitFilledMessageBox(DWORD processId, Milliseconds timeout = kDefaultTimeout);

}  // namespace e2e
