#include "runtime/windows/kind_support.h"

#include <cstring>

#include "runtime/windows/engine_internal.h"
#include "runtime/windows/icon_resource.h"
#include "runtime/windows/property_numbers.h"

namespace {

constexpr char kDefaultFace[] = "宋体";
constexpr std::int32_t kFullCircle = 3600;

std::uint32_t ReadU32(const std::uint8_t* bytes) {
  std::uint32_t value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

int PointsToHeight(std::int32_t points) {
  WindowDc screen(nullptr);
  return -MulDiv(points, GetDeviceCaps(screen.Get(), LOGPIXELSY), 72);
}

std::int32_t HeightToPoints(LONG height) {
  WindowDc screen(nullptr);
  const int dpi = GetDeviceCaps(screen.Get(), LOGPIXELSY);
  return MulDiv(height < 0 ? -height : height, 72, dpi);
}

}  // namespace

void FontRecordApply(LiveObject& object, const std::optional<FontRecord>& font) {
  if (!font) {
    object.FontApply(std::span<const std::uint8_t>());
    return;
  }
  const ByteArray bytes = FontRecordEncode(*font);
  object.FontApply(std::span<const std::uint8_t>(bytes.data(), bytes.size()));
}

PropertyValue FontPropertyGet(const LiveObject& object, std::int32_t element) {
  LOGFONTA font{};
  if (!object.FontRecordGet(font)) return {};
  switch (element) {
    case kFontAngle:
      return static_cast<std::int32_t>(font.lfEscapement);
    case kFontBold:
      return font.lfWeight >= FW_BOLD;
    case kFontItalic:
      return font.lfItalic != 0;
    case kFontUnderline:
      return font.lfUnderline != 0;
    case kFontStrikeOut:
      return font.lfStrikeOut != 0;
    case kFontSize:
      return HeightToPoints(font.lfHeight);
    case kFontFaceName:
      return MakeText(font.lfFaceName);
    default:
      return font;
  }
}

void FontPropertySet(LiveObject& object, const PropertyValue& value, std::int32_t element) {
  LOGFONTA font{};
  object.FontRecordGet(font);
  switch (element) {
    case -1:
      if (const auto* whole = std::get_if<LOGFONTA>(&value)) {
        font = *whole;
      } else if (const auto* bytes = std::get_if<ByteArray>(&value)) {
        object.FontApply(std::span<const std::uint8_t>(bytes->data(), bytes->size()));
        return;
      } else {
        return;
      }
      break;
    case kFontAngle: {
      const std::int32_t angle = PropertyValueInteger(value) % kFullCircle;
      font.lfEscapement = font.lfOrientation = angle;
      break;
    }
    case kFontBold:
      font.lfWeight = PropertyValueLogical(value) ? FW_BOLD : FW_NORMAL;
      break;
    case kFontItalic:
      font.lfItalic = PropertyValueLogical(value) ? 1 : 0;
      break;
    case kFontUnderline:
      font.lfUnderline = PropertyValueLogical(value) ? 1 : 0;
      break;
    case kFontStrikeOut:
      font.lfStrikeOut = PropertyValueLogical(value) ? 1 : 0;
      break;
    case kFontSize:
      font.lfHeight = PointsToHeight(PropertyValueInteger(value));
      break;
    case kFontFaceName: {
      const Text face = PropertyValueText(value);
      const bool usable = !face.empty() && face.size() <= 31;
      std::memset(font.lfFaceName, 0, sizeof font.lfFaceName);
      std::memcpy(font.lfFaceName, usable ? face.c_str() : kDefaultFace,
                  usable ? face.size() : sizeof kDefaultFace - 1);
      break;
    }
    default:
      return;
  }
  object.FontApply(font);
}

void ColourBrush::Set(std::uint32_t colour) {
  colour_ = colour;
  brush_.Reset(colour == kColourSystemDefault ? nullptr : CreateSolidBrush(colour));
}

DWORD ButtonHorizontalStyle(std::uint32_t choice) {
  switch (choice) {
    case 0:
      return BS_LEFT;
    case 2:
      return BS_RIGHT;
    default:
      return BS_CENTER;
  }
}

DWORD ButtonVerticalStyle(std::uint32_t choice) {
  switch (choice) {
    case 0:
      return BS_TOP;
    case 2:
      return BS_BOTTOM;
    default:
      return BS_VCENTER;
  }
}

void WindowStyleReplace(HWND window, DWORD mask, DWORD bits) {
  const LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
  SetWindowLongPtrA(window, GWL_STYLE, (style & ~static_cast<LONG_PTR>(mask)) | bits);
  InvalidateRect(window, nullptr, TRUE);
}

HBRUSH WindowBackgroundBrushOf(HWND control) {
  auto* window = static_cast<WindowObject*>(ObjectFromHandle(GetAncestor(control, GA_ROOT)));
  if (window == nullptr || window->Unit() != 0) return GetSysColorBrush(COLOR_BTNFACE);
  return window->BackgroundBrush();
}

COLORREF WindowBackgroundColourOf(HWND control) {
  auto* window = static_cast<WindowObject*>(ObjectFromHandle(GetAncestor(control, GA_ROOT)));
  if (window == nullptr || window->Unit() != 0 || window->backgroundColour == kColourSystemDefault) {
    return GetSysColor(COLOR_BTNFACE);
  }
  return window->backgroundColour;
}

Picture PictureDecode(std::span<const std::uint8_t> data) {
  Picture picture;
  if (data.size() > sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) && data[0] == 'B' && data[1] == 'M') {
    const std::uint32_t bitsOffset = ReadU32(data.data() + 10);
    if (bitsOffset >= data.size()) return picture;
    const auto* info = reinterpret_cast<const BITMAPINFO*>(data.data() + sizeof(BITMAPFILEHEADER));
    WindowDc screen(nullptr);
    picture.bitmap.Reset(CreateDIBitmap(screen.Get(), &info->bmiHeader, CBM_INIT, data.data() + bitsOffset,
                                        info, DIB_RGB_COLORS));
    return picture;
  }
  // Icon file: the first image of the directory.
  if (data.size() < 22 || ReadU32(data.data()) != 0x00010000u) return picture;
  const std::uint32_t size = ReadU32(data.data() + 6 + 8);
  const std::uint32_t offset = ReadU32(data.data() + 6 + 12);
  if (offset > data.size() || size > data.size() - offset) return picture;
  ByteArray image(data.begin() + offset, data.begin() + offset + size);
  picture.icon.Reset(CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE,
                                              kIconResourceVersion, 0, 0, LR_DEFAULTCOLOR));
  return picture;
}

void ButtonPictureApply(HWND button, const Picture& picture) {
  if (picture.icon) {
    WindowStyleReplace(button, BS_ICON | BS_BITMAP, BS_ICON);
    SendMessageA(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(picture.icon.Get()));
  } else if (picture.bitmap) {
    WindowStyleReplace(button, BS_ICON | BS_BITMAP, BS_BITMAP);
    SendMessageA(button, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture.bitmap.Get()));
  } else {
    WindowStyleReplace(button, BS_ICON | BS_BITMAP, 0);
    SendMessageA(button, BM_SETIMAGE, IMAGE_BITMAP, 0);
  }
}
