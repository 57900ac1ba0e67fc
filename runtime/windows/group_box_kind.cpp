// The `GroupBox` kind: a framed caption that contains other controls as its
// child windows; it passes their notifications on to their objects.
#include <windows.h>

#include "runtime/windows/kind_support.h"
#include "runtime/windows/property_numbers.h"

namespace {

DWORD CaptionAlignmentStyle(std::uint32_t choice) {
  switch (choice) {
    case 1:
      return BS_CENTER;
    case 2:
      return BS_RIGHT;
    default:
      return BS_LEFT;
  }
}

class GroupBoxObject : public LiveObject {
 public:
  GroupBoxObject(const ControlCreateArgs& args, GroupBoxProperties properties)
      : LiveObject(args.window, args.unit), p_(std::move(properties)), background_(p_.backgroundColour) {}

  bool Build(const ControlCreateArgs& args) {
    FontRecordApply(*this, p_.font);
    // Contained controls take part in the window's tab order.
    return ControlWindowCreate(*this, args, "BUTTON",
                               BS_GROUPBOX | WS_CLIPCHILDREN | CaptionAlignmentStyle(p_.style),
                               WS_EX_CONTROLPARENT, p_.caption.c_str());
  }

  std::optional<LRESULT> Reflected(UINT message, WPARAM wParam, LPARAM) override {
    if (message != WM_CTLCOLORSTATIC && message != WM_CTLCOLORBTN) return std::nullopt;
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetTextColor(dc, p_.textColour);
    if (background_.IsDefault()) return std::nullopt;
    SetBkColor(dc, background_.Value());
    return reinterpret_cast<LRESULT>(background_.Get());
  }

  std::optional<LRESULT> OwnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    HWND handle = Handle();
    switch (message) {
      case WM_ERASEBKGND: {
        RECT client{};
        GetClientRect(handle, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client,
                 background_.IsDefault() ? WindowBackgroundBrushOf(handle) : background_.Get());
        return 1;
      }
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLORBTN:
      case WM_CTLCOLOREDIT: {
        // Contained controls get the colours the window would give them.
        // Their own reflection has run already (in the dispatch before this).
        HWND source = reinterpret_cast<HWND>(lParam);
        if (source == handle) return std::nullopt;
        if (message == WM_CTLCOLOREDIT) return std::nullopt;
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, background_.IsDefault() ? WindowBackgroundColourOf(handle) : background_.Value());
        return reinterpret_cast<LRESULT>(background_.IsDefault() ? WindowBackgroundBrushOf(handle)
                                                                 : background_.Get());
      }
      default:
        return std::nullopt;
    }
  }

  PropertyValue PropertyGet(std::int32_t index, std::int32_t element) override {
    switch (index) {
      case GroupBoxProperty::kCaption:
        return WindowTextGet(Handle());
      case GroupBoxProperty::kStyle:
        return static_cast<std::int32_t>(p_.style);
      case GroupBoxProperty::kTextColour:
        return Colour{p_.textColour};
      case GroupBoxProperty::kBackgroundColour:
        return Colour{background_.Value()};
      case GroupBoxProperty::kFont:
        return FontPropertyGet(*this, element);
      default:
        return {};
    }
  }

  void PropertySet(std::int32_t index, const PropertyValue& value, std::int32_t element) override {
    HWND handle = Handle();
    switch (index) {
      case GroupBoxProperty::kCaption:
        SetWindowTextA(handle, PropertyValueText(value).c_str());
        break;
      case GroupBoxProperty::kStyle:
        p_.style = static_cast<std::uint32_t>(PropertyValueInteger(value));
        WindowStyleReplace(handle, BS_CENTER, CaptionAlignmentStyle(p_.style));
        break;
      case GroupBoxProperty::kTextColour:
        p_.textColour = static_cast<std::uint32_t>(PropertyValueInteger(value));
        InvalidateRect(handle, nullptr, TRUE);
        break;
      case GroupBoxProperty::kBackgroundColour:
        background_.Set(static_cast<std::uint32_t>(PropertyValueInteger(value)));
        InvalidateRect(handle, nullptr, TRUE);
        break;
      case GroupBoxProperty::kFont:
        FontPropertySet(*this, value, element);
        break;
      default:
        break;
    }
  }

 private:
  GroupBoxProperties p_;
  ColourBrush background_;
};

}  // namespace

std::unique_ptr<LiveObject> GroupBoxCreate(const ControlCreateArgs& args) {
  return KindCreate<GroupBoxObject, GroupBoxProperties>(args, GroupBoxPropertiesDecode);
}
