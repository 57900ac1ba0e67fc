// Rules of the watch session and the first run that need no system calls.
#pragma once

#include <cstdint>
#include <string_view>

// The save folder conflicts with the watched folder when its text, lower-cased
// (ASCII letters only), begins with the lower-cased watched folder text: a
// byte-wise prefix test, not one on path components.
bool SaveFolderConflicts(std::string_view saveFolder, std::string_view watchedFolder);

// The first-run help may be acknowledged only more than 15000 ms after the
// about window was created.  shownAt is the sign-extended tick count at its
// creation, now the current tick count as a signed 32-bit value; a tick
// counter that passed 2^31 in between makes the difference negative.
constexpr double kMinimumReadingMilliseconds = 15000;
bool ReadingTimeSufficient(std::int64_t shownAt, std::int32_t now);
