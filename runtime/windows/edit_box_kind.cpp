// The `EditBox` kind: an edit control with its border, colours, input mode,
// case conversion, length limit and initial selection, and an optional
// up-down spinner (identifier + 4) beside a single-line box.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "runtime/windows/kind_support.h"
#include "runtime/windows/property_numbers.h"

namespace {

constexpr int kSpinnerIdOffset = 4;

DWORD EditStyleOf(const EditBoxProperties& p) {
  DWORD style = 0;
  if (p.multiLine == 1) {
    style |= ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL;
    if (p.scrollBars & 1) style |= WS_HSCROLL;
    if (p.scrollBars & 2) style |= WS_VSCROLL;
    // Without a horizontal scroll bar the lines wrap at the box's width.
    if (p.scrollBars & 1) style |= ES_AUTOHSCROLL;
  } else {
    style |= ES_AUTOHSCROLL;
  }
  if (p.alignment == 1) style |= ES_CENTER;
  if (p.alignment == 2) style |= ES_RIGHT;
  if (p.inputMode == 1) style |= ES_READONLY;
  if (p.inputMode == 2) style |= ES_PASSWORD;
  if (p.caseConversion == 1) style |= ES_LOWERCASE;
  if (p.caseConversion == 2) style |= ES_UPPERCASE;
  if (p.hideSelection != 1) style |= ES_NOHIDESEL;
  return style;
}

class EditBoxObject : public LiveObject {
 public:
  EditBoxObject(const ControlCreateArgs& args, EditBoxProperties properties)
      : LiveObject(args.window, args.unit), p_(std::move(properties)), background_(p_.backgroundColour) {}

  bool Build(const ControlCreateArgs& args) {
    FontRecordApply(*this, p_.font);
    DWORD style = EditStyleOf(p_);
    DWORD exStyle = 0;
    BorderStyleApply(p_.borderStyle, style, exStyle);
    if (!ControlWindowCreate(*this, args, "EDIT", style, exStyle, p_.content.c_str())) return false;
    HWND handle = Handle();
    if (p_.maxLength != 0) SendMessageA(handle, EM_LIMITTEXT, p_.maxLength, 0);
    if (p_.inputMode == 2) SendMessageA(handle, EM_SETPASSWORDCHAR, p_.passwordChar, 0);
    if (p_.selectionStart != 0 || p_.selectionLength != 0) {
      SendMessageA(handle, EM_SETSEL, p_.selectionStart, p_.selectionStart + p_.selectionLength);
    }
    if (p_.spinnerMode != 0 && p_.multiLine != 1) SpinnerCreate(args);
    return true;
  }

  std::optional<LRESULT> Reflected(UINT message, WPARAM wParam, LPARAM) override {
    if (message != WM_CTLCOLOREDIT && message != WM_CTLCOLORSTATIC) return std::nullopt;
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetTextColor(dc, p_.textColour);
    if (background_.IsDefault()) return std::nullopt;
    SetBkColor(dc, background_.Value());
    return reinterpret_cast<LRESULT>(background_.Get());
  }

  std::optional<LRESULT> OwnMessage(UINT message, WPARAM wParam, LPARAM) override {
    if (message == WM_SHOWWINDOW && spinner_ != nullptr) ShowWindow(spinner_, wParam ? SW_SHOWNA : SW_HIDE);
    if (message == WM_ENABLE && spinner_ != nullptr) EnableWindow(spinner_, static_cast<BOOL>(wParam));
    return std::nullopt;
  }

  // Enter belongs to a multi-line box that can be edited.
  bool AcceptsKey(UINT key) const override {
    if (key != VK_RETURN) return false;
    const LONG_PTR style = GetWindowLongPtrA(Handle(), GWL_STYLE);
    return (style & ES_MULTILINE) && !(style & ES_READONLY);
  }

  void ParentChanged(HWND newParent) override {
    if (spinner_ == nullptr) return;
    SetParent(spinner_, newParent);
    SendMessageA(spinner_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(Handle()), 0);
  }

