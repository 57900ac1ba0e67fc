// The `window` kind: the top-level window of a template, its frame options,
// close requests, destruction and the notification-area callback.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>

#include "resources/resource_ids.h"
#include "runtime/core/program.h"
#include "runtime/windows/engine_internal.h"
#include "runtime/windows/property_numbers.h"
#include "runtime/windows/type_properties.h"

namespace {

constexpr char kDefaultWindowClass[] = "WTWindow";

bool SizableBorder(std::uint32_t border) { return border == 1 || border == 3 || border == 5; }

// Frame styles of the border choices; a caption bar comes with any border
// when there is a caption text or a system menu.
void FrameStylesOf(const WindowProperties& p, DWORD& style, DWORD& exStyle) {
  const std::uint32_t border = p.borderStyle;
  if (border == 0) {
    style |= WS_POPUP;
  } else if (SizableBorder(border)) {
    style |= WS_THICKFRAME;
  } else {
    style |= WS_DLGFRAME;
  }
  if (border == 3 || border == 4) exStyle |= WS_EX_TOOLWINDOW;
  if (border == 5 || border == 6) exStyle |= WS_EX_CLIENTEDGE;
  const bool caption = border != 0 && (!p.caption.empty() || p.systemMenu == 1);
  if (caption) {
    style |= WS_CAPTION;
  } else {
    style |= WS_POPUP;  // an overlapped window would be given a caption anyway
  }
  if (caption && p.systemMenu == 1) style |= WS_SYSMENU;
  if (caption && p.minimizeButton == 1) style |= WS_MINIMIZEBOX;
  if (caption && p.maximizeButton == 1) style |= WS_MAXIMIZEBOX;
}

void ShapeApply(HWND window, std::uint32_t shape, int width, int height) {
  GdiObject region;
  if (shape == 1) {
    region.Reset(CreateEllipticRgn(0, 0, width, height));
  } else if (shape == 2) {
    const int corner = std::min(width, height) / 5;
    region.Reset(CreateRoundRectRgn(0, 0, width + 1, height + 1, corner, corner));
  }
  // The system owns a region once it is set.
  if (region && SetWindowRgn(window, static_cast<HRGN>(region.Get()), TRUE)) region.Release();
}

std::int32_t TrayActionOf(LPARAM mouseMessage) {
  switch (static_cast<UINT>(mouseMessage)) {
    case WM_LBUTTONUP:
      return 1;
    case WM_LBUTTONDBLCLK:
      return 2;
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU:
      return 3;
    default:
      return 0;
  }
}

void TrayIconRemove(HWND window, TrayIconSlot& tray) {
  if (tray.added) {
    NOTIFYICONDATAA data{};
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = window;
    data.uID = kTrayIconId;
    Shell_NotifyIconA(NIM_DELETE, &data);
    tray.added = false;
  }
  tray.icon.Reset();
}

}  // namespace

WindowObject::WindowObject(WindowId window, WindowRecord& record) : LiveObject(window, 0), record_(record) {}

WindowObject::~WindowObject() = default;

HBRUSH WindowObject::BackgroundBrush() const {
  if (backgroundBrush_) return static_cast<HBRUSH>(backgroundBrush_.Get());
  return GetSysColorBrush(COLOR_BTNFACE);
}

bool WindowObject::Create(HWND owner, const ControlCreateArgs& args) {
  std::optional<WindowProperties> decoded = WindowPropertiesDecode(args.properties);
  if (!decoded) return false;
  const WindowProperties& p = *decoded;
  const char* className = p.className.empty() ? kDefaultWindowClass : p.className.c_str();
  if (!EngineClassRegister(className)) return false;

  DWORD style = WS_CLIPCHILDREN | (args.style & WS_DISABLED);
  DWORD exStyle = 0;
  FrameStylesOf(p, style, exStyle);
  if (p.alwaysOnTop == 1) exStyle |= WS_EX_TOPMOST;
  // Without a taskbar button the window is owned (by the runtime's hidden
  // window when no parent is given); an owned window that wants a button
  // asks for one.
  if (owner == nullptr && p.shownInTaskbar == 0) owner = HiddenMessageWindow();
  if (owner != nullptr) {
    style |= WS_POPUP;
    if (p.shownInTaskbar == 1) exStyle |= WS_EX_APPWINDOW;
  }

  int left = args.left;
  int top = args.top;
  if (p.startPosition == 1) {
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    left = work.left + (work.right - work.left - args.width) / 2;
    top = work.top + (work.bottom - work.top - args.height) / 2;
  }

  startPosition = p.startPosition == 3 && !SizableBorder(p.borderStyle) ? 0 : p.startPosition;
  escCloses = p.escCloses == 1;
  enterMovesFocus = p.enterMovesFocus == 1;
  f1OpensHelp = p.f1OpensHelp == 1;
  movable = p.movable == 1;
  helpTopic = p.helpTopic;
  helpFile = p.helpFile;
  backgroundColour = p.backgroundColour;
  if (backgroundColour != kColourSystemDefault) backgroundBrush_.Reset(CreateSolidBrush(backgroundColour));

  HWND handle =
      CreateWindowExA(exStyle, className, p.caption.c_str(), style, left, top, args.width, args.height, owner,
                      nullptr, GetModuleHandleA(nullptr), static_cast<LiveObject*>(this));
  if (handle == nullptr) return false;
  SendMessageA(handle, WM_SETFONT, reinterpret_cast<WPARAM>(Font()), FALSE);
  if (HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_PROGRAM_ICON))) {
    SendMessageA(handle, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  }
  if (!movable) DeleteMenu(GetSystemMenu(handle, FALSE), SC_MOVE, MF_BYCOMMAND);
  ShapeApply(handle, p.shape, args.width, args.height);
  return true;
}

