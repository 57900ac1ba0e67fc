#include "app/detection/detection_save.h"

#include <windows.h>

#include <mutex>

#include "app/detection/free_name.h"
#include "app/program_state/shared_values.h"
#include "runtime/core/text_encoding_wide.h"

namespace {

CriticalSectionHandle DetectionLock = 0;
std::once_flag detectionLockOnce;

}  // namespace

// Callers on several threads may arrive together at the very first element:
// exactly one of them creates the lock.
CriticalSectionHandle DetectionLockHandle() {
  std::call_once(detectionLockOnce, [] { DetectionLock = CriticalSectionCreate(); });
  return DetectionLock;
}

ExtensionClass MediaClassOf(MediaNature nature) {
  if (nature == MediaNature::Video) return ExtensionClass::Video;
  if (nature == MediaNature::Audio) return ExtensionClass::Audio;
  return ExtensionClass::None;
}

const FILETIME* FileTimeOf(std::uint64_t ticks, FILETIME& storage) {
  if (ticks == 0) return nullptr;
  storage.dwLowDateTime = static_cast<DWORD>(ticks);
  storage.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return &storage;
}

Text DecimalText(std::uint64_t value) {
  char digits[24];
  int length = 0;
  do {
    digits[length++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  Text text;
  while (length > 0) text.push_back(digits[--length]);
  return text;
}

WideText AnsiToWide(std::string_view text) {
  const std::wstring wide = WideFromAnsi(text);
  return WideText(wide.begin(), wide.end());
}

bool SaveToFreeName(const DestinationName& name, const std::function<bool(const wchar_t*)>& write,
                    Text& written) {
  const Text saveFolder = *SaveFolder.Snapshot();
  const auto attempt = [&](int number) {
    Text destination = DestinationPath(saveFolder, name, number);
    const WideText wideDestination = AnsiToWide(destination);
    if (wideDestination.empty()) return FreeNameTry::Failed;
    if (write(wideDestination.c_str())) {
      written = std::move(destination);
      return FreeNameTry::Written;
    }
    // A failed write removed what it wrote, so the retry takes the same name.
    const DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? FreeNameTry::Taken : FreeNameTry::Failed;
  };
  return FreeNameTake(1, attempt).has_value();
}
