// The file system for the cache-place search: one listing per folder gives
// both its files and its subfolders; links to elsewhere are never followed.
// Names are UTF-16, so folders the ANSI code page cannot spell are found.
#pragma once

#include "app/browser_caches/folder_tree.h"

class DiskFolderTree : public FolderTree {
 public:
  Listing List(const std::u16string& folder) override;
  bool HasFile(const std::u16string& path) override;
};
