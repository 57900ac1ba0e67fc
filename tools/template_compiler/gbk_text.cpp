#include "tools/template_compiler/gbk_text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>

#include <cerrno>
#endif

#ifdef _WIN32

std::optional<std::string> GbkFromUtf8(std::string_view utf8) {
  if (utf8.empty()) return std::string();
  int size = static_cast<int>(utf8.size());
  int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
  if (wideLength <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), wideLength);
  BOOL lossy = FALSE;
  int length = WideCharToMultiByte(936, 0, wide.data(), wideLength, nullptr, 0, nullptr, &lossy);
  if (length <= 0 || lossy) return std::nullopt;
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(936, 0, wide.data(), wideLength, out.data(), length, nullptr, &lossy);
  if (lossy) return std::nullopt;
  return out;
}

#else

std::optional<std::string> GbkFromUtf8(std::string_view utf8) {
  iconv_t converter = iconv_open("CP936", "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(utf8.size() * 2 + 4, '\0');
  char* in = const_cast<char*>(utf8.data());
  std::size_t inLeft = utf8.size();
  char* outPointer = out.data();
  std::size_t outLeft = out.size();
  // GBK never needs more bytes than UTF-8 for the same text, so one call does.
  std::size_t result = iconv(converter, &in, &inLeft, &outPointer, &outLeft);
  iconv_close(converter);
  if (result == static_cast<std::size_t>(-1) || inLeft != 0) return std::nullopt;
  out.resize(out.size() - outLeft);
  return out;
}

#endif
