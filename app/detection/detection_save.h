// What the two detection steps (files found by their extension, elements
// found in a browser cache) share: the one lock that keeps their prompts one
// at a time, and writing a new copy into the save folder under a free name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string_view>

#include "app/browser_caches/media_signature.h"
#include "app/detection/detection_paths.h"
#include "app/extensions/extension_catalogue.h"
#include "runtime/core/critical_sections.h"
#include "runtime/core/text.h"

// The detection lock: held from classification to the last message.
CriticalSectionHandle DetectionLockHandle();

WideText AnsiToWide(std::string_view text);

// `ticks` (100 ns since 1601) in `storage`, for a copy's last-write time;
// null when the cache did not say (0).
const FILETIME* FileTimeOf(std::uint64_t ticks, FILETIME& storage);

// The class a cache element's nature asks for: Video or Audio, else None.
ExtensionClass MediaClassOf(MediaNature nature);

// A count as the prompts show it (decimal digits, no separators).
Text DecimalText(std::uint64_t value);

// Calls `write` with "<save folder>\<time><extension>", then "...(2)..." and
// so on while it fails because the name is taken (ERROR_FILE_EXISTS), so
// that no earlier copy is ever replaced.  `write` must make a new file and
// remove it again on any failure.  On success `written` holds the path.
bool SaveToFreeName(const DestinationName& name, const std::function<bool(const wchar_t*)>& write,
                    Text& written);
