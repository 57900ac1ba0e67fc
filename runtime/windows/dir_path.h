// Folder paths as the directory box shows them: a chain of names split at
// backslashes, never inside a double-byte character (a GBK trail byte may
// be 0x5C, the backslash).
#pragma once

#include <span>
#include <string_view>

#include "runtime/core/text.h"

// The names between backslashes, empty pieces skipped: "C:\Windows\" gives
// "C:" and "Windows".
TextArray DirPathSplit(std::string_view path);
// True when the last character (not merely the last byte) is a backslash.
bool DirPathEndsWithSeparator(std::string_view path);
// The FindFirstFile pattern for the entries of a folder: folder + "\*.*",
// without doubling a trailing backslash.
Text DirPathSearchPattern(std::string_view folder);
// The names joined by backslashes; a single name ("C:") stays as it is.
Text DirPathJoin(std::span<const Text> names);
