#include "tests/e2e/driver/message_box.h"

namespace e2e {

namespace {

// The message text control of a system message box.
constexpr int kMessageTextId = 0xFFFF;

bool IsStatic(const Window& window) { return window.ClassName() == "Static"; }

}  // namespace

std::string MessageBoxWindow::Message() const {
  if (Window text = window_.Child(kMessageTextId); text && IsStatic(text)) return text.Text();
  // Another kind of dialog: its longest static text.
  std::string longest;
  for (const Window& child : window_.Descendants()) {
    if (!IsStatic(child) || (child.Style() & SS_TYPEMASK) == SS_ICON) continue;
    std::string text = child.Text();
    if (text.size() > longest.size()) longest = std::move(text);
  }
  return longest;
}

std::vector<int> MessageBoxWindow::ButtonIds() const {
  std::vector<int> ids;
  for (const Window& child : window_.Descendants())
    if (child.ClassName() == "Button" && child.IsVisible()) ids.push_back(child.Id());
  return ids;
}

bool MessageBoxWindow::HasIcon() const {
  for (const Window& child : window_.Descendants())
    // A box without an icon may still hold an empty, visible icon control.
    if (IsStatic(child) && (child.Style() & SS_TYPEMASK) == SS_ICON && child.IsVisible() &&
        child.Send(STM_GETICON, 0, 0).value_or(0) != 0)
      return true;
  return false;
}

bool MessageBoxWindow::Press(int buttonId) const {
  const Window button = window_.Child(buttonId);
  if (!button || button.ClassName() != "Button" || !button.IsVisible()) return false;
  return button.Click();
}

bool MessageBoxWindow::Answer(int buttonId, Milliseconds timeout) const {
  return Press(buttonId) && window_.WaitGone(timeout);
}

std::vector<MessageBoxWindow> MessageBoxes(DWORD processId) {
  std::vector<MessageBoxWindow> boxes;
  for (const Window& window : TopLevelWindows(processId))
    if (window.IsVisible() && window.ClassName() == kDialogClass) boxes.emplace_back(window);
  return boxes;
}

MessageBoxWindow WaitMessageBox(DWORD processId, std::string_view caption, Milliseconds timeout) {
  return MessageBoxWindow(WaitTopLevel(processId, caption, timeout, true, kDialogClass));
}

MessageBoxWindow WaitAnyMessageBox(DWORD processId, Milliseconds timeout) {
  return WaitFor(
      [&] {
        const std::vector<MessageBoxWindow> boxes = MessageBoxes(processId);
        return boxes.empty() ? MessageBoxWindow() : boxes.front();
      },
      timeout);
}

MessageBoxWindow WaitFilledMessageBox(DWORD processId, Milliseconds timeout) {
  return WaitFor(
      [&] {
        for (const MessageBoxWindow& box : MessageBoxes(processId))
          if (!box.Caption().empty() && !box.Message().empty()) return box;
        return MessageBoxWindow();
      },
      timeout);
}

}  // namespace e2e
