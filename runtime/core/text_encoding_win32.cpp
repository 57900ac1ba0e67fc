// The ANSI code page through the system's own tables: the program runs in
// whatever code page Windows gives it (936 on the systems it is made for).
#include <windows.h>

#include "runtime/core/text_encoding.h"

std::u16string Utf16FromAnsi(std::string_view text) {
  if (text.empty()) return {};
  const int count = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), count, nullptr, 0);
  if (length <= 0) return {};
  std::u16string units(static_cast<std::size_t>(length), u'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), count, reinterpret_cast<wchar_t*>(units.data()), length);
  return units;
}

std::string AnsiFromUtf16(std::u16string_view text) {
  if (text.empty()) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int count = static_cast<int>(text.size());
  const int length = WideCharToMultiByte(CP_ACP, 0, wide, count, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string bytes(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, count, bytes.data(), length, nullptr, nullptr);
  return bytes;
}
