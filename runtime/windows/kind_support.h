// Helpers shared by the control kinds: fonts by part, colour brushes,
// alignment styles and pictures.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

#include "runtime/core/handles.h"
#include "runtime/windows/control_kind.h"
#include "runtime/windows/engine_internal.h"
#include "runtime/windows/type_properties.h"

// Sets the object's font from a stored record (none = the standard GUI font).
void FontRecordApply(LiveObject& object, const std::optional<FontRecord>& font);
// A font property by part (element -1 the whole record, 0 angle, 1 bold,
// 2 italic, 3 underline, 4 strike-out, 5 size in points, 6 face name).
PropertyValue FontPropertyGet(const LiveObject& object, std::int32_t element);
void FontPropertySet(LiveObject& object, const PropertyValue& value, std::int32_t element);

// A solid brush of a colour property; the system default colour has none.
class ColourBrush {
 public:
  explicit ColourBrush(std::uint32_t colour = kColourSystemDefault) { Set(colour); }
  void Set(std::uint32_t colour);
  std::uint32_t Value() const { return colour_; }
  bool IsDefault() const { return colour_ == kColourSystemDefault; }
  HBRUSH Get() const { return static_cast<HBRUSH>(brush_.Get()); }

 private:
  std::uint32_t colour_ = kColourSystemDefault;
  GdiObject brush_;
};

// BS_LEFT/BS_CENTER/BS_RIGHT and BS_TOP/BS_VCENTER/BS_BOTTOM of choices 0-2.
DWORD ButtonHorizontalStyle(std::uint32_t choice);
DWORD ButtonVerticalStyle(std::uint32_t choice);
// Replaces the bits of mask in a live window's style and redraws it.
void WindowStyleReplace(HWND window, DWORD mask, DWORD bits);

// The background a transparent control shows: its top-level window's.
HBRUSH WindowBackgroundBrushOf(HWND control);
COLORREF WindowBackgroundColourOf(HWND control);

// A picture for a button: icon-file or bitmap-file data.
struct Picture {
  IconHandle icon;
  GdiObject bitmap;
  bool Empty() const { return !icon && !bitmap; }
};
Picture PictureDecode(std::span<const std::uint8_t> data);
// Applies a picture to a button (style BS_ICON / BS_BITMAP and BM_SETIMAGE).
void ButtonPictureApply(HWND button, const Picture& picture);

// An unsupported version or malformed block: the kind returns nullptr.
template <class Kind, class Properties>
std::unique_ptr<LiveObject> KindCreate(const ControlCreateArgs& args,
                                       std::optional<Properties> (*decode)(std::span<const std::uint8_t>)) {
  std::optional<Properties> properties = decode(args.properties);
  if (!properties) return nullptr;
  auto object = std::make_unique<Kind>(args, std::move(*properties));
  if (!object->Build(args)) return nullptr;
  return object;
}
