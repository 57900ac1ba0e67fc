// File, folder and environment commands.
#pragma once

#include <string_view>

#include "runtime/core/text.h"

// CopyFileA with fail-if-exists FALSE: an existing destination is replaced.
bool FileCopy(std::string_view source, std::string_view destination);
// CreateDirectoryA: the last component only; false when it exists or cannot be made.
bool FolderCreate(std::string_view path);
// GetCurrentDirectoryA with 260 bytes; empty on failure or when it does not fit.
Text CurrentFolder();
// The variable as the environment held it at process start (names compared
// without regard to case); empty when not set.
Text EnvironmentText(std::string_view name);
