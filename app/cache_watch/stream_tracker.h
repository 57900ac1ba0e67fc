// The streams of the watch: the playlists and segments the candidate
// trackers found in a cache folder are kept here as the folder's parts
// instead of being dropped; when the parts change, the streams among them
// are found (CacheStreamsFind over the parts only, never the whole folder)
// and each is handed on once per session as a stream reference.
//
// A playlist's stream goes on as soon as one of its media segments is
// there.  A group of segments that no playlist names goes on once its
// segments have stopped coming for a while (its playlist, if any, would
// have come meanwhile).  Parts the browser is still writing are read
// again at each find until they are finished.  A block-file cache keeps
// small bodies (playlists, init segments) inside its data files, where the
// watch sees no new file: while a folder shows a group, its index is walked
// for them a bounded number of times.  Pure bookkeeping over
// CacheFolder, on the looker's one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/browser_caches/cache_element.h"
#include "app/browser_caches/media_element_ref.h"
#include "app/browser_caches/media_signature.h"
#include "app/cache_watch/candidate_settings.h"
#include "app/streams/cache_streams.h"

struct StreamTrackerLimits {
  std::size_t partsPerFolder = 4096;     // the oldest part goes first
  std::size_t foldersPerSession = 64;    // further folders' parts are not kept
  std::size_t handedPerSession = 16384;  // stream keys remembered as handed on
  std::uint64_t groupQuietMs = 2000;     // a group waits this long after its last change
  std::uint64_t findIntervalMs = 500;    // finds of one folder at most this often
  // An unfinished part unchanged this long is no longer read again.
  std::uint64_t unfinishedLifetimeMs = 60000;
};

struct StreamTrackerFigures {
  std::uint64_t partsKept = 0;
  std::uint64_t partsDropped = 0;  // over the cap, or gone from the cache
  std::uint64_t finds = 0;         // CacheStreamsFind runs
  std::uint64_t inlineWalks = 0;   // block-file index walks for parts without files of their own
  std::uint64_t handedOn = 0;      // streams handed on
};

// A playlist or a segment, as the candidate trackers settle elements.
bool StreamPartIs(const MediaSignature& signature, const CacheElement& element);

class StreamTracker {
 public:
  explicit StreamTracker(CacheFolderOpener& opener, StreamTrackerLimits limits = {});
  ~StreamTracker();
  StreamTracker(const StreamTracker&) = delete;
  StreamTracker& operator=(const StreamTracker&) = delete;

  // An element of `folder` found to be a stream part (StreamPartIs).  The
  // same entry again (grown, or made anew) replaces what was kept.
  void PartFound(std::uint64_t session, const CacheFolderName& folder, const StreamPartRef& part,
                 const CacheElement& element, const MediaSignature& signature, std::uint64_t nowMs);
  void SessionEnded(std::uint64_t session);
  // Finds the streams of the folders whose parts changed (or wait); appends
  // the streams not handed on before in their session.
  void Look(std::uint64_t nowMs, std::vector<MediaElementRef>& found);
  // True while a folder waits for a next find.
  bool Pending() const;

  std::size_t PartCount() const;
  const StreamTrackerFigures& Figures() const { return figures_; }

 private:
  struct Part;
  struct Folder;
  struct Session;
  void LookFolder(Session& session, Folder& folder, std::uint64_t nowMs, std::vector<MediaElementRef>& found);
  void Keep(Folder& folder, const StreamPartRef& ref, const CacheElement& element,
            const MediaSignature& signature, std::uint64_t nowMs);
  CacheStreams Find(Folder& folder, CacheFolder& open);
  // Block files: adds the complete stream parts kept inside the data files;
  // true when it found any.
  bool WalkInline(Folder& folder, CacheFolder& open, std::uint64_t nowMs);
  bool Handed(Session& session, const std::string& key);

  CacheFolderOpener& opener_;
  StreamTrackerLimits limits_;
  std::map<std::uint64_t, std::unique_ptr<Session>> sessions_;
  StreamTrackerFigures figures_;
};
