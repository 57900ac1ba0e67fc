// The `Label` kind: a window of the engine's own class that paints its
// caption itself: transparent background, no prefix processing, one of four
// text effects, alignment and word wrap.
#include <windows.h>

#include "runtime/windows/kind_support.h"
#include "runtime/windows/property_numbers.h"

namespace {

constexpr char kLabelClass[] = "WTLabel";

class LabelObject : public LiveObject {
 public:
  LabelObject(const ControlCreateArgs& args, LabelProperties properties)
      : LiveObject(args.window, args.unit), p_(std::move(properties)), background_(p_.backgroundColour) {}

  bool Build(const ControlCreateArgs& args) {
    if (!EngineClassRegister(kLabelClass)) return false;
    FontRecordApply(*this, p_.font);
    DWORD style = args.style;
    DWORD exStyle = 0;
    BorderStyleApply(p_.borderStyle, style, exStyle);
    HWND handle = CreateWindowExA(exStyle, kLabelClass, p_.caption.c_str(), style, args.left, args.top,
                                  args.width, args.height, args.parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(args.controlId)),
                                  GetModuleHandleA(nullptr), static_cast<LiveObject*>(this));
    return handle != nullptr;
  }

  std::optional<LRESULT> OwnMessage(UINT message, WPARAM, LPARAM) override {
    switch (message) {
      case WM_PAINT:
        Paint();
        return 0;
      case WM_ERASEBKGND:
        return 1;  // painted with the text, without flicker
      case WM_SETTEXT:
      case WM_ENABLE:
        InvalidateRect(Handle(), nullptr, TRUE);
        return std::nullopt;
      case WM_GETFONT:
        return reinterpret_cast<LRESULT>(Font());
      case WM_SETFONT:
        InvalidateRect(Handle(), nullptr, TRUE);
        return 0;
      default:
        return std::nullopt;
    }
  }

  PropertyValue PropertyGet(std::int32_t index, std::int32_t element) override {
    switch (index) {
      case LabelProperty::kCaption:
        return WindowTextGet(Handle());
      case LabelProperty::kTextEffect:
        return static_cast<std::int32_t>(p_.textEffect);
      case LabelProperty::kBorderStyle:
        return static_cast<std::int32_t>(p_.borderStyle);
      case LabelProperty::kFont:
        return FontPropertyGet(*this, element);
      case LabelProperty::kTextColour:
        return Colour{p_.textColour};
      case LabelProperty::kBackgroundColour:
        return Colour{background_.Value()};
      case LabelProperty::kHorizontalAlignment:
        return static_cast<std::int32_t>(p_.horizontalAlignment);
      case LabelProperty::kWordWrap:
        return p_.wordWrap == 1;
      case LabelProperty::kVerticalAlignment:
        return static_cast<std::int32_t>(p_.verticalAlignment);
      default:
        return {};
    }
  }

  void PropertySet(std::int32_t index, const PropertyValue& value, std::int32_t element) override {
    const auto number = static_cast<std::uint32_t>(PropertyValueInteger(value));
    switch (index) {
      case LabelProperty::kCaption:
        SetWindowTextA(Handle(), PropertyValueText(value).c_str());
        return;
      case LabelProperty::kTextEffect:
        p_.textEffect = number;
        break;
      case LabelProperty::kFont:
        FontPropertySet(*this, value, element);
        break;
      case LabelProperty::kTextColour:
        p_.textColour = number;
        break;
      case LabelProperty::kBackgroundColour:
        background_.Set(number);
        break;
      case LabelProperty::kHorizontalAlignment:
        p_.horizontalAlignment = number;
        break;
      case LabelProperty::kWordWrap:
        p_.wordWrap = PropertyValueLogical(value) ? 1 : 0;
        break;
      case LabelProperty::kVerticalAlignment:
        p_.verticalAlignment = number;
        break;
      default:
        return;
    }
    InvalidateRect(Handle(), nullptr, TRUE);
  }

 private:
  UINT TextFormat(const Text& text) const {
    UINT format = DT_NOPREFIX;
    if (p_.horizontalAlignment == 1) format |= DT_CENTER;
    if (p_.horizontalAlignment == 2) format |= DT_RIGHT;
    if (p_.wordWrap == 1) return format | DT_WORDBREAK;
    // Vertical alignment applies to a single line; explicit line breaks are kept.
    if (text.find('\n') != Text::npos) return format;
    format |= DT_SINGLELINE;
    if (p_.verticalAlignment == 1) format |= DT_VCENTER;
    if (p_.verticalAlignment == 2) format |= DT_BOTTOM;
    return format;
  }

  static void TextDraw(HDC dc, const Text& text, RECT rect, int dx, int dy, UINT format) {
    OffsetRect(&rect, dx, dy);
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &rect, format);
  }

  void Paint() {
    HWND handle = Handle();
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(handle, &paint);
    RECT client{};
    GetClientRect(handle, &client);
    FillRect(dc, &client, background_.IsDefault() ? WindowBackgroundBrushOf(handle) : background_.Get());
    char buffer[4096];
    const int length = GetWindowTextA(handle, buffer, sizeof buffer);
    const Text text(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
    {
      DcSelection font(dc, Font());
      SetBkMode(dc, TRANSPARENT);
      const UINT format = TextFormat(text);
      const COLORREF colour = IsWindowEnabled(handle) ? p_.textColour : GetSysColor(COLOR_GRAYTEXT);
      constexpr COLORREF kWhite = RGB(255, 255, 255);
      switch (p_.textEffect) {
        case 1:  // a white copy one pixel right and down, behind the text
          SetTextColor(dc, kWhite);
          TextDraw(dc, text, client, 1, 1, format);
          SetTextColor(dc, colour);
          TextDraw(dc, text, client, 0, 0, format);
          break;
        case 2:  // a white copy in place, the text one pixel right and down
          SetTextColor(dc, kWhite);
          TextDraw(dc, text, client, 0, 0, format);
          SetTextColor(dc, colour);
          TextDraw(dc, text, client, 1, 1, format);
          break;
        case 3:  // a black shadow two pixels right and down
          SetTextColor(dc, RGB(0, 0, 0));
          TextDraw(dc, text, client, 2, 2, format);
          SetTextColor(dc, colour);
          TextDraw(dc, text, client, 0, 0, format);
          break;
        default:
          SetTextColor(dc, colour);
          TextDraw(dc, text, client, 0, 0, format);
          break;
      }
    }
    EndPaint(handle, &paint);
  }

  LabelProperties p_;
  ColourBrush background_;
};

}  // namespace

std::unique_ptr<LiveObject> LabelCreate(const ControlCreateArgs& args) {
  return KindCreate<LabelObject, LabelProperties>(args, LabelPropertiesDecode);
}
