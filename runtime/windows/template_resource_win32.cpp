#include <windows.h>

#include "resources/resource_ids.h"
#include "runtime/windows/template_resource.h"

std::span<const std::uint8_t> TemplateBlockFromResource() {
  // Resources of the executable are mapped with the image: no release needed.
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(IDR_WINDOW_TEMPLATES), RT_RCDATA);
  if (info == nullptr) return {};
  HGLOBAL loaded = LoadResource(module, info);
  if (loaded == nullptr) return {};
  const void* data = LockResource(loaded);
  DWORD size = SizeofResource(module, info);
  if (data == nullptr || size == 0) return {};
  return {static_cast<const std::uint8_t*>(data), size};
}
