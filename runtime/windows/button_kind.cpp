// The `Button` kind: a push button, default push when its type is 1, with an
// optional icon or bitmap and its caption alignment.
#include <windows.h>

#include "runtime/windows/kind_support.h"
#include "runtime/windows/property_numbers.h"

namespace {

class ButtonObject : public LiveObject {
 public:
  ButtonObject(const ControlCreateArgs& args, ButtonProperties properties)
      : LiveObject(args.window, args.unit), p_(std::move(properties)) {}

  bool Build(const ControlCreateArgs& args) {
    FontRecordApply(*this, p_.font);
    DWORD style = BS_MULTILINE | ButtonHorizontalStyle(p_.horizontalAlignment) |
                  ButtonVerticalStyle(p_.verticalAlignment) |
                  (p_.buttonType == 1 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    if (!ControlWindowCreate(*this, args, "BUTTON", style, 0, p_.caption.c_str())) return false;
    PictureSet(p_.picture);
    return true;
  }

  std::optional<LRESULT> Reflected(UINT message, WPARAM wParam, LPARAM) override {
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
      Raise(kEventClick);
      return 0;
    }
    return std::nullopt;
  }

  bool IsDefaultButton() const override { return p_.buttonType == 1; }
  void Click() override { Raise(kEventClick); }

  PropertyValue PropertyGet(std::int32_t index, std::int32_t element) override {
    switch (index) {
      case ButtonProperty::kPicture:
        return p_.picture;
      case ButtonProperty::kButtonType:
        return static_cast<std::int32_t>(p_.buttonType);
      case ButtonProperty::kCaption:
        return WindowTextGet(Handle());
      case ButtonProperty::kHorizontalAlignment:
        return static_cast<std::int32_t>(p_.horizontalAlignment);
      case ButtonProperty::kVerticalAlignment:
        return static_cast<std::int32_t>(p_.verticalAlignment);
      case ButtonProperty::kFont:
        return FontPropertyGet(*this, element);
      default:
        return {};
    }
  }

  void PropertySet(std::int32_t index, const PropertyValue& value, std::int32_t element) override {
    HWND handle = Handle();
    switch (index) {
      case ButtonProperty::kPicture:
        if (const auto* bytes = std::get_if<ByteArray>(&value)) {
          PictureSet(*bytes);
        } else {
          PictureSet(ByteArray());
        }
        break;
      case ButtonProperty::kButtonType:
        p_.buttonType = PropertyValueInteger(value) == 1 ? 1 : 0;
        SendMessageA(handle, BM_SETSTYLE, p_.buttonType == 1 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
        break;
      case ButtonProperty::kCaption:
        SetWindowTextA(handle, PropertyValueText(value).c_str());
        break;
      case ButtonProperty::kHorizontalAlignment:
        p_.horizontalAlignment = static_cast<std::uint32_t>(PropertyValueInteger(value));
        WindowStyleReplace(handle, BS_CENTER, ButtonHorizontalStyle(p_.horizontalAlignment));
        break;
      case ButtonProperty::kVerticalAlignment:
        p_.verticalAlignment = static_cast<std::uint32_t>(PropertyValueInteger(value));
        WindowStyleReplace(handle, BS_VCENTER, ButtonVerticalStyle(p_.verticalAlignment));
        break;
      case ButtonProperty::kFont:
        FontPropertySet(*this, value, element);
        break;
      default:
        break;
    }
  }

 private:
  void PictureSet(const ByteArray& bytes) {
    p_.picture = bytes;
    Picture decoded = PictureDecode(std::span<const std::uint8_t>(bytes.data(), bytes.size()));
    if (decoded.Empty() && picture_.Empty()) return;
    ButtonPictureApply(Handle(), decoded);
    picture_ = std::move(decoded);  // the old picture goes once the button let go of it
  }

  ButtonProperties p_;
  Picture picture_;
};

}  // namespace

std::unique_ptr<LiveObject> ButtonCreate(const ControlCreateArgs& args) {
  return KindCreate<ButtonObject, ButtonProperties>(args, ButtonPropertiesDecode);
}
