// Reading texts from the registry.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "runtime/core/text.h"

// Root numbers: 1 HKEY_CLASSES_ROOT, 2 HKEY_CURRENT_CONFIG, 3 HKEY_CURRENT_USER,
// 4 HKEY_LOCAL_MACHINE, 5 HKEY_USERS, any other HKEY_CURRENT_USER.
constexpr std::int32_t kRegistryCurrentUser = 3;

// Reads a REG_SZ or REG_EXPAND_SZ value (the latter expanded) named by the
// part of valuePath after its last backslash, from the key named by the part
// before it (the root itself when there is no backslash).  Any failure, or a
// value of another type, gives the default (empty when omitted).
Text RegistryTextRead(std::int32_t rootNumber, std::string_view valuePath,
                      std::optional<std::string_view> defaultText = std::nullopt);
