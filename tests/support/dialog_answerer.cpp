#include "tests/support/dialog_answerer.h"

#include <algorithm>

#include "runtime/core/text_encoding_wide.h"

namespace {

constexpr DWORD kPollMs = 20;
constexpr UINT kSendTimeoutMs = 2000;

// WM_GETTEXT is marshalled between processes, unlike GetWindowText of a control.
std::string WindowTextRead(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length))
    return {};
  std::wstring wide(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, wide.size(), reinterpret_cast<LPARAM>(wide.data()),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied)) {
    return {};
  }
  wide.resize(std::min<std::size_t>(copied, length));
  return AnsiFromWide(wide);
}

std::string ClassNameRead(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return AnsiFromWide(name);
}

bool IsDialog(HWND window) { return ClassNameRead(window) == "#32770"; }

// The caption of a top-level window, as the system keeps it (no message sent).
std::string CaptionRead(HWND window) {
  wchar_t caption[512] = {};
  GetWindowTextW(window, caption, 512);
  return AnsiFromWide(caption);
}

std::string WithoutMnemonics(std::string_view text) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    plain += text[i];
  }
  return plain;
}

struct DialogSearch {
  std::string_view caption;
  bool thisProcessOnly;
  HWND found = nullptr;
};

BOOL CALLBACK DialogSearchVisit(HWND window, LPARAM context) {
  auto& search = *reinterpret_cast<DialogSearch*>(context);
  if (!IsWindowVisible(window) || !IsWindowEnabled(window) || !IsDialog(window)) return TRUE;
  if (search.thisProcessOnly) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId()) return TRUE;
  }
  if (!search.caption.empty() && CaptionRead(window) != search.caption) return TRUE;
  search.found = window;
  return FALSE;
}

HWND DialogFind(std::string_view caption, bool thisProcessOnly) {
  DialogSearch search{caption, thisProcessOnly};
  EnumWindows(DialogSearchVisit, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

BOOL CALLBACK ControlVisit(HWND control, LPARAM context) {
  auto& view = *reinterpret_cast<DialogView*>(context);
  DialogControlView info;
  info.id = GetDlgCtrlID(control);
  info.className = ClassNameRead(control);
  info.text = WindowTextRead(control);
  info.visible = IsWindowVisible(control) != FALSE;
  info.enabled = IsWindowEnabled(control) != FALSE;
  info.style = static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE));
  view.controls.push_back(std::move(info));
  return TRUE;
}

bool ClassIs(const DialogControlView& control, std::string_view name) {
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, control.className.data(),
                        static_cast<int>(control.className.size()), name.data(),
                        static_cast<int>(name.size())) == CSTR_EQUAL;
}

}  // namespace

const DialogControlView* DialogView::Control(int id) const {
  for (const auto& control : controls) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

std::vector<const DialogControlView*> DialogView::VisibleEdits() const {
  std::vector<const DialogControlView*> edits;
  for (const auto& control : controls) {
    if (control.visible && ClassIs(control, "Edit")) edits.push_back(&control);
  }
  return edits;
}

std::string DialogView::MessageText() const {
  std::string text;
  for (const auto& control : controls) {
    if (!control.visible || !ClassIs(control, "Static") || control.text.empty()) continue;
    if (!text.empty()) text += '\n';
    text += control.text;
  }
  return text;
}

HWND DialogAnswerer::Wait(std::string_view caption) const {
  const DWORD start = GetTickCount();
  for (;;) {
    if (HWND dialog = DialogFind(caption, scope_ == Scope::ThisProcess)) return dialog;
    if (GetTickCount() - start > timeoutMs_) return nullptr;
    Sleep(kPollMs);
  }
}

bool DialogAnswerer::WaitClosed(HWND dialog) const {
  const DWORD start = GetTickCount();
  while (IsWindow(dialog) && IsWindowVisible(dialog)) {
    if (GetTickCount() - start > timeoutMs_) return false;
    Sleep(kPollMs);
  }
  return true;
}

DialogView DialogAnswerer::View(HWND dialog) {
  DialogView view;
  view.window = dialog;
  view.caption = CaptionRead(dialog);
  EnumChildWindows(dialog, ControlVisit, reinterpret_cast<LPARAM>(&view));
  return view;
}

void DialogAnswerer::Type(HWND dialog, int controlId, std::string_view text) {
  HWND control = GetDlgItem(dialog, controlId);
  if (control == nullptr) return;
  for (wchar_t unit : WideFromAnsi(text)) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(control, WM_CHAR, unit, 1, SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored);
  }
}

void DialogAnswerer::PressKey(HWND dialog, UINT virtualKey) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  HWND target = dialog;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) && info.hwndFocus != nullptr) {
    target = info.hwndFocus;
  }
  // Posted, as the keyboard does, so the dialog's own message loop sees it.
  PostMessageW(target, WM_KEYDOWN, virtualKey, 1);
  PostMessageW(target, WM_KEYUP, virtualKey, static_cast<LPARAM>(0xC0000001u));
}

bool DialogAnswerer::PressButton(HWND dialog, int buttonId) {
  HWND button = GetDlgItem(dialog, buttonId);
  // Without a control of that id the command still goes to the dialog, as
  // Escape sends IDCANCEL to a dialog that has no Cancel button.
  if (button != nullptr && (!IsWindowVisible(button) || !IsWindowEnabled(button))) return false;
  return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                      reinterpret_cast<LPARAM>(button)) != FALSE;
}

bool DialogAnswerer::PressButton(HWND dialog, std::string_view buttonText) {
  const std::string wanted = WithoutMnemonics(buttonText);
  for (const auto& control : View(dialog).controls) {
    if (!ClassIs(control, "Button")) continue;
    if (control.text == buttonText || WithoutMnemonics(control.text) == wanted) {
      return PressButton(dialog, control.id);
    }
  }
  return false;
}

void DialogAnswerer::DismissAll() {
  while (HWND dialog = DialogFind({}, true)) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    // Give the dialog's thread time to end it before looking again.
    const DWORD start = GetTickCount();
    while (IsWindow(dialog) && IsWindowVisible(dialog) && GetTickCount() - start < 1000) Sleep(kPollMs);
    if (IsWindow(dialog) && IsWindowVisible(dialog)) {
      ShowWindow(dialog, SW_HIDE);  // it will not close: hide it so the loop ends
    }
  }
}

DialogAnswer::DialogAnswer(std::function<void(DialogAnswerer&)> answer, DialogAnswerer answerer)
    : answerer_(answerer), joinRequested_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  thread_ = std::thread([this, answer = std::move(answer)] {
    answer(answerer_);
    // Watchdog until Join: a dialog that stays open past the timeout is dismissed.
    HWND seen = nullptr;
    DWORD seenSince = GetTickCount();
    while (WaitForSingleObject(joinRequested_, kPollMs * 5) == WAIT_TIMEOUT) {
      HWND open = DialogFind({}, true);
      if (open != seen) {
        seen = open;
        seenSince = GetTickCount();
      } else if (open != nullptr && GetTickCount() - seenSince > answerer_.TimeoutMs()) {
        DialogAnswerer::DismissAll();
        seen = nullptr;
      }
    }
  });
}

DialogAnswer::~DialogAnswer() {
  Join();
  CloseHandle(joinRequested_);
}

void DialogAnswer::Join() {
  if (!thread_.joinable()) return;
  SetEvent(joinRequested_);
  thread_.join();
}
