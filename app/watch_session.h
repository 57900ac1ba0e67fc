// One watch session as the watcher's threads share it.  Internal to the
// watcher files; see the note at the top of watcher.cpp.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "app/new_file_ledger.h"
#include "runtime/core/handles.h"
#include "runtime/core/text.h"

struct WatchSession {
  HANDLE folder = nullptr;  // owned by the watcher thread, which closes it
  Text folderText;          // as opened, ending in a separator
  WideText wideFolder;      // the same in UTF-16, for scans and the existence check

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
};

using WatchSessionRef = std::shared_ptr<WatchSession>;

// How far before the last good read a recovery scan looks: covers timestamp
// rounding and the time between a creation and its record.
constexpr std::uint64_t kRecoveryMargin = 2 * 10'000'000ULL;  // 2 s

std::uint64_t SystemTimeNow();
bool RunningUnderWine();

// Starts a thread through the declared CreateThread; returns its handle or null.
HANDLE WatchThreadStart(LPTHREAD_START_ROUTINE body, void* parameter);

// Marks the session as ending and wakes its helper.
void WatchSessionEndingMark(WatchSession& session);
// Cancels the watcher's pending read until it has returned (bounded).
void WatchSessionCancelUntilEnded(WatchSession& session);

// Batch pipeline (watch_batches.cpp): hands a copy of the returned bytes to
// the batch worker; false when no block could be had (the batch is lost).
bool WatchBatchHandOver(const WatchSessionRef& session, const void* buffer, std::size_t byteCount,
                        std::uint64_t issueTime);
// Hands on a file found by a recovery scan unless the session already did.
void WatchRecoveredFileOffer(WatchSession& session, std::u16string_view relativeName);
void WatchOverflowCount();
void WatchWalkCount(std::uint32_t folders, std::uint32_t milliseconds);

// Session helper (watch_session_helper.cpp): recovery scans and, under Wine,
// the subfolder walk and the existence check.
void WatchRecoveryRequest(WatchSession& session);
DWORD WINAPI WatchSessionHelperThread(LPVOID parameter);
