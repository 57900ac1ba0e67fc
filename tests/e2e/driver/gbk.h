// The program's texts are GBK (code page 936) whatever the code page of the
// process that drives it; the driver talks to windows in UTF-16 and converts
// at its edge, so tests compare GBK literals byte for byte.
#pragma once

#include <string>
#include <string_view>

namespace e2e {

inline constexpr unsigned kGbkCodePage = 936;

std::wstring WideFromGbk(std::string_view text);
std::string GbkFromWide(std::wstring_view text);

}  // namespace e2e
