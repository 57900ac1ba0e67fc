// Texts and arrays as the runtime hands them out: zero-terminated byte
// strings in the ANSI code page (GBK), owned by their holder and allocated
// through the runtime allocator.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/core/allocator.h"

using Text = std::basic_string<char, std::char_traits<char>, RuntimeAllocator<char>>;
using WideText = std::basic_string<wchar_t, std::char_traits<wchar_t>, RuntimeAllocator<wchar_t>>;
using TextArray = std::vector<Text, RuntimeAllocator<Text>>;
using ByteArray = std::vector<std::uint8_t, RuntimeAllocator<std::uint8_t>>;

inline Text MakeText(std::string_view view) { return Text(view.data(), view.size()); }
