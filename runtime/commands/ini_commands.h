// Settings commands over the system's private profile ("ini") files.
#pragma once

#include <optional>
#include <string_view>

#include "runtime/core/text.h"

// The key's value, read into a 10240-byte buffer (longer values come back cut
// to 10239 bytes).  A missing file, section or key gives the default (empty
// when omitted).  An empty file, section or key name gives an empty text
// without touching the file, even when a default is given.
Text IniRead(std::string_view file, std::string_view section, std::string_view key,
             std::optional<std::string_view> defaultText = std::nullopt);

// Writes value under section/key.  An omitted key deletes the whole section;
// an omitted value deletes the key; an empty value is written as empty.
// True when the system reports success.
bool IniWrite(std::string_view file, std::string_view section,
              std::optional<std::string_view> key = std::nullopt,
              std::optional<std::string_view> value = std::nullopt);
