// Which new files of the watch sessions may be media elements of a Chromium
// cache, followed until each element is known to be media or not.  Pure
// bookkeeping over CacheFolder: the caller's one thread feeds it new files,
// asks it to look a few times a second while something is pending, and
// hands on what it found.  Nothing here blocks on anything but cache reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/browser_caches/cache_files.h"
#include "app/browser_caches/media_element_ref.h"

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
  // Candidates of all sessions together; the oldest goes first.
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
};

struct CacheCandidateFigures {
  std::uint64_t filesSeen = 0;   // cache-shaped names given to FileAdded
  std::uint64_t looks = 0;       // element reads of candidates
  std::uint64_t ownerScans = 0;  // passes over data_1 for owners of new files
  std::uint64_t fullReads = 0;   // walks of a whole block-file index
  std::uint64_t found = 0;       // media elements handed on
  std::uint64_t forgotten = 0;   // candidates dropped unknown (lifetime, cap)
};

class CacheCandidates {
 public:
  explicit CacheCandidates(CacheFolderOpener& opener, CacheCandidateLimits limits = {});
  ~CacheCandidates();
  CacheCandidates(const CacheCandidates&) = delete;
  CacheCandidates& operator=(const CacheCandidates&) = delete;

  // A new file named `fileName` (ASCII) appeared in `folder` during `session`.
  void FileAdded(std::uint64_t session, const CacheFolderName& folder, std::string_view fileName,
                 std::uint64_t nowMs);
  // Forgets everything of the session.
  void SessionEnded(std::uint64_t session);
  // Looks at every pending candidate; appends the elements now known to be
  // video or audio (each element once per session, until its entry is
  // replaced).
  void Look(std::uint64_t nowMs, std::vector<MediaElementRef>& found);
  // True while something waits for a next look.
  bool Pending() const;

  std::size_t CandidateCount() const { return candidateCount_; }
  std::size_t FolderCount() const;
  const CacheCandidateFigures& Figures() const { return figures_; }

 private:
  struct Folder;
  struct Session;
  Folder* FolderOf(std::uint64_t session, const CacheFolderName& name);
  void CheckIndex(Folder& folder, std::uint64_t nowMs);
  void LookSimple(Folder& folder, std::uint64_t nowMs, std::vector<MediaElementRef>& found);
  void LookBlockFiles(Folder& folder, std::uint64_t nowMs, std::vector<MediaElementRef>& found);
  void FindOwners(Folder& folder, std::uint64_t nowMs);
  void Settle(Folder& folder, const std::string& id, const std::string& anchor);
  void ForgetOldest();
  void CountCandidates();

  CacheFolderOpener& opener_;
  CacheCandidateLimits limits_;
  std::map<std::uint64_t, std::unique_ptr<Session>> sessions_;
  std::size_t candidateCount_ = 0;
  CacheCandidateFigures figures_;
};
