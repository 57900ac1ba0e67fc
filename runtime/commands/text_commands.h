// Text commands: measuring, cutting, case folding, splitting.  Lengths and
// positions count bytes; a byte of 0x80 or above starts a two-byte character.
// A text ends at its first zero byte.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "runtime/core/text.h"

std::int32_t TextLength(std::string_view text);
Text TextLeft(std::string_view text, std::int32_t count);
Text TextRight(std::string_view text, std::int32_t count);
Text TextToLower(std::string_view text);
// delimiter: "," when omitted; limit: unlimited when omitted, negative = 0.
TextArray TextSplit(std::string_view text, std::optional<std::string_view> delimiter = std::nullopt,
                    std::optional<std::int32_t> limit = std::nullopt);
Text SpaceText(std::int32_t count);
