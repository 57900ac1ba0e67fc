// The file system as the cache-place search sees it: DiskFolderTree on
// Windows, a map in the tests.  The search may list from several threads
// at once.
#pragma once

#include <string>
#include <vector>

class FolderTree {
 public:
  struct Listing {
    std::vector<std::u16string> folders;  // links to elsewhere left out
    std::vector<std::u16string> files;
  };
  virtual ~FolderTree() = default;
  virtual Listing List(const std::u16string& folder) = 0;
  virtual bool HasFile(const std::u16string& path) = 0;
};
