// How a confirmed input text is read into a number variable.
#pragma once

#include <cstdint>
#include <string_view>

// The leading decimal integer: blanks skipped, an optional sign, then digits
// up to the first other character; 0 without digits.  Wraps modulo 2^64.
std::int64_t InputIntegerRead(std::string_view text);
// The leading decimal number: blanks, sign, digits with an optional fraction
// and exponent; 0 when there is none.
double InputNumberRead(std::string_view text);
