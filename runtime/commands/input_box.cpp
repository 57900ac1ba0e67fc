#include "runtime/commands/input_box.h"

#include <windows.h>

#include <commctrl.h>

#include "runtime/commands/dialog_template_builder.h"
#include "runtime/commands/input_value_read.h"

namespace {

constexpr WORD kFrameId = 1000;
constexpr WORD kPromptId = 1001;
constexpr WORD kPlainEditId = 1002;
constexpr WORD kMaskedEditId = 1003;
constexpr UINT_PTR kFilterSubclassId = 1;

constexpr DWORD kDialogStyle = DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kEditStyle = WS_CHILD | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;  // shown by mode at opening

struct InputBoxSession {
  std::int32_t mode = kInputAnyText;
  Text prompt;
  Text caption;
  Text initialText;
  Text taken;
};

bool IsDigitCode(WPARAM code) { return code >= '0' && code <= '9'; }

// Codes below 32 (and DEL, which Ctrl+Backspace sends) are control keys and always pass.
bool CharacterAccepted(std::int32_t mode, WPARAM code) {
  if (code < 32 || code == 127) return true;
  switch (mode) {
    case kInputInteger:
      return IsDigitCode(code) || code == '-';
    case kInputDecimal:
      return IsDigitCode(code) || code == '-' || code == '.';
    default:
      return true;
  }
}

// Pasting into a number field keeps only the characters that could be typed.
void FilteredPaste(HWND edit, std::int32_t mode) {
  if (!OpenClipboard(edit)) return;
  Text kept;
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const auto* text = static_cast<const char*>(GlobalLock(data))) {
      for (; *text != '\0'; ++text) {
        const auto code = static_cast<unsigned char>(*text);
        if (code >= 32 && CharacterAccepted(mode, code)) kept += *text;
      }
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  SendMessageA(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(kept.c_str()));
}

LRESULT CALLBACK FilteredEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR subclassId,
                                  DWORD_PTR modeData) {
  const auto mode = static_cast<std::int32_t>(modeData);
  switch (message) {
    case WM_CHAR:
      if (!CharacterAccepted(mode, wParam)) {
        MessageBeep(MB_OK);
        return 0;
      }
      break;
    case WM_PASTE:
      if (mode == kInputInteger || mode == kInputDecimal) {
        FilteredPaste(edit, mode);
        return 0;
      }
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(edit, FilteredEditProc, subclassId);
      break;
  }
  return DefSubclassProc(edit, message, wParam, lParam);
}

WORD VisibleEditId(std::int32_t mode) { return mode == kInputMasked ? kMaskedEditId : kPlainEditId; }

Text ControlTextRead(HWND control) {
  const int length = GetWindowTextLengthA(control);
  if (length <= 0) return Text();
  Text text(static_cast<std::size_t>(length) + 1, '\0');
  const int copied = GetWindowTextA(control, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return text;
}

void InputBoxOpen(HWND dialog, const InputBoxSession& session) {
  if (!session.caption.empty()) SetWindowTextA(dialog, session.caption.c_str());
  if (HWND prompt = GetDlgItem(dialog, kPromptId)) SetWindowTextA(prompt, session.prompt.c_str());
  const WORD visibleId = VisibleEditId(session.mode);
  HWND edit = GetDlgItem(dialog, visibleId);
  ShowWindow(GetDlgItem(dialog, visibleId == kPlainEditId ? kMaskedEditId : kPlainEditId), SW_HIDE);
  ShowWindow(edit, SW_SHOW);
  SetWindowSubclass(edit, FilteredEditProc, kFilterSubclassId, static_cast<DWORD_PTR>(session.mode));
  SetWindowTextA(edit, session.initialText.c_str());
  SendMessageW(edit, EM_SETSEL, 0, -1);
  SendMessageW(edit, EM_SCROLLCARET, 0, 0);
  SetFocus(edit);
}

INT_PTR CALLBACK InputBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* session = reinterpret_cast<InputBoxSession*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      InputBoxOpen(dialog, *reinterpret_cast<InputBoxSession*>(lParam));
      return FALSE;  // the focus is set already
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK && session != nullptr) {
        session->taken = ControlTextRead(GetDlgItem(dialog, VisibleEditId(session->mode)));
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      EndDialog(dialog, IDCANCEL);
      return TRUE;
  }
  return FALSE;
}

