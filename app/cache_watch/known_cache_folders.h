// The Chromium cache folders that are already there when a watch session
// starts (a browser in use): a block-file cache keeps small bodies inside
// its data files and makes no new file for them, so the watch would
// otherwise never learn of such a folder.
#pragma once

#include <string_view>
#include <vector>

#include "app/cache_watch/candidate_settings.h"

// Every Chrome, Edge and Chromium profile's cache folder (as the scan finds
// them) that lies below `watchedFolder` (ANSI text, as the session opened it).
std::vector<CacheFolderName> KnownCacheFoldersBelow(std::string_view watchedFolder);
