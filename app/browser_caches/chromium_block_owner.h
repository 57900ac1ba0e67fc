// Which block-file entry a new external file ("f_xxxxxx") belongs to, found
// by one sequential pass over data_1, where every entry record lives: a few
// large reads whatever the number of entries, where a walk of the index
// reads each entry on its own.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "app/browser_caches/cache_files.h"

// The element a file is part of.  A range child gives its parent's key and
// the signature of its own key ("Range_<parent key>:<signature>:<index>"),
// with which the parent's other children are found while the parent does not
// list them yet; 0 for a file of a whole answer.
struct BlockFileOwner {
  std::string key;
  std::uint64_t rangeSignature = 0;
};

// For each of `fileNames` that an entry record of data_1 names as one of its
// streams, the element it belongs to.  Candidates only: a freed block may
// still hold an old record, so the caller reads the element by its key and
// checks that its pieces lie in the file.  Records with keys stored
// elsewhere (long keys) are not found here.
std::map<std::string, BlockFileOwner> BlockFileOwnersFind(CacheFolder& folder,
                                                          const std::set<std::string>& fileNames);
