// InputBoxShow: a small modal dialog that asks the user for one line of text
// and stores it into the caller's variable.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <variant>

#include "runtime/core/text.h"

// Input modes: what the edit field lets the user type (control keys always pass).
constexpr std::int32_t kInputAnyText = 1;
constexpr std::int32_t kInputInteger = 2;  // digits and "-"
constexpr std::int32_t kInputDecimal = 3;  // digits, "-" and "."
constexpr std::int32_t kInputMasked = 4;   // any text, shown as a password

// The variable that receives the confirmed text, by its type: a text gets a
// copy; byte, short and integer get the leading decimal integer (truncated to
// their width); a long integer gets it in 64 bits; float and double get the
// leading decimal number.  A null pointer stores nothing.
using InputVariable =
    std::variant<Text*, std::uint8_t*, std::int16_t*, std::int32_t*, std::int64_t*, float*, double*>;

// Shows the dialog on the calling thread (the window thread) until the user
// answers.  An empty or omitted prompt gives the compact layout; an empty or
// omitted caption keeps "请输入："; the mode is clamped to 1..4 (1 when
// omitted).  True, with the variable set, when the user confirmed; false,
// with the variable untouched, on cancel, Escape or close.
bool InputBoxShow(std::optional<std::string_view> prompt, std::optional<std::string_view> caption,
                  std::optional<std::string_view> initialText, InputVariable variable,
                  std::optional<std::int32_t> mode = std::nullopt);
