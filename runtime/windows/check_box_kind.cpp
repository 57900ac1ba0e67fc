// The `CheckBox` kind: an automatic check box (optionally push-like, flat,
// text on the left); property 18 is the check state, read by a sent message
// so that other threads can read it.
#include <windows.h>

#include "runtime/windows/kind_support.h"

namespace {

class CheckBoxObject : public LiveObject {
 public:
  CheckBoxObject(const ControlCreateArgs& args, CheckBoxProperties properties)
      : LiveObject(args.window, args.unit), p_(std::move(properties)), background_(p_.backgroundColour) {}

  bool Build(const ControlCreateArgs& args) {
    FontRecordApply(*this, p_.font);
    DWORD style = BS_AUTOCHECKBOX | BS_MULTILINE | ButtonHorizontalStyle(p_.horizontalAlignment) |
                  ButtonVerticalStyle(p_.verticalAlignment);
    if (p_.pushLike == 1) style |= BS_PUSHLIKE;
    if (p_.flat == 1) style |= BS_FLAT;
    if (p_.textOnLeft == 1) style |= BS_LEFTTEXT;
    if (!ControlWindowCreate(*this, args, "BUTTON", style, 0, p_.caption.c_str())) return false;
    SendMessageA(Handle(), BM_SETCHECK, p_.checked == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
    return true;
  }

  std::optional<LRESULT> Reflected(UINT message, WPARAM wParam, LPARAM) override {
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
      Raise(kEventClick);
      return 0;
    }
    if (message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORBTN) {
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, p_.textColour);
      if (background_.IsDefault()) return std::nullopt;  // the window's background
      SetBkColor(dc, background_.Value());
      return reinterpret_cast<LRESULT>(background_.Get());
    }
    return std::nullopt;
  }

  PropertyValue PropertyGet(std::int32_t index, std::int32_t element) override {
    switch (index) {
      case 9:
        return p_.pushLike == 1;
      case 10:
        return p_.flat == 1;
      case 11:
        return WindowTextGet(Handle());
      case 12:
        return p_.textOnLeft == 1;
      case 13:
        return static_cast<std::int32_t>(p_.horizontalAlignment);
      case 14:
        return static_cast<std::int32_t>(p_.verticalAlignment);
      case 15:
        return Colour{p_.textColour};
      case 16:
        return Colour{background_.Value()};
      case 17:
        return FontPropertyGet(*this, element);
      case 18:
        return SendMessageA(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
      default:
        return {};
    }
  }

  void PropertySet(std::int32_t index, const PropertyValue& value, std::int32_t element) override {
    HWND handle = Handle();
    switch (index) {
      case 9:
        p_.pushLike = PropertyValueLogical(value);
        WindowStyleReplace(handle, BS_PUSHLIKE, p_.pushLike ? BS_PUSHLIKE : 0);
        break;
      case 10:
        p_.flat = PropertyValueLogical(value);
        WindowStyleReplace(handle, BS_FLAT, p_.flat ? BS_FLAT : 0);
        break;
      case 11:
        SetWindowTextA(handle, PropertyValueText(value).c_str());
        break;
      case 12:
        p_.textOnLeft = PropertyValueLogical(value);
        WindowStyleReplace(handle, BS_LEFTTEXT, p_.textOnLeft ? BS_LEFTTEXT : 0);
        break;
      case 13:
        p_.horizontalAlignment = static_cast<std::uint32_t>(PropertyValueInteger(value));
        WindowStyleReplace(handle, BS_CENTER, ButtonHorizontalStyle(p_.horizontalAlignment));
        break;
      case 14:
        p_.verticalAlignment = static_cast<std::uint32_t>(PropertyValueInteger(value));
        WindowStyleReplace(handle, BS_VCENTER, ButtonVerticalStyle(p_.verticalAlignment));
        break;
      case 15:
        p_.textColour = static_cast<std::uint32_t>(PropertyValueInteger(value));
        InvalidateRect(handle, nullptr, TRUE);
        break;
      case 16:
        background_.Set(static_cast<std::uint32_t>(PropertyValueInteger(value)));
        InvalidateRect(handle, nullptr, TRUE);
        break;
      case 17:
        FontPropertySet(*this, value, element);
        break;
      case 18:
        SendMessageA(handle, BM_SETCHECK, PropertyValueLogical(value) ? BST_CHECKED : BST_UNCHECKED, 0);
        break;
      default:
        break;
    }
  }

 private:
  CheckBoxProperties p_;
  ColourBrush background_;
};

}  // namespace

std::unique_ptr<LiveObject> CheckBoxCreate(const ControlCreateArgs& args) {
  return KindCreate<CheckBoxObject, CheckBoxProperties>(args, CheckBoxPropertiesDecode);
}
