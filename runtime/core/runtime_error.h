// Run-time errors: the only fatal path.  One message box captioned "错误",
// then the process ends with exit code -1.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/core/text.h"

enum RuntimeErrorCode : std::int32_t {
  kErrorNone = 0,
  kErrorIndexOutOfRange = 1,
  kErrorNumberExpected = 2,
  kErrorDimensionMismatch = 3,
  kErrorIndexBelowOne = 4,
  kErrorTypeMismatch = 5,
  kErrorStackImbalance = 6,
  kErrorNoReturnValue = 7,
  kErrorCompareOnlyEqual = 8,
  kErrorChoiceIndex = 9,
  kErrorRedimension = 10,
  kErrorArgumentType = 11,
};

// The fixed text of a code, empty for an unknown code.
std::string_view RuntimeErrorCodeText(std::int32_t code);
// The whole message shown for an error (heading, code part, text part).
Text RuntimeErrorMessage(std::string_view text, std::int32_t code);
// Shows the message on the calling thread and ends the program with -1.
[[noreturn]] void RuntimeErrorRaise(std::string_view text = {}, std::int32_t code = kErrorNone);
