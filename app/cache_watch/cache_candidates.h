// Which new files of the watch sessions may be media elements of a Chromium
// cache (or, through FirefoxCandidates, of a Firefox cache2), followed until
// each element is known to be media or not.  Pure bookkeeping over
// CacheFolder: the caller's one thread feeds it new files,
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
#include "app/cache_watch/candidate_settings.h"

class FirefoxCandidates;
class StreamTracker;

class CacheCandidates {
 public:
  explicit CacheCandidates(CacheFolderOpener& opener, CacheCandidateLimits limits = {});
  ~CacheCandidates();
  CacheCandidates(const CacheCandidates&) = delete;
  CacheCandidates& operator=(const CacheCandidates&) = delete;

  // A new file named `fileName` (ASCII) appeared in `folder` during `session`.
  void FileAdded(std::uint64_t session, const CacheFolderName& folder, std::string_view fileName,
                 std::uint64_t nowMs);
  // A Chromium cache folder that was there when `session` started (a browser
  // in use): followed as one whose files appeared, its entries new from the
  // first look (block files make no new file for small bodies).
  void FolderKnown(std::uint64_t session, const CacheFolderName& folder);
  // Forgets everything of the session.
  void SessionEnded(std::uint64_t session);
  // Looks at every pending candidate; appends the elements now known to be
  // video or audio (each element once per session, until its entry is
  // replaced) and the streams the playlists and segments kept now make
  // (StreamTracker).
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
  void LookForNews(Folder& folder, CacheFolder& files, std::uint64_t nowMs);
  void FindOwners(Folder& folder, std::uint64_t nowMs);
  void Settle(Folder& folder, const std::string& id, const std::string& anchor);
  void ForgetOldest();
  void CountCandidates();

  CacheFolderOpener& opener_;
  CacheCandidateLimits limits_;
  std::map<std::uint64_t, std::unique_ptr<Session>> sessions_;
  std::size_t candidateCount_ = 0;
  CacheCandidateFigures figures_;
  std::unique_ptr<StreamTracker> streams_;
  std::unique_ptr<FirefoxCandidates> firefox_;
};
