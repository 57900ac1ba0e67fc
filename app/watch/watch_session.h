// One watch session as the watcher's threads share it: the reader (in
// watcher.cpp), the session helper and the batch worker each hold a
// reference; the last one to let go ends the session for its sink.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "app/watch/hand_off.h"
#include "app/watch/new_file_ledger.h"
#include "runtime/core/handles.h"
#include "runtime/core/text.h"

struct WatchSession {
  WatchSession() = default;
  WatchSession(const WatchSession&) = delete;
  WatchSession& operator=(const WatchSession&) = delete;
  // Queues SessionEnded for the sink once SessionStarted was queued: no
  // reference is left, so no file of the session can follow.
  ~WatchSession();

  FileHandle folder;               // closed by the reader once it has left the registry
  std::uintptr_t handleValue = 0;  // the folder handle's value, the session's name for the window
  HandOffTarget target;            // its sink, its id and its folder text (as opened, ending in a separator)
  WideText wideFolder;             // the folder text in UTF-16, for paths, scans and the existence check
  bool startHandedOff = false;

  KernelHandle watcherThread;       // kept for CancelSynchronousIo
  KernelHandle stopEvent;           // manual reset: the session is ending
  KernelHandle watcherEnded;        // manual reset: the watcher has returned
  KernelHandle firstReadRequested;  // manual reset
  KernelHandle scanRequested;       // auto reset: a recovery scan is due

  std::atomic<bool> closedByProgram{false};
  std::atomic<bool> vanished{false};
  std::atomic<bool> ending{false};
  // System times (100 ns since 1601).
  std::atomic<std::uint64_t> startTime{0};  // just before the folder was opened
  // The issue of the last read that returned records.
  std::atomic<std::uint64_t> lastGoodRead{0};

  std::mutex ledgerLock;
  NewFileLedger ledger;  // under ledgerLock
  static constexpr std::uint64_t kNoScanCutoff = ~std::uint64_t{0};
  // Under ledgerLock: the cutoff of the scan asked for and of the one running.
  std::uint64_t scanCutoff = kNoScanCutoff;
  std::uint64_t activeScanCutoff = kNoScanCutoff;
  // Under Wine the walks list files made since the start, however long ago
  // they were handed on; the ledger keeps every name handed on since a
  // walk's cutoff until that walk has run, or the walk would hand it on again.
  struct AddedFolder {
    WideText relative;     // below the folder
    std::uint64_t cutoff;  // the read that reported it, less kRecoveryMargin
  };
  // Under ledgerLock: folders reported as added, for the helper to open under
  // Wine (see WineAddedFoldersOpen), oldest first.
  std::deque<AddedFolder, RuntimeAllocator<AddedFolder>> addedFolders;
  // Under ledgerLock: the cutoffs of the start's walk (the start itself,
  // until that walk has ended) and of the added folder being walked.
  std::uint64_t startWalkCutoff = kNoScanCutoff;
  std::uint64_t addedWalkCutoff = kNoScanCutoff;
  // Under ledgerLock: the helper has ended, so no folder is queued any more.
  bool walksClosed = false;
};

using WatchSessionRef = std::shared_ptr<WatchSession>;

// How far before the last good read a recovery scan looks: covers timestamp
// rounding and the time between a creation and its record.
constexpr std::uint64_t kRecoveryMargin = 2 * 10'000'000ULL;  // 2 s

// Marks the session as ending and wakes its helper.
void WatchSessionEndingMark(WatchSession& session);
// Cancels the watcher's pending read until it has returned (bounded).
void WatchSessionCancelUntilEnded(WatchSession& session);