  PropertyValue PropertyGet(std::int32_t index, std::int32_t element) override {
    HWND handle = Handle();
    switch (index) {
      case EditBoxProperty::kContent:
        return WindowTextGet(handle);
      case EditBoxProperty::kBorderStyle:
        return static_cast<std::int32_t>(p_.borderStyle);
      case EditBoxProperty::kTextColour:
        return Colour{p_.textColour};
      case EditBoxProperty::kBackgroundColour:
        return Colour{background_.Value()};
      case EditBoxProperty::kFont:
        return FontPropertyGet(*this, element);
      case EditBoxProperty::kHideSelection:
        return p_.hideSelection == 1;
      case EditBoxProperty::kMaxLength:
        return static_cast<std::int32_t>(p_.maxLength);
      case EditBoxProperty::kMultiLine:
        return p_.multiLine == 1;
      case EditBoxProperty::kScrollBars:
        return static_cast<std::int32_t>(p_.scrollBars);
      case EditBoxProperty::kAlignment:
        return static_cast<std::int32_t>(p_.alignment);
      case EditBoxProperty::kInputMode:
        return static_cast<std::int32_t>(p_.inputMode);
      case EditBoxProperty::kPasswordChar:
        return MakeText(std::string_view(reinterpret_cast<const char*>(&p_.passwordChar), 1));
      case EditBoxProperty::kCaseConversion:
        return static_cast<std::int32_t>(p_.caseConversion);
      case EditBoxProperty::kSpinnerMode:
        return static_cast<std::int32_t>(p_.spinnerMode);
      case EditBoxProperty::kSpinnerMinimum:
        return static_cast<std::int32_t>(p_.spinnerMinimum);
      case EditBoxProperty::kSpinnerMaximum:
        return static_cast<std::int32_t>(p_.spinnerMaximum);
      case EditBoxProperty::kSelectionStart:
      case EditBoxProperty::kSelectionLength: {
        DWORD start = 0, end = 0;
        SendMessageA(handle, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        return static_cast<std::int32_t>(index == EditBoxProperty::kSelectionStart ? start : end - start);
      }
      default:
        return {};
    }
  }

  void PropertySet(std::int32_t index, const PropertyValue& value, std::int32_t element) override {
    HWND handle = Handle();
    switch (index) {
      case EditBoxProperty::kContent:
        SetWindowTextA(handle, PropertyValueText(value).c_str());
        break;
      case EditBoxProperty::kTextColour:
        p_.textColour = static_cast<std::uint32_t>(PropertyValueInteger(value));
        InvalidateRect(handle, nullptr, TRUE);
        break;
      case EditBoxProperty::kBackgroundColour:
        background_.Set(static_cast<std::uint32_t>(PropertyValueInteger(value)));
        InvalidateRect(handle, nullptr, TRUE);
        break;
      case EditBoxProperty::kFont:
        FontPropertySet(*this, value, element);
        break;
      case EditBoxProperty::kMaxLength:
        p_.maxLength = static_cast<std::uint32_t>(PropertyValueInteger(value));
        SendMessageA(handle, EM_LIMITTEXT, p_.maxLength, 0);
        break;
      case EditBoxProperty::kInputMode:
        p_.inputMode = static_cast<std::uint32_t>(PropertyValueInteger(value));
        SendMessageA(handle, EM_SETREADONLY, p_.inputMode == 1, 0);
        SendMessageA(handle, EM_SETPASSWORDCHAR, p_.inputMode == 2 ? p_.passwordChar : 0, 0);
        InvalidateRect(handle, nullptr, TRUE);
        break;
      case EditBoxProperty::kPasswordChar: {
        const Text text = PropertyValueText(value);
        p_.passwordChar = text.empty() ? '*' : static_cast<unsigned char>(text[0]);
        if (p_.inputMode == 2) SendMessageA(handle, EM_SETPASSWORDCHAR, p_.passwordChar, 0);
        break;
      }
      case EditBoxProperty::kCaseConversion:
        p_.caseConversion = static_cast<std::uint32_t>(PropertyValueInteger(value));
        WindowStyleReplace(handle, ES_LOWERCASE | ES_UPPERCASE,
                           p_.caseConversion == 1   ? ES_LOWERCASE
                           : p_.caseConversion == 2 ? ES_UPPERCASE
                                                    : 0);
        break;
      case EditBoxProperty::kSpinnerMinimum:
      case EditBoxProperty::kSpinnerMaximum:
        (index == EditBoxProperty::kSpinnerMinimum ? p_.spinnerMinimum : p_.spinnerMaximum) =
            static_cast<std::uint32_t>(PropertyValueInteger(value));
        if (spinner_ != nullptr) SendMessageA(spinner_, UDM_SETRANGE32, p_.spinnerMinimum, p_.spinnerMaximum);
        break;
      case EditBoxProperty::kSelectionStart:
      case EditBoxProperty::kSelectionLength: {
        DWORD start = 0, end = 0;
        SendMessageA(handle, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        const DWORD v = static_cast<DWORD>(PropertyValueInteger(value));
        if (index == EditBoxProperty::kSelectionStart) {
          SendMessageA(handle, EM_SETSEL, v, v + (end - start));
        } else {
          SendMessageA(handle, EM_SETSEL, start, start + v);
        }
        break;
      }
      default:
        break;
    }
  }

 private:
  void SpinnerCreate(const ControlCreateArgs& args) {
    const DWORD style = WS_CHILD | UDS_ALIGNRIGHT | UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS |
                        (args.style & WS_DISABLED);
    spinner_ =
        CreateWindowExA(0, UPDOWN_CLASSA, "", style, 0, 0, 0, 0, args.parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(args.controlId + kSpinnerIdOffset)),
                        GetModuleHandleA(nullptr), nullptr);
    if (spinner_ == nullptr) return;
    SendMessageA(spinner_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(Handle()), 0);
    SendMessageA(spinner_, UDM_SETRANGE32, p_.spinnerMinimum, p_.spinnerMaximum);
  }

  EditBoxProperties p_;
  ColourBrush background_;
  HWND spinner_ = nullptr;  // a child of the same parent; goes with the window
};

}  // namespace

std::unique_ptr<LiveObject> EditBoxCreate(const ControlCreateArgs& args) {
  return KindCreate<EditBoxObject, EditBoxProperties>(args, EditBoxPropertiesDecode);
}
