// The notification-area icon of a window: decoded from icon-file data, then
// added, modified or deleted as one icon (id 100) per window.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstring>

#include "runtime/commands/icon_file.h"
#include "runtime/commands/window_commands.h"
#include "runtime/core/handles.h"
#include "runtime/windows/engine.h"
#include "runtime/windows/icon_resource.h"

namespace {

ByteArray FileBytes(const Text& path) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return {};
  LARGE_INTEGER size{};
  // Icon files are small; anything huge is not one.
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart <= 0 || size.QuadPart > (16 << 20)) return {};
  ByteArray bytes(static_cast<std::size_t>(size.QuadPart));
  DWORD read = 0;
  if (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) return {};
  bytes.resize(read);
  return bytes;
}

ByteArray IconData(const IconSource& source) {
  if (const auto* bytes = std::get_if<ByteArray>(&source)) return *bytes;
  if (const auto* path = std::get_if<Text>(&source); path && !path->empty()) return FileBytes(*path);
  return {};
}

IconHandle IconDecode(std::span<const std::uint8_t> data, std::uint8_t preferredWidth) {
  const std::optional<IconImage> image = IconImageChoose(data, preferredWidth);
  if (!image) return IconHandle();
  // The system functions take a non-const buffer; give them a copy.
  ByteArray bits(image->bytes.begin(), image->bytes.end());
  IconHandle icon(CreateIconFromResourceEx(bits.data(), static_cast<DWORD>(bits.size()), TRUE,
                                           kIconResourceVersion, image->width, image->height, 0));
  if (!icon && image->bitCount != 16) {
    icon.Reset(
        CreateIconFromResource(bits.data(), static_cast<DWORD>(bits.size()), TRUE, kIconResourceVersion));
  }
  return icon;
}

}  // namespace

void TrayIconSet(WindowId window, const IconSource& iconSource, std::string_view tip) {
  HWND handle = LoadedWindowHandle(window);
  const ByteArray data = IconData(iconSource);
  IconHandle icon;
  if (!data.empty()) {
    icon = IconDecode(data, 16);
    if (!icon) icon = IconDecode(data, 32);
  }

  NOTIFYICONDATAA record{};
  record.cbSize = NOTIFYICONDATAA_V1_SIZE;
  record.hWnd = handle;
  record.uID = kTrayIconId;
  record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  record.uCallbackMessage = kTrayCallbackMessage;
  record.hIcon = icon.Get();
  std::memcpy(record.szTip, tip.data(), TrayTipLength(tip));

  TrayIconSlot& slot = WindowTrayIconSlot(window);
  if (slot.added) {
    if (icon) {
      Shell_NotifyIconA(NIM_MODIFY, &record);
    } else {
      Shell_NotifyIconA(NIM_DELETE, &record);
      slot.added = false;
    }
  } else if (icon) {
    slot.added = Shell_NotifyIconA(NIM_ADD, &record) != FALSE;
  }
  // The icon shown before goes only now that the notification area no longer uses it.
  slot.icon = std::move(icon);
}
