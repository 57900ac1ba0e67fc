#include "runtime/windows/folder_control_kinds.h"

#include "runtime/windows/control_kind.h"
#include "runtime/windows/dir_box.h"
#include "runtime/windows/driver_box.h"
#include "runtime/windows/property_numbers.h"
#include "runtime/windows/type_properties.h"

namespace {

COLORREF ColourOf(const PropertyValue& value) {
  if (const auto* colour = std::get_if<Colour>(&value)) return colour->rgb;
  return static_cast<COLORREF>(PropertyValueInteger(value));
}

PropertyValue FontValue(const std::optional<LOGFONTA>& font) {
  if (!font) return std::monostate{};
  return *font;
}

// A whole font record, or for a part (element 0..6) the current font with
// that part changed.
std::optional<LOGFONTA> FontWith(std::optional<LOGFONTA> current, const PropertyValue& value,
                                 std::int32_t element) {
  if (const auto* font = std::get_if<LOGFONTA>(&value)) return *font;
  if (element < 0) return std::nullopt;
  LOGFONTA font{};
  if (current) {
    font = *current;
  } else {
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
  }
  const std::int32_t number = PropertyValueInteger(value);
  switch (element) {
    case kFontAngle:
      font.lfEscapement = font.lfOrientation = number % 3600;
      break;
    case kFontBold:
      font.lfWeight = PropertyValueLogical(value) ? FW_BOLD : FW_NORMAL;
      break;
    case kFontItalic:
      font.lfItalic = PropertyValueLogical(value);
      break;
    case kFontUnderline:
      font.lfUnderline = PropertyValueLogical(value);
      break;
    case kFontStrikeOut:
      font.lfStrikeOut = PropertyValueLogical(value);
      break;
    case kFontSize:
      font.lfHeight = -number;
      break;
    case kFontFaceName: {
      Text face = PropertyValueText(value);
      if (face.empty() || face.size() > 31) face = MakeText("宋体");
      lstrcpynA(font.lfFaceName, face.c_str(), LF_FACESIZE);
      break;
    }
    default:
      return current;
  }
  return font;
}

class DriverBoxObject final : public LiveObject {
 public:
  using LiveObject::LiveObject;
  ~DriverBoxObject() override {
    // The engine forgets the handle when the window is destroyed with its
    // parent; the box must not destroy a handle that may have been reused.
    if (box_ && Handle() == nullptr) box_->WindowForget();
  }

  bool Build(const ControlCreateArgs& args, const DriverBoxProperties& stored) {
    DriverBoxCreateArgs create;
    create.parent = args.parent;
    create.controlId = args.controlId;
    create.left = args.left;
    create.top = args.top;
    create.width = args.width;
    create.height = args.height;
    create.extraStyle = args.style;
    create.driveLetter = static_cast<char>(stored.driveLetter);
    create.filter = static_cast<std::int32_t>(stored.driveKindFilter);
    create.textColour = stored.textColour;
    create.backgroundColour = stored.backgroundColour;
    create.font = LogFontOf(stored.font);
    box_ = DriverBox::Create(create, [this](std::int32_t event) { Raise(event); });
    if (!box_) return false;
    Attach(box_->Window());
    return true;
  }

  PropertyValue PropertyGet(std::int32_t index, std::int32_t) override {
    switch (index) {
      case DriverBoxProperty::kDriveLetter:
        return box_->Drive();
      case DriverBoxProperty::kDriveKindFilter:
        return static_cast<std::int32_t>(box_->Filter());
      case DriverBoxProperty::kTextColour:
        return Colour{box_->TextColour()};
      case DriverBoxProperty::kBackgroundColour:
        return Colour{box_->BackgroundColour()};
      case DriverBoxProperty::kFont:
        return FontValue(box_->Font());
      default:
        return std::monostate{};
    }
  }

  void PropertySet(std::int32_t index, const PropertyValue& value, std::int32_t element) override {
    switch (index) {
      case DriverBoxProperty::kDriveLetter:
        box_->DriveSet(PropertyValueText(value));
        break;
      case DriverBoxProperty::kDriveKindFilter:
        box_->FilterSet(PropertyValueInteger(value));
        break;
      case DriverBoxProperty::kTextColour:
        box_->TextColourSet(ColourOf(value));
        break;
      case DriverBoxProperty::kBackgroundColour:
        box_->BackgroundColourSet(ColourOf(value));
        break;
      case DriverBoxProperty::kFont:
        box_->FontSet(FontWith(box_->Font(), value, element));
        break;
      default:
        break;
    }
  }

