#include "app/windows/program_icon.h"

#include <windows.h>

#include "resources/resource_ids.h"

ByteArray ProgramIconFile() {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(IDR_PROGRAM_ICON_FILE), RT_RCDATA);
  if (resource == nullptr) return {};
  HGLOBAL loaded = LoadResource(module, resource);
  const auto* bytes = static_cast<const std::uint8_t*>(loaded ? LockResource(loaded) : nullptr);
  if (bytes == nullptr) return {};
  return ByteArray(bytes, bytes + SizeofResource(module, resource));
}