void WindowObject::RectRemember() { rectKnown_ = GetWindowRect(Handle(), &lastRect_) != FALSE; }

void WindowObject::ShowPerStartPosition() {
  int command = SW_SHOWNORMAL;
  if (startPosition == 2) command = SW_SHOWMINIMIZED;
  if (startPosition == 3) command = SW_SHOWMAXIMIZED;
  ShowWindow(Handle(), command);
  UpdateWindow(Handle());
  justLoaded = false;
}

bool WindowObject::CloseRequest() {
  HWND handle = Handle();
  const EventOutcome outcome = EventRaise(Window(), 0, kEventCloseRequest);
  if (outcome.result.hasValue && outcome.result.value == 0) return false;
  if (!IsWindow(handle)) return true;  // the handler destroyed it already
  DisabledWindowsRestore();
  DestroyWindow(handle);
  return true;
}

void WindowObject::DisabledWindowsRestore() {
  if (disabledRestored) return;
  disabledRestored = true;
  for (const auto& [window, wasEnabled] : disabledWindows) {
    if (IsWindow(window)) EnableWindow(window, wasEnabled ? TRUE : FALSE);
  }
  disabledWindows.clear();
}

void WindowObject::HelpOpen() {
  Text file = helpFile;
  if (file.empty()) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    file = path;
    const std::size_t dot = file.find_last_of(".\\");
    if (dot != Text::npos && file[dot] == '.') file.resize(dot);
    file += ".hlp";
  }
  helpOpened = true;
  WinHelpA(Handle(), file.c_str(), helpTopic != 0 ? HELP_CONTEXT : HELP_FINDER, helpTopic);
}

// Destruction while the controls still exist: event 2, the last live
// positions into the records, then every resource of the window.
void WindowObject::DestroyingHandle() {
  HWND handle = Handle();
  EventRaise(Window(), 0, kEventDestroying);
  DisabledWindowsRestore();
  for (UnitRecord& unit : record_.units) {
    if (unit.object == nullptr || unit.object->Handle() == nullptr) continue;
    RECT rect{};
    HWND live = unit.object->Handle();
    if (!GetWindowRect(live, &rect)) continue;
    if (GetWindowLongPtrA(live, GWL_STYLE) & WS_CHILD) {
      MapWindowPoints(HWND_DESKTOP, GetParent(live), reinterpret_cast<POINT*>(&rect), 2);
    }
    if (!IsIconic(live)) {
      unit.left = rect.left;
      unit.top = rect.top;
      unit.width = rect.right - rect.left;
      unit.height = rect.bottom - rect.top;
    }
  }
  for (UnitRecord& unit : record_.units) unit.cursor = nullptr;
  ownedCursors.clear();
  if (helpOpened) WinHelpA(handle, nullptr, HELP_QUIT, 0);
  helpOpened = false;
  TrayIconRemove(handle, tray);
}