  std::optional<LRESULT> Reflected(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_COMMAND) {
      box_->CommandHandle(HIWORD(wParam));
      return 0;
    }
    if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {
      if (HBRUSH brush = box_->ColourHandle(reinterpret_cast<HDC>(wParam)))
        return reinterpret_cast<LRESULT>(brush);
    }
    (void)lParam;
    return std::nullopt;
  }

  // With the list dropped down, Enter and Esc close the list (Enter
  // confirming the highlighted drive) instead of acting on the window.
  bool AcceptsKey(UINT virtualKey) const override {
    if (virtualKey != VK_RETURN && virtualKey != VK_ESCAPE) return false;
    return SendMessageA(box_->Window(), CB_GETDROPPEDSTATE, 0, 0) != 0;
  }

 private:
  std::unique_ptr<DriverBox> box_;
};

class DirBoxObject final : public LiveObject {
 public:
  using LiveObject::LiveObject;
  ~DirBoxObject() override {
    if (box_ && Handle() == nullptr) box_->WindowForget();
  }

  bool Build(const ControlCreateArgs& args, const DirBoxProperties& stored) {
    DirBoxCreateArgs create;
    create.parent = args.parent;
    create.controlId = args.controlId;
    create.left = args.left;
    create.top = args.top;
    create.width = args.width;
    create.height = args.height;
    create.extraStyle = args.style;
    create.borderStyle = static_cast<std::int32_t>(stored.borderStyle);
    create.backgroundColour = stored.backgroundColour;
    create.font = LogFontOf(stored.font);
    create.ownSubclass = false;  // the engine's subclass forwards to OwnMessage
    box_ = DirBox::Create(create, [this](std::int32_t event) { Raise(event); });
    if (!box_) return false;
    Attach(box_->Window());
    return true;
  }

  PropertyValue PropertyGet(std::int32_t index, std::int32_t) override {
    switch (index) {
      case DirBoxProperty::kCurrentFolder:
        return box_->Directory();
      case DirBoxProperty::kBorderStyle:
        return static_cast<std::int32_t>(box_->BorderStyle());
      case DirBoxProperty::kBackgroundColour:
        return Colour{box_->BackgroundColour()};
      case DirBoxProperty::kFont:
        return FontValue(box_->Font());
      default:
        return std::monostate{};
    }
  }

  void PropertySet(std::int32_t index, const PropertyValue& value, std::int32_t element) override {
    switch (index) {
      case DirBoxProperty::kCurrentFolder:
        box_->DirectorySet(PropertyValueText(value));
        break;
      case DirBoxProperty::kBorderStyle:
        box_->BorderStyleSet(PropertyValueInteger(value));
        break;
      case DirBoxProperty::kBackgroundColour:
        box_->BackgroundColourSet(ColourOf(value));
        break;
      case DirBoxProperty::kFont:
        box_->FontSet(FontWith(box_->Font(), value, element));
        break;
      default:
        break;
    }
  }

  std::optional<LRESULT> Reflected(UINT message, WPARAM, LPARAM lParam) override {
    if (message != WM_NOTIFY) return std::nullopt;
    return box_->NotifyHandle(*reinterpret_cast<const NMHDR*>(lParam));
  }

  std::optional<LRESULT> OwnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    return box_->MessageHandle(message, wParam, lParam);
  }

 private:
  std::unique_ptr<DirBox> box_;
};

std::unique_ptr<LiveObject> DriverBoxCreate(const ControlCreateArgs& args) {
  const auto stored = DriverBoxPropertiesDecode(args.properties);
  if (!stored) return nullptr;
  auto object = std::make_unique<DriverBoxObject>(args.window, args.unit);
  if (!object->Build(args, *stored)) return nullptr;
  return object;
}

std::unique_ptr<LiveObject> DirBoxCreate(const ControlCreateArgs& args) {
  const auto stored = DirBoxPropertiesDecode(args.properties);
  if (!stored) return nullptr;
  auto object = std::make_unique<DirBoxObject>(args.window, args.unit);
  if (!object->Build(args, *stored)) return nullptr;
  return object;
}

}  // namespace

void FolderControlKindsRegister() {
  ControlKindRegister({kTypeDriverBox, DriverBoxCreate});
  ControlKindRegister({kTypeDirBox, DirBoxCreate});
}
