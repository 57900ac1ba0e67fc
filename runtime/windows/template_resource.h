// The window template block embedded in the executable.
#pragma once

#include <cstdint>
#include <span>

// The block of the module's resources (read-only, valid for the life of the
// process); empty when the resource is missing.
std::span<const std::uint8_t> TemplateBlockFromResource();
