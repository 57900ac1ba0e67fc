// MessageBoxShow: a message box without owner, task-modal unless the style
// asks for system-modal.  Returns the pressed button as a result number
// (OK 0, Cancel 1, Abort 2, Retry 3, Ignore 4, Yes 5, No 6, Try Again 10,
// Continue 11; anything else 0).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "runtime/commands/value_commands.h"

constexpr std::int32_t kMessageBoxOk = 0;
constexpr std::int32_t kMessageBoxCancel = 1;
// The buttons of MB_CANCELTRYCONTINUE beside Cancel.
constexpr std::int32_t kMessageBoxTryAgain = 10;
constexpr std::int32_t kMessageBoxContinue = 11;

// The content may be any basic value; a text is shown unchanged.  The
// caption is "信息：" when omitted.
std::int32_t MessageBoxShow(const Value& content, std::int32_t style,
                            std::optional<std::string_view> caption = std::nullopt);
std::int32_t MessageBoxShow(std::string_view content, std::int32_t style,
                            std::optional<std::string_view> caption = std::nullopt);
// A literal or a Text converts to both forms above; these pick the text form.
inline std::int32_t MessageBoxShow(const char* content, std::int32_t style,
                                   std::optional<std::string_view> caption = std::nullopt) {
  return MessageBoxShow(std::string_view(content), style, caption);
}
inline std::int32_t MessageBoxShow(const Text& content, std::int32_t style,
                                   std::optional<std::string_view> caption = std::nullopt) {
  return MessageBoxShow(std::string_view(content), style, caption);
}
