// Deleting the contents of a folder tree, for BrowserDataClear.  Neither walk
// enters a link (reparse point) and neither touches a drive root or the
// user's profile folder (or a folder holding it): a wrong folder from the
// system must not cost the user files outside the folder meant.
#pragma once

#include <string_view>

// True when the folder may be emptied at all.
bool FolderEmptyingAllowed(std::string_view folder);

// Deletes every file below the folder, depth first; folders stay.  Files
// that cannot be deleted (read-only, in use) stay too.
void FolderFilesDelete(std::string_view folder);

// Deletes everything inside the folder: read-only attributes are cleared,
// subfolders emptied and removed.  False when the folder cannot be searched
// (or may not be emptied), true otherwise.
bool FolderContentsDelete(std::string_view folder);
