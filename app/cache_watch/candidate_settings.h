// What the candidate trackers of every store share: how a cache folder is
// named and opened, their bounds and their figures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "app/browser_caches/cache_files.h"

struct CacheFolderName {
  std::u16string exact;  // UTF-16, as the system spells it
  std::string ansi;      // the ANSI code page text the program shows
};

// Opens a folder for the readers (on disk in the program, in memory in tests).
class CacheFolderOpener {
 public:
  virtual std::unique_ptr<CacheFolder> Open(const CacheFolderName& folder) = 0;

 protected:
  ~CacheFolderOpener() = default;
};

struct CacheCandidateLimits {
  // A folder without a Chromium index is checked again at this many looks
  // (a first run may write entries before its index).
  int indexChecks = 25;
  // Files remembered in a folder whose index is still unknown.
  std::size_t filesPerUnknownFolder = 32;
  // A candidate not known to be media or not after this long is forgotten.
  std::uint64_t candidateLifetimeMs = 30000;
  // Candidates of all sessions together (Chromium and Firefox each); the
  // oldest goes first.
  std::size_t maxCandidates = 512;
  // Elements remembered per folder as handed on or settled.
  std::size_t settledPerFolder = 4096;
  // Folders remembered per session.
  std::size_t foldersPerSession = 2048;
  // Keys longer than this are not followed (the browser caps keys far lower
  // for anything it would play).
  std::size_t maxKeyLength = 8192;
  // Searches of a block-file folder for the owner of a new "f_" file (a pass
  // over data_1; the last one a walk of the whole index): the first at the
  // next look, then after growing waits, at most this many.
  std::uint64_t fullReadBackoffMs = 200;
  int maxFullReads = 6;
  // A block-file folder known as a cache is looked at for new entries (its
  // index header read, and the rankings walked only when it changed): at
  // every look while it changed within `newsActiveMs`, else every
  // `newsIdleMs`; at most `newsPerLook` new entries are taken at once.
  std::uint64_t newsActiveMs = 10000;
  std::uint64_t newsIdleMs = 1000;
  std::size_t newsPerLook = 4096;
};

struct CacheCandidateFigures {
  std::uint64_t filesSeen = 0;   // cache-shaped names given to FileAdded
  std::uint64_t looks = 0;       // element reads of candidates
  std::uint64_t ownerScans = 0;  // passes over data_1 for owners of new files
  std::uint64_t fullReads = 0;   // walks of a whole block-file index
  std::uint64_t newsLooks = 0;   // reads of a block-file index header for new entries
  std::uint64_t newsWalks = 0;   // of them, walks of the rankings after a change
  std::uint64_t newEntries = 0;  // entries those walks found
  std::uint64_t found = 0;       // media elements handed on
  std::uint64_t forgotten = 0;   // candidates dropped unknown (lifetime, cap)
};
