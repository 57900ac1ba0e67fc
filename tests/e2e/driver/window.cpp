#include "tests/e2e/driver/window.h"

#include "tests/e2e/driver/gbk.h"

namespace e2e {

namespace {

// Each message to another process is answered within this time or counts
// as unanswered.
constexpr UINT kSendTimeoutMs = 5000;

LPARAM PointParam(int x, int y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); }

LPARAM KeyParam(UINT virtualKey, bool up) {
  const UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
  LPARAM param = 1 | (static_cast<LPARAM>(scan & 0xFF) << 16);
  if (up) param |= (1L << 30) | (1L << 31);
  return param;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
  reinterpret_cast<std::vector<Window>*>(param)->emplace_back(child);
  return TRUE;
}

struct TopLevelSearch {
  DWORD processId;
  std::vector<Window>* found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<TopLevelSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId) search->found->emplace_back(window);
  return TRUE;
}

}  // namespace

bool Window::Exists() const { return handle_ != nullptr && IsWindow(handle_); }

std::wstring Window::WideText() const {
  // WM_GETTEXT itself, not GetWindowText: the latter does not ask another
  // process's window for the text of its controls.
  DWORD_PTR length = 0;
  if (!Exists() ||
      !SendMessageTimeoutW(handle_, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length))
    return {};
  // Room for twice the length: between processes Wine fills an ANSI window's
  // answer into a byte buffer of the size given, and a GBK character takes
  // two bytes of it.
  std::wstring text(2 * length + 2, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(handle_, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied))
    return {};
  text.resize(wcsnlen(text.c_str(), text.size()));
  return text;
}

std::string Window::Text() const { return GbkFromWide(WideText()); }

std::string Window::ClassName() const {
  wchar_t name[256];
  const int length = GetClassNameW(handle_, name, 256);
  return length > 0 ? GbkFromWide(std::wstring_view(name, static_cast<size_t>(length))) : std::string();
}

int Window::Id() const { return GetDlgCtrlID(handle_); }

DWORD Window::ProcessId() const {
  DWORD process = 0;
  GetWindowThreadProcessId(handle_, &process);
  return process;
}

DWORD Window::ThreadId() const { return GetWindowThreadProcessId(handle_, nullptr); }

LONG Window::Style() const { return GetWindowLongW(handle_, GWL_STYLE); }
LONG Window::ExStyle() const { return GetWindowLongW(handle_, GWL_EXSTYLE); }
bool Window::IsEnabled() const { return Exists() && IsWindowEnabled(handle_); }
bool Window::IsVisible() const { return Exists() && IsWindowVisible(handle_); }

int Window::CheckState() const {
  const std::optional<LRESULT> state = Send(BM_GETCHECK, 0, 0);
  return state ? static_cast<int>(*state) : -1;
}

RECT Window::Rect() const {
  RECT rect{};
  GetWindowRect(handle_, &rect);
  return rect;
}

int Window::Width() const {
  const RECT rect = Rect();
  return rect.right - rect.left;
}

int Window::Height() const {
  const RECT rect = Rect();
  return rect.bottom - rect.top;
}

POINT Window::PositionInParent() const {
  const RECT rect = Rect();
  POINT point{rect.left, rect.top};
  if (HWND parent = GetAncestor(handle_, GA_PARENT); parent && parent != GetDesktopWindow())
    MapWindowPoints(nullptr, parent, &point, 1);
  return point;
}

RECT Window::ClientRect() const {
  RECT rect{};
  GetClientRect(handle_, &rect);
  return rect;
}

Window Window::Parent() const {
  HWND parent = GetAncestor(handle_, GA_PARENT);
  return Window(parent == GetDesktopWindow() ? nullptr : parent);
}

Window Window::TopLevel() const { return Window(GetAncestor(handle_, GA_ROOT)); }