std::optional<LRESULT> WindowObject::OwnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND handle = Handle();
  switch (message) {
    case WM_CLOSE:
      CloseRequest();
      return 0;
    case WM_QUERYENDSESSION: {
      const EventOutcome outcome = EventRaise(Window(), 0, kEventCloseRequest);
      return (outcome.result.hasValue && outcome.result.value == 0) ? FALSE : TRUE;
    }
    case WM_ENDSESSION:
      if (wParam) DestroyWindow(handle);
      return 0;
    case kDeferredCloseMessage:
      if (closing) {
        DisabledWindowsRestore();
        DestroyWindow(handle);
      }
      return 0;
    case kTrayCallbackMessage:
      if (const std::int32_t action = TrayActionOf(lParam)) {
        EventArgs args;
        args.values[0] = action;
        args.count = 1;
        EventRaise(Window(), 0, kEventTrayIcon, args);
      }
      return 0;
    case WM_MOVE:
    case WM_SIZE: {
      // Raised when the outer rectangle really changed: the first show sends
      // both messages without any change.
      RECT rect{};
      GetWindowRect(handle, &rect);
      const bool moved = !rectKnown_ || rect.left != lastRect_.left || rect.top != lastRect_.top;
      const bool resized = !rectKnown_ || rect.right - rect.left != lastRect_.right - lastRect_.left ||
                           rect.bottom - rect.top != lastRect_.bottom - lastRect_.top;
      if (Engine().suppression > 0) return std::nullopt;
      lastRect_ = rect;
      rectKnown_ = true;
      if (message == WM_MOVE && moved) EventRaise(Window(), 0, kEventMoved);
      if (message == WM_SIZE && resized && IsWindow(handle)) EventRaise(Window(), 0, kEventResized);
      return std::nullopt;
    }
    case WM_ERASEBKGND: {
      RECT client{};
      GetClientRect(handle, &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, BackgroundBrush());
      return 1;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      // Check boxes, group boxes and read-only texts sit on the window's background.
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetBkColor(dc,
                 backgroundColour == kColourSystemDefault ? GetSysColor(COLOR_BTNFACE) : backgroundColour);
      return reinterpret_cast<LRESULT>(BackgroundBrush());
    }
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(handle, focus)) focusBeforeDeactivation = focus;
        return 0;
      }
      if (!HIWORD(wParam)) {
        HWND target = focusBeforeDeactivation;
        if (target == nullptr || !IsWindow(target) || !IsChild(handle, target)) {
          target = GetNextDlgTabItem(handle, nullptr, FALSE);
        }
        if (target != nullptr && IsChild(handle, target)) {
          SetFocus(target);
          return 0;
        }
      }
      return std::nullopt;
    case WM_SYSCOMMAND:
      if (!movable && (wParam & 0xFFF0) == SC_MOVE) return 0;
      return std::nullopt;
    case kWindowThreadCallMessage:
      (*reinterpret_cast<const WindowThreadCall*>(lParam))();
      return 0;
    case WM_DESTROY:
      DestroyingHandle();
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

PropertyValue WindowObject::PropertyGet(std::int32_t index, std::int32_t) {
  switch (index) {
    case WindowProperty::kCaption:
      return WindowTextGet(Handle());
    case WindowProperty::kBackgroundColour:
      return Colour{backgroundColour};
    case WindowProperty::kStartPosition:
      return static_cast<std::int32_t>(startPosition);
    case WindowProperty::kMovable:
      return movable;
    case WindowProperty::kEnterMovesFocus:
      return enterMovesFocus;
    case WindowProperty::kEscCloses:
      return escCloses;
    case WindowProperty::kF1OpensHelp:
      return f1OpensHelp;
    case WindowProperty::kHelpFile:
      return helpFile;
    case WindowProperty::kHelpTopic:
      return static_cast<std::int32_t>(helpTopic);
    case WindowProperty::kTopMost:
      return (GetWindowLongPtrA(Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    default:
      return {};
  }
}

void WindowObject::PropertySet(std::int32_t index, const PropertyValue& value, std::int32_t) {
  HWND handle = Handle();
  switch (index) {
    case WindowProperty::kCaption:
      SetWindowTextA(handle, PropertyValueText(value).c_str());
      break;
    case WindowProperty::kBackgroundColour:
      backgroundColour = static_cast<std::uint32_t>(PropertyValueInteger(value));
      backgroundBrush_.Reset(backgroundColour == kColourSystemDefault ? nullptr
                                                                      : CreateSolidBrush(backgroundColour));
      InvalidateRect(handle, nullptr, TRUE);
      break;
    case WindowProperty::kMovable:
      movable = PropertyValueLogical(value);
      if (!movable) DeleteMenu(GetSystemMenu(handle, FALSE), SC_MOVE, MF_BYCOMMAND);
      if (movable) GetSystemMenu(handle, TRUE);  // back to the standard menu
      break;
    case WindowProperty::kEnterMovesFocus:
      enterMovesFocus = PropertyValueLogical(value);
      break;
    case WindowProperty::kEscCloses:
      escCloses = PropertyValueLogical(value);
      break;
    case WindowProperty::kF1OpensHelp:
      f1OpensHelp = PropertyValueLogical(value);
      break;
    case WindowProperty::kHelpFile:
      helpFile = PropertyValueText(value);
      break;
    case WindowProperty::kHelpTopic:
      helpTopic = static_cast<std::uint32_t>(PropertyValueInteger(value));
      break;
    case WindowProperty::kTopMost:
      SetWindowPos(handle, PropertyValueLogical(value) ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      break;
    default:
      break;
  }
}
