// SHA-256 of bytes, to compare what a test finds with what was served.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace e2e {

// Lower-case hex digest; nothing when the system's hash provider fails.
std::optional<std::string> Sha256Hex(std::string_view bytes);

}  // namespace e2e
