// Which block-file entry a new external file ("f_xxxxxx") belongs to, found
// by one sequential pass over data_1, where every entry record lives: a few
// large reads whatever the number of entries, where a walk of the index
// reads each entry on its own.
#pragma once

#include <map>
#include <set>
#include <string>

#include "app/browser_caches/cache_files.h"

// For each of `fileNames` that an entry record of data_1 names as one of its
// streams, the key of that entry; a range child is given by its parent's
// key (the element it is part of).  Candidates only: a freed block may
// still hold an old record, so the caller reads the element by its key and
// checks that its pieces lie in the file.  Records with keys stored
// elsewhere (long keys) are not found here.
std::map<std::string, std::string> BlockFileOwnersFind(CacheFolder& folder,
                                                       const std::set<std::string>& fileNames);
