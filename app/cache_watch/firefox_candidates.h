// The new entry files of Firefox `cache2/entries` folders, followed until
// each is known to be media or not.  While the browser writes an entry the
// file is its raw body alone, so an entry is judged by its first bytes as
// soon as they are there (firefox-esr writes whole 256 KiB chunks, the last
// at close); its web address and type come with the metadata, which the
// detection step reads again before it prompts.  Owned by CacheCandidates,
// on its one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/browser_caches/media_element_ref.h"
#include "app/cache_watch/candidate_settings.h"

class StreamTracker;

class FirefoxCandidates {
 public:
  // Playlists and segments go to `streams`.
  FirefoxCandidates(CacheFolderOpener& opener, const CacheCandidateLimits& limits,
                    CacheCandidateFigures& figures, StreamTracker& streams);
  ~FirefoxCandidates();
  FirefoxCandidates(const FirefoxCandidates&) = delete;
  FirefoxCandidates& operator=(const FirefoxCandidates&) = delete;

  // A new file with an entry's name; ignored unless its folder is an
  // entries folder (`doomed` and `trash*` hold what the browser dropped).
  void FileAdded(std::uint64_t session, const CacheFolderName& folder, std::string_view fileName,
                 std::uint64_t nowMs);
  void SessionEnded(std::uint64_t session);
  void Look(std::uint64_t nowMs, std::vector<MediaElementRef>& found);

  std::size_t CandidateCount() const;
  std::size_t FolderCount() const;

 private:
  struct Folder;
  void LookFolder(Folder& folder, std::uint64_t nowMs, std::vector<MediaElementRef>& found);
  void ForgetOldest();

  CacheFolderOpener& opener_;
  const CacheCandidateLimits& limits_;
  CacheCandidateFigures& figures_;
  StreamTracker& streams_;
  // By session, then by the folder's exact path.
  std::map<std::uint64_t, std::map<std::u16string, std::unique_ptr<Folder>>> sessions_;
};
