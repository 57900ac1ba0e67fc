// The settings file setting.ini in the program's folder: the first-run flag,
// key First of section Setting.  Nothing is cached; every call goes to the file.
#pragma once

#include <string_view>

#include "runtime/core/text.h"

// CurrentFolder() + "\setting.ini", not normalised.
Text SettingsFilePath();
// The text of First, "0" when the file, section or key is missing.
Text FirstRunFlagRead();
// True only for the exact text "0": "00" or an empty value count as acknowledged.
bool FirstRunPending(std::string_view flag);
bool FirstRunPending();
// Writes "1" to First, creating file and section when needed.  False when the
// write failed; the first run then stays pending, which callers accept silently.
bool FirstRunAcknowledgedWrite();
