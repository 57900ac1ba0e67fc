#include "runtime/windows/driver_box.h"

#include <array>

#include "runtime/core/text_encoding.h"

namespace {

constexpr int kMinimumHeight = 80;  // room for the drop-down part
constexpr DWORD kDriveStringsSize = 260;
constexpr DWORD kVolumeLabelSize = 500;

}  // namespace

bool DriveKindMatches(int filter, UINT driveType) {
  switch (filter) {
    case kDriveKindAll:
      return true;
    case kDriveKindRemovable:
      return driveType == DRIVE_REMOVABLE;
    case kDriveKindFixed:
      return driveType == DRIVE_FIXED;
    case kDriveKindCdRom:
      return driveType == DRIVE_CDROM;
    case kDriveKindRemote:
      return driveType == DRIVE_REMOTE;
    case kDriveKindRamDisk:
      return driveType == DRIVE_RAMDISK;
    default:
      return false;
  }
}

Text DriveItemText(char letter, UINT driveType, std::string_view volumeLabel) {
  Text text(1, letter);
  text += ':';
  switch (driveType) {
    case DRIVE_FIXED:
      text += " （硬盘）";
      break;
    case DRIVE_REMOTE:
      text += " （网络驱动器）";
      break;
    case DRIVE_CDROM:
      text += " （光驱）";
      break;
    case DRIVE_RAMDISK:
      text += " （内存虚拟驱动器）";
      break;
    default:
      break;
  }
  if (driveType == DRIVE_FIXED && !volumeLabel.empty()) {
    text += ' ';
    text += volumeLabel;
  }
  return text;
}

char CurrentDriveLetter() {
  std::array<char, MAX_PATH> folder{};
  const DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(folder.size()), folder.data());
  if (length == 0 || length >= folder.size() || folder[1] != ':') return 0;
  return AsciiUpper(folder[0]);
}

std::unique_ptr<DriverBox> DriverBox::Create(const DriverBoxCreateArgs& args, ControlEventSink sink) {
  const DWORD style =
      WS_CHILD | WS_CLIPSIBLINGS | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_AUTOHSCROLL | args.extraStyle;
  const int height = args.height > kMinimumHeight ? args.height : kMinimumHeight;
  HWND window = CreateWindowExA(0, "COMBOBOX", "", style, args.left, args.top, args.width, height,
                                args.parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(args.controlId)),
                                GetModuleHandleA(nullptr), nullptr);
  if (window == nullptr) return nullptr;
  std::unique_ptr<DriverBox> box(new DriverBox(window, std::move(sink)));
  box->font_.Set(args.font, window);
  box->textColour_ = args.textColour;
  box->BackgroundColourSet(args.backgroundColour);
  box->letter_ = AsciiUpper(args.driveLetter);
  box->filter_ = ChoiceClamp(args.filter);
  box->Fill();
  return box;
}

DriverBox::~DriverBox() {
  if (window_ != nullptr && IsWindow(window_)) DestroyWindow(window_);
}

Text DriverBox::Drive() const {
  const char letter = letter_ != 0 ? letter_ : CurrentDriveLetter();
  return letter != 0 ? Text(1, letter) : Text();
}

void DriverBox::DriveSet(std::string_view text) {
  letter_ = text.empty() ? 0 : AsciiUpper(text.front());
  SelectLetter();
}

void DriverBox::FilterSet(std::int32_t filter) {
  filter_ = ChoiceClamp(filter);
  Fill();
}

void DriverBox::TextColourSet(COLORREF colour) {
  textColour_ = colour;
  InvalidateRect(window_, nullptr, TRUE);
}

void DriverBox::BackgroundColourSet(COLORREF colour) {
  backgroundColour_ = colour;
  backgroundBrush_.Reset(colour == kSystemDefaultColour ? nullptr : CreateSolidBrush(colour));
  InvalidateRect(window_, nullptr, TRUE);
}

void DriverBox::FontSet(const std::optional<LOGFONTA>& font) { font_.Set(font, window_); }

// Lists the drives that pass the filter, then selects the wanted one.
void DriverBox::Fill() {
  SendMessageA(window_, CB_RESETCONTENT, 0, 0);
  std::array<char, kDriveStringsSize + 1> roots{};
  const DWORD length = GetLogicalDriveStringsA(kDriveStringsSize, roots.data());
  if (length > kDriveStringsSize) roots.fill('\0');  // the list did not fit: show none rather than a cut one
  for (const char* root = roots.data(); *root != '\0'; root += lstrlenA(root) + 1) {
    const char letter = AsciiUpper(root[0]);
    const UINT type = GetDriveTypeA(root);
    if (!DriveKindMatches(filter_, type)) continue;
    std::array<char, kVolumeLabelSize> label{};
    if (type == DRIVE_FIXED && !GetVolumeInformationA(root, label.data(), static_cast<DWORD>(label.size()),
                                                      nullptr, nullptr, nullptr, nullptr, 0)) {
      label[0] = '\0';
    }
    const Text text = DriveItemText(letter, type, label.data());
    const LRESULT index = SendMessageA(window_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (index >= 0) SendMessageA(window_, CB_SETITEMDATA, index, static_cast<unsigned char>(letter));
  }
  SelectLetter();
}

// Selects the item of the wanted letter (the current drive's when none is
// stored); when it is not listed nothing is selected and 0 is stored.
void DriverBox::SelectLetter() {
  const char wanted = letter_ != 0 ? letter_ : CurrentDriveLetter();
  const LRESULT count = SendMessageA(window_, CB_GETCOUNT, 0, 0);
  for (LRESULT index = 0; wanted != 0 && index < count; ++index) {
    if (SendMessageA(window_, CB_GETITEMDATA, index, 0) == static_cast<unsigned char>(wanted)) {
      SendMessageA(window_, CB_SETCURSEL, index, 0);
      letter_ = wanted;
      return;
    }
  }
  SendMessageA(window_, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  letter_ = 0;
}

void DriverBox::CommandHandle(WORD notification) {
  if (notification != CBN_SELENDOK) return;
  const LRESULT index = SendMessageA(window_, CB_GETCURSEL, 0, 0);
  letter_ = index == CB_ERR ? 0 : static_cast<char>(SendMessageA(window_, CB_GETITEMDATA, index, 0));
  Raise(0);
}

HBRUSH DriverBox::ColourHandle(HDC dc) {
  if (textColour_ == kSystemDefaultColour && !backgroundBrush_) return nullptr;
  SetTextColor(dc, textColour_ == kSystemDefaultColour ? GetSysColor(COLOR_WINDOWTEXT) : textColour_);
  if (!backgroundBrush_) {
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return GetSysColorBrush(COLOR_WINDOW);
  }
  SetBkColor(dc, backgroundColour_);
  return static_cast<HBRUSH>(backgroundBrush_.Get());
}

void DriverBox::Raise(std::int32_t event) const {
  if (sink_) sink_(event);
}
