// A window of another process, seen and handled from outside as a person
// would: read its texts and states, click, type, press keys.  Every call
// that talks to the window is bounded, so a hung program fails a test
// instead of hanging it.  Texts are GBK, the program's own code page.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/e2e/driver/poll.h"

namespace e2e {

// The notification-area callback the program's main window registers, and
// the identifier of its one icon.
inline constexpr UINT kTrayCallbackMessage = 0x8064;
inline constexpr UINT kTrayIconId = 100;

class Window {
 public:
  Window() = default;
  explicit Window(HWND handle) : handle_(handle) {}

  HWND Handle() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  bool operator==(const Window& other) const { return handle_ == other.handle_; }

  // Still there (not destroyed).
  bool Exists() const;
  std::string Text() const;  // caption or content, GBK
  std::wstring WideText() const;
  std::string ClassName() const;
  int Id() const;
  DWORD ProcessId() const;
  DWORD ThreadId() const;
  LONG Style() const;
  LONG ExStyle() const;
  bool HasStyle(LONG bits) const { return (Style() & bits) == bits; }
  bool IsEnabled() const;
  // Visible on screen: the window and all its parents have WS_VISIBLE.
  bool IsVisible() const;
  int CheckState() const;  // BST_UNCHECKED, BST_CHECKED or BST_INDETERMINATE
  bool IsChecked() const { return CheckState() == BST_CHECKED; }
  RECT Rect() const;  // outer rectangle, screen coordinates
  int Width() const;
  int Height() const;
  // Position relative to the parent's client area (what a layout states).
  POINT PositionInParent() const;
  RECT ClientRect() const;
  Window Parent() const;
  // The top-level window this one belongs to (itself for a top-level one).
  Window TopLevel() const;

  // Controls: every descendant, in z order, depth first.
  std::vector<Window> Descendants() const;
  Window Child(int id) const;  // searched among all descendants
  // A descendant of the given window class whose text equals `text` (GBK);
  // an empty class matches any class.
  Window ChildByClassText(std::string_view className, std::string_view text) const;
  // Waits for a descendant to appear.
  Window WaitChild(int id, Milliseconds timeout = kDefaultTimeout) const;

  // Combo boxes (drive lists).
  int ComboCount() const;
  int ComboSelection() const;
  std::string ComboItem(int index) const;  // through the wide message, see the .cpp

  // Actions.  They post their messages and return at once, so a click that
  // opens a modal box does not block the test; they return false when the
  // window is gone.
  bool Click() const;             // BM_CLICK, as a button press by keyboard or mouse
  bool MouseClick() const;        // left button down and up at the centre
  bool MouseDoubleClick() const;  // down, up, double-click, up at the centre
  bool RightClick() const;
  // Clicks a check box when its state differs and waits for the new state.
  bool SetChecked(bool checked, Milliseconds timeout = kDefaultTimeout) const;
  // Types the text one character at a time (WM_CHAR), as keys would; returns
  // when the control has taken every character.
  bool TypeText(std::string_view text) const;
  // Replaces the text at once (WM_SETTEXT), where typing is not the point.
  bool SetText(std::string_view text) const;
  // Key down and key up of a virtual key (VK_ESCAPE, VK_RETURN, VK_TAB...).
  bool PressKey(UINT virtualKey) const;
  // The close box (SC_CLOSE), the same request as a click on the [x].
  bool CloseBox() const;
  bool Post(UINT message, WPARAM wParam, LPARAM lParam) const;
  // A bounded send; nothing when the window did not answer in time.
  std::optional<LRESULT> Send(UINT message, WPARAM wParam, LPARAM lParam,
                              Milliseconds timeout = Milliseconds(5000)) const;
  // The notification-area icon's callback, with the mouse message that the
  // shell would report (WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONUP...).
  bool SendTrayEvent(UINT mouseMessage, UINT iconId = kTrayIconId) const;

  // Waits until the window is destroyed.
  bool WaitGone(Milliseconds timeout = kDefaultTimeout) const;
  bool WaitVisible(bool visible, Milliseconds timeout = kDefaultTimeout) const;
  bool WaitEnabled(bool enabled, Milliseconds timeout = kDefaultTimeout) const;
  bool WaitText(std::string_view text, Milliseconds timeout = kDefaultTimeout) const;

 private:
  HWND handle_ = nullptr;
};

// Top-level windows of a process, visible or not.
std::vector<Window> TopLevelWindows(DWORD processId);
// A top-level window of the process with this caption (GBK) and, when given,
// window class; waits for it to appear.  Visible ones only when asked.
Window WaitTopLevel(DWORD processId, std::string_view caption, Milliseconds timeout = kDefaultTimeout,
                    bool visibleOnly = true, std::string_view className = {});
Window FindTopLevel(DWORD processId, std::string_view caption, bool visibleOnly = true,
                    std::string_view className = {});

// The control that has the keyboard focus in the given thread's windows
// (the window itself when no control has it).
Window FocusedWindow(DWORD threadId);
// Key down and up sent to the thread's focused control, as a keyboard would.
bool PressKeyInThread(DWORD threadId, UINT virtualKey);

// Centre offset of a window from the centre of the primary screen, in
// pixels (0, 0 for a window centred as Windows centres it).
POINT OffsetFromScreenCentre(const Window& window);

}  // namespace e2e
