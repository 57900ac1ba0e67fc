// Media elements of Chromium and Firefox caches found as the browser writes them: a
// watch sink that takes the new files of cache folders (never blocking the
// watcher's hand-off thread) and a thread of its own that follows them
// until each element is known to be video or audio or not; each media
// element then goes, once, to the receiver the program gives it.
//
// Threads: the hand-off thread only files cache-shaped names into a queue.
// The looker thread owns all candidates (CacheCandidates); it wakes when
// names arrive and, while anything is pending, every kCacheLookIntervalMs,
// reads the pending entries of each cache folder, and queues what it found.
// The delivery thread gives found elements to the receiver one at a time;
// the receiver may hold it (a prompt), never the looker.  Stop ends both.
#pragma once

#include <windows.h>

// <condition_variable> brings the durations; <chrono> itself does not
// build with a GBK execution character set (its "\u00b5s").
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "app/browser_caches/media_element_ref.h"
#include "app/cache_watch/cache_candidates.h"
#include "app/watch/watch.h"
#include "runtime/core/handles.h"

// What receives each media element found; called on the delivery thread.
class MediaElementReceiver {
 public:
  virtual void MediaElementFound(const MediaElementRef& element) = 0;

 protected:
  ~MediaElementReceiver() = default;
};

constexpr DWORD kCacheLookIntervalMs = 200;

struct CacheWatchFigures {
  CacheCandidateFigures candidates;
  std::size_t candidatesPending = 0;
  bool lookPending = false;  // candidates or folders wait for a next look
  std::size_t foldersKnown = 0;
  std::uint64_t eventsDropped = 0;   // names refused because the queue was full
  std::uint64_t lookerCpu100ns = 0;  // user + kernel time of the looker thread
  std::uint64_t deliveries = 0;      // elements the receiver has taken (its call returned)
};

class CacheElementRecognizer final : public WatchSink {
 public:
  explicit CacheElementRecognizer(MediaElementReceiver& receiver, CacheCandidateLimits limits = {},
                                  DWORD lookIntervalMs = kCacheLookIntervalMs);
  ~CacheElementRecognizer();
  CacheElementRecognizer(const CacheElementRecognizer&) = delete;
  CacheElementRecognizer& operator=(const CacheElementRecognizer&) = delete;

  void SessionStarted(const WatchSessionInfo& session) override;
  void NewFile(const NewFileEvent& file) override;
  void SessionEnded(WatchSessionId session) override;

  // Ends the looker (waits for it) and the delivery thread (waits a little:
  // one held by a prompt is left to the end of the process; the copy it may
  // make is cancelled with the others).  Nothing is delivered afterwards.
  void Stop();
  CacheWatchFigures Figures();

 private:
  struct Event {
    bool started = false;  // SessionStarted (the folder: the watched one) rather than a new file
    bool ended = false;    // SessionEnded rather than a new file
    WatchSessionId session = 0;
    CacheFolderName folder;
    std::string fileName;
  };
  static DWORD WINAPI LookerThread(LPVOID self);
  static DWORD WINAPI DeliveryThread(LPVOID self);
  void LookerRun();
  void DeliveryRun();

  MediaElementReceiver& receiver_;
  CacheCandidateLimits limits_;
  DWORD lookIntervalMs_;
  std::mutex lock_;
  std::condition_variable eventsArrived_;
  std::condition_variable foundArrived_;
  std::deque<Event> events_;
  std::deque<MediaElementRef> found_;
  bool stopping_ = false;
  bool stopped_ = false;
  CacheWatchFigures figures_;
  KernelHandle looker_;
  KernelHandle delivery_;
};
