// The `CheckBox` kind: an automatic check box (optionally push-like, flat,
// text on the left); property 18 is the check state, read by a sent message
// so that other threads can read it.
#include <windows.h>

#include "runtime/windows/kind_support.h"
#include "runtime/windows/property_numbers.h"

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
      case CheckBoxProperty::kPushLike:
        return p_.pushLike == 1;
      case CheckBoxProperty::kFlat:
        return p_.flat == 1;
      case CheckBoxProperty::kCaption:
        return WindowTextGet(Handle());
      case CheckBoxProperty::kTextOnLeft:
        return p_.textOnLeft == 1;
      case CheckBoxProperty::kHorizontalAlignment:
        return static_cast<std::int32_t>(p_.horizontalAlignment);
      case CheckBoxProperty::kVerticalAlignment:
        return static_cast<std::int32_t>(p_.verticalAlignment);
      case CheckBoxProperty::kTextColour:
        return Colour{p_.textColour};
      case CheckBoxProperty::kBackgroundColour:
        return Colour{background_.Value()};
      case CheckBoxProperty::kFont:
        return FontPropertyGet(*this, element);
      case CheckBoxProperty::kChecked:
        return SendMessageA(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
      default:
        return {};
    }
  }

  void PropertySet(std::int32_t index, const PropertyValue& value, std::int32_t element) override {
    HWND handle = Handle();
    switch (index) {
      case CheckBoxProperty::kPushLike:
        p_.pushLike = PropertyValueLogical(value);
        WindowStyleReplace(handle, BS_PUSHLIKE, p_.pushLike ? BS_PUSHLIKE : 0);
        break;
      case CheckBoxProperty::kFlat:
        p_.flat = PropertyValueLogical(value);
        WindowStyleReplace(handle, BS_FLAT, p_.flat ? BS_FLAT : 0);
        break;
      case CheckBoxProperty::kCaption:
        SetWindowTextA(handle, PropertyValueText(value).c_str());
        break;
      case CheckBoxProperty::kTextOnLeft:
        p_.textOnLeft = PropertyValueLogical(value);
        WindowStyleReplace(handle, BS_LEFTTEXT, p_.textOnLeft ? BS_LEFTTEXT : 0);
        break;
      case CheckBoxProperty::kHorizontalAlignment:
        p_.horizontalAlignment = static_cast<std::uint32_t>(PropertyValueInteger(value));
        WindowStyleReplace(handle, BS_CENTER, ButtonHorizontalStyle(p_.horizontalAlignment));
        break;
      case CheckBoxProperty::kVerticalAlignment:
        p_.verticalAlignment = static_cast<std::uint32_t>(PropertyValueInteger(value));
        WindowStyleReplace(handle, BS_VCENTER, ButtonVerticalStyle(p_.verticalAlignment));
        break;
      case CheckBoxProperty::kTextColour:
        p_.textColour = static_cast<std::uint32_t>(PropertyValueInteger(value));
        InvalidateRect(handle, nullptr, TRUE);
        break;
      case CheckBoxProperty::kBackgroundColour:
        background_.Set(static_cast<std::uint32_t>(PropertyValueInteger(value)));
        InvalidateRect(handle, nullptr, TRUE);
        break;
      case CheckBoxProperty::kFont:
        FontPropertySet(*this, value, element);
        break;
      case CheckBoxProperty::kChecked:
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