std::vector<Window> Window::Descendants() const {
  std::vector<Window> children;
  if (Exists()) EnumChildWindows(handle_, CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

Window Window::Child(int id) const {
  for (const Window& child : Descendants())
    if (child.Id() == id) return child;
  return Window();
}

Window Window::ChildByClassText(std::string_view className, std::string_view text) const {
  for (const Window& child : Descendants()) {
    if (!className.empty() && CompareStringOrdinal(WideFromGbk(child.ClassName()).c_str(), -1,
                                                   WideFromGbk(className).c_str(), -1, TRUE) != CSTR_EQUAL)
      continue;
    if (child.Text() == text) return child;
  }
  return Window();
}

Window Window::WaitChild(int id, Milliseconds timeout) const {
  return WaitFor([&] { return Child(id); }, timeout);
}

int Window::ComboCount() const {
  const std::optional<LRESULT> count = Send(CB_GETCOUNT, 0, 0);
  return count ? static_cast<int>(*count) : -1;
}

int Window::ComboSelection() const {
  const std::optional<LRESULT> index = Send(CB_GETCURSEL, 0, 0);
  return index ? static_cast<int>(*index) : -1;
}

std::string Window::ComboItem(int index) const {
  // Wine hands another process UTF-16 bytes for the ANSI form of this
  // message, so only the wide form reads correctly everywhere.
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(handle_, CB_GETLBTEXTLEN, index, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length) ||
      static_cast<LRESULT>(length) == CB_ERR)
    return {};
  std::wstring text(2 * length + 2, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(handle_, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied) ||
      static_cast<LRESULT>(copied) == CB_ERR)
    return {};
  text.resize(wcsnlen(text.c_str(), text.size()));
  return GbkFromWide(text);
}

bool Window::Click() const { return Post(BM_CLICK, 0, 0); }

bool Window::MouseClick() const {
  const RECT client = ClientRect();
  const LPARAM at = PointParam(client.right / 2, client.bottom / 2);
  return Post(WM_MOUSEMOVE, 0, at) && Post(WM_LBUTTONDOWN, MK_LBUTTON, at) && Post(WM_LBUTTONUP, 0, at);
}

bool Window::MouseDoubleClick() const {
  const RECT client = ClientRect();
  const LPARAM at = PointParam(client.right / 2, client.bottom / 2);
  return Post(WM_MOUSEMOVE, 0, at) && Post(WM_LBUTTONDOWN, MK_LBUTTON, at) && Post(WM_LBUTTONUP, 0, at) &&
         Post(WM_LBUTTONDBLCLK, MK_LBUTTON, at) && Post(WM_LBUTTONUP, 0, at);
}

bool Window::RightClick() const {
  const RECT client = ClientRect();
  const LPARAM at = PointParam(client.right / 2, client.bottom / 2);
  return Post(WM_MOUSEMOVE, 0, at) && Post(WM_RBUTTONDOWN, MK_RBUTTON, at) && Post(WM_RBUTTONUP, 0, at);
}

bool Window::SetChecked(bool checked, Milliseconds timeout) const {
  const int wanted = checked ? BST_CHECKED : BST_UNCHECKED;
  if (CheckState() == wanted) return true;
  if (!Click()) return false;
  return WaitUntil([&] { return CheckState() == wanted; }, timeout);
}

bool Window::TypeText(std::string_view text) const {
  // Sent, not posted: under Wine a posted double-byte character reaches an
  // ANSI program's edit box as "??" through its ANSI message loop, while a
  // sent WM_CHAR arrives whole.  Sending every character keeps them in order.
  for (wchar_t unit : WideFromGbk(text))
    if (!Send(WM_CHAR, unit, 1)) return false;
  return true;
}

bool Window::SetText(std::string_view text) const {
  const std::wstring wide = WideFromGbk(text);
  return Send(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str())).has_value();
}

bool Window::PressKey(UINT virtualKey) const {
  return Post(WM_KEYDOWN, virtualKey, KeyParam(virtualKey, false)) &&
         Post(WM_KEYUP, virtualKey, KeyParam(virtualKey, true));
}

bool Window::CloseBox() const { return Post(WM_SYSCOMMAND, SC_CLOSE, 0); }

bool Window::Post(UINT message, WPARAM wParam, LPARAM lParam) const {
  return Exists() && PostMessageW(handle_, message, wParam, lParam);
}

std::optional<LRESULT> Window::Send(UINT message, WPARAM wParam, LPARAM lParam, Milliseconds timeout) const {
  DWORD_PTR result = 0;
  if (!Exists() || !SendMessageTimeoutW(handle_, message, wParam, lParam, SMTO_ABORTIFHUNG,
                                        static_cast<UINT>(timeout.count()), &result))
    return std::nullopt;
  return static_cast<LRESULT>(result);
}

bool Window::SendTrayEvent(UINT mouseMessage, UINT iconId) const {
  return Post(kTrayCallbackMessage, iconId, static_cast<LPARAM>(mouseMessage));
}

bool Window::WaitGone(Milliseconds timeout) const {
  return WaitUntil([&] { return !Exists(); }, timeout);
}

bool Window::WaitVisible(bool visible, Milliseconds timeout) const {
  return WaitUntil([&] { return IsVisible() == visible; }, timeout);
}

bool Window::WaitEnabled(bool enabled, Milliseconds timeout) const {
  return WaitUntil([&] { return IsEnabled() == enabled; }, timeout);
}

bool Window::WaitText(std::string_view text, Milliseconds timeout) const {
  return WaitUntil([&] { return Text() == text; }, timeout);
}

std::vector<Window> TopLevelWindows(DWORD processId) {
  std::vector<Window> found;
  TopLevelSearch search{processId, &found};
  EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
  return found;
}

Window FindTopLevel(DWORD processId, std::string_view caption, bool visibleOnly, std::string_view className) {
  for (const Window& window : TopLevelWindows(processId)) {
    if (visibleOnly && !window.IsVisible()) continue;
    if (!className.empty() && window.ClassName() != className) continue;
    if (window.Text() == caption) return window;
  }
  return Window();
}

Window WaitTopLevel(DWORD processId, std::string_view caption, Milliseconds timeout, bool visibleOnly,
                    std::string_view className) {
  return WaitFor([&] { return FindTopLevel(processId, caption, visibleOnly, className); }, timeout);
}

Window FocusedWindow(DWORD threadId) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(threadId, &info)) return Window();
  if (info.hwndFocus) return Window(info.hwndFocus);
  return Window(info.hwndActive);
}

bool PressKeyInThread(DWORD threadId, UINT virtualKey) {
  const Window focused = FocusedWindow(threadId);
  return focused && focused.PressKey(virtualKey);
}

POINT OffsetFromScreenCentre(const Window& window) {
  const RECT rect = window.Rect();
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  return POINT{rect.left - (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               rect.top - (GetSystemMetrics(SM_CYSCREEN) - height) / 2};
}

}  // namespace e2e
