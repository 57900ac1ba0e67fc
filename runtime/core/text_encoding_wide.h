// UTF-16 texts as the wide Win32 calls take them.  wchar_t is 16 bits on
// Windows, so a char16_t text is a wchar_t text: these are the one place
// that says so.
#pragma once

#include <string>
#include <string_view>

#include "runtime/core/text_encoding.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16 units");

inline const wchar_t* WideChars(const char16_t* units) { return reinterpret_cast<const wchar_t*>(units); }
inline const char16_t* Utf16Chars(const wchar_t* units) { return reinterpret_cast<const char16_t*>(units); }
inline std::wstring_view WideView(std::u16string_view text) { return {WideChars(text.data()), text.size()}; }
inline std::u16string_view Utf16View(std::wstring_view text) {
  return {Utf16Chars(text.data()), text.size()};
}
inline const wchar_t* WideChars(const Utf16Path& path) { return WideChars(path.Units().c_str()); }

inline std::wstring WideFromAnsi(std::string_view text) {
  return std::wstring(WideView(Utf16FromAnsi(text)));
}
inline std::wstring WideFromUtf8(std::string_view text) {
  return std::wstring(WideView(Utf16FromUtf8(text)));
}
inline std::string AnsiFromWide(std::wstring_view text) { return AnsiFromUtf16(Utf16View(text)); }
inline std::string Utf8FromWide(std::wstring_view text) { return Utf8FromUtf16(Utf16View(text)); }