void EditFieldsAdd(DialogTemplateBuilder& builder, short x, short y, short width) {
  builder.ItemAdd({DialogItemArgs::Kind::Edit, kPlainEditId, x, y, width, 12, kEditStyle, 0, L""});
  builder.ItemAdd(
      {DialogItemArgs::Kind::Edit, kMaskedEditId, x, y, width, 12, kEditStyle | ES_PASSWORD, 0, L""});
}

void ButtonsAdd(DialogTemplateBuilder& builder, short okX, short cancelX, short y) {
  constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
  builder.ItemAdd(
      {DialogItemArgs::Kind::Button, IDOK, okX, y, 55, 19, kButton | BS_DEFPUSHBUTTON, 0, L"确认输入(&O)"});
  builder.ItemAdd(
      {DialogItemArgs::Kind::Button, IDCANCEL, cancelX, y, 55, 19, kButton | BS_PUSHBUTTON, 0, L"取消(&C)"});
}

DialogTemplateBuilder PromptLayout() {
  DialogTemplateBuilder builder(kDialogStyle, 252, 92, L"请输入：", L"宋体", 9);
  builder.ItemAdd(
      {DialogItemArgs::Kind::Static, kFrameId, 7, 7, 238, 35, WS_CHILD | WS_VISIBLE | SS_SUNKEN, 0, L""});
  builder.ItemAdd(
      {DialogItemArgs::Kind::Static, kPromptId, 12, 11, 229, 27, WS_CHILD | WS_VISIBLE | SS_LEFT, 0, L""});
  EditFieldsAdd(builder, 7, 45, 238);
  ButtonsAdd(builder, 63, 134, 66);
  return builder;
}

DialogTemplateBuilder CompactLayout() {
  DialogTemplateBuilder builder(kDialogStyle, 214, 56, L"请输入：", L"宋体", 9);
  EditFieldsAdd(builder, 7, 7, 200);
  ButtonsAdd(builder, 82, 151, 30);
  return builder;
}

std::int32_t InputModeClamp(std::optional<std::int32_t> mode) {
  if (!mode) return kInputAnyText;
  if (*mode < kInputAnyText) return kInputAnyText;
  if (*mode > kInputMasked) return kInputMasked;
  return *mode;
}

void InputVariableStore(const InputVariable& variable, const Text& text) {
  std::visit(
      [&text](auto* target) {
        using Target = std::remove_pointer_t<decltype(target)>;
        if (target == nullptr) return;
        if constexpr (std::is_same_v<Target, Text>) {
          *target = text;
        } else if constexpr (std::is_floating_point_v<Target>) {
          *target = static_cast<Target>(InputNumberRead(text));
        } else {
          *target = static_cast<Target>(InputIntegerRead(text));  // cut to the variable's width
        }
      },
      variable);
}

// Text up to its first zero byte.
Text TextOf(std::optional<std::string_view> text) {
  const std::string_view view = text.value_or(std::string_view());
  return MakeText(view.substr(0, view.find('\0')));
}

}  // namespace

bool InputBoxShow(std::optional<std::string_view> prompt, std::optional<std::string_view> caption,
                  std::optional<std::string_view> initialText, InputVariable variable,
                  std::optional<std::int32_t> mode) {
  InputBoxSession session;
  session.mode = InputModeClamp(mode);
  session.prompt = TextOf(prompt);
  session.caption = TextOf(caption);
  session.initialText = TextOf(initialText);
  const DialogTemplateBuilder layout = session.prompt.empty() ? CompactLayout() : PromptLayout();
  // Owned by the thread's active window, so that window waits while the box is
  // up.  A Unicode dialog: its edit fields take double-byte characters typed
  // one WM_CHAR each; texts still go in and out in the ANSI code page.
  const INT_PTR answer =
      DialogBoxIndirectParamW(GetModuleHandleW(nullptr), layout.Template(), GetActiveWindow(), InputBoxProc,
                              reinterpret_cast<LPARAM>(&session));
  if (answer != IDOK) return false;
  InputVariableStore(variable, session.taken);
  return true;
}
