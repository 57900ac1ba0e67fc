// Emptying the browser's cache, its cookies, the temp folder or the recycle bin.
#pragma once

#include <cstdint>
#include <optional>

// Clear kinds; any other number counts as the temp folder.
constexpr std::int32_t kClearTempFolder = 0;
constexpr std::int32_t kClearBrowserCache = 1;  // non-cookie URL cache entries, then the cache folder's files
constexpr std::int32_t kClearRecycleBin = 2;
constexpr std::int32_t kClearCookies = 3;  // cookie URL cache entries, then the cookies folder's files

// Single deletions that fail are skipped.  Folder walks never follow links
// (reparse points) and refuse a drive root and the user's profile folder or
// any folder that holds it.  Result: kinds 1 and 3, true when the URL cache
// had an entry to walk; kind 0, true when the temp folder could be searched;
// kind 2, true when the system emptied the recycle bin.
bool BrowserDataClear(std::optional<std::int32_t> kind = std::nullopt);
