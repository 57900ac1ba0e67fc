#include "app/watch/batch_queue.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>

#include "app/watch/change_records.h"
#include "app/watch/drained_queue.h"
#include "app/watch/watch_threads.h"
#include "runtime/core/declared_calls.h"
#include "runtime/core/text_encoding_wide.h"

namespace {

// A batch as the reader hands it to the batch worker: a block of the bytes
// the read returned plus 12 zero bytes, and the session it came from.
struct ChangeBatch {
  GlobalMemory block;  // byteCount bytes and 12 zero bytes
  std::size_t byteCount = 0;
  std::uint64_t issueTime = 0;
  WatchSessionRef session;
};
using ChangeBatchPtr = std::unique_ptr<ChangeBatch>;

DWORD WINAPI BatchWorker(LPVOID);

DrainedQueue<ChangeBatchPtr>& Batches() {
  // Never destroyed: its drain thread may still run while the process ends.
  static DrainedQueue<ChangeBatchPtr>& queue = *new DrainedQueue<ChangeBatchPtr>(BatchWorker);
  return queue;
}
std::atomic<std::uint64_t> overflowCount{0};
std::atomic<std::uint64_t> batchCount{0};
std::atomic<std::uint64_t> recoveredCount{0};
std::atomic<std::int64_t> foldersToWalk{0};
std::mutex walkLock;
WatchStatistics walkFigures;  // only the walk fields, under walkLock

Text ToAnsiNameUtf16(const char16_t* name, std::int32_t count) { return ToAnsiName(WideChars(name), count); }

WideText WideFromUtf16(std::u16string_view text) { return WideText(text.begin(), text.end()); }

// Added folders are reported like files; they are never elements.  A name
// that is gone already is handed on all the same (its copy then fails).
bool IsFolder(const Utf16Text& exactPath) {
  const DWORD attributes = GetFileAttributesW(WideChars(exactPath.c_str()));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The folder every name of the session is joined to: the session's own,
// never the window's current text (a later start may have replaced that).
WatchedFolderTexts SessionFolder(const WatchSession& session) {
  const WideText& wide = session.wideFolder;
  return WatchedFolderTexts{*session.target.folderText, Utf16View(wide)};
}

void NewFileQueue(const WatchSession& session, NewFileName& name) {
  HandOffNewFile(session.target, std::move(name.fullPath), WideFromUtf16(name.exactPath));
}

std::uint64_t MarginBefore(std::uint64_t time) { return time > kRecoveryMargin ? time - kRecoveryMargin : 0; }

// The earliest time any recovery scan or walk of the session can still look
// back to (under the ledger lock).
std::uint64_t LedgerHorizon(const WatchSession& session, std::uint64_t issueTime) {
  std::uint64_t horizon = std::min({MarginBefore(issueTime), session.scanCutoff, session.activeScanCutoff,
                                    session.startWalkCutoff, session.addedWalkCutoff});
  // Added folders wait oldest first, so the first has the earliest cutoff.
  if (!session.addedFolders.empty()) horizon = std::min(horizon, session.addedFolders.front().cutoff);
  return horizon;
}

// Decodes the batch, hands its new files on and frees the block.
void DecodeChangeBatch(ChangeBatchPtr batch) {
  WatchSession& session = *batch->session;
  auto names = ChangeBatchNewFiles(static_cast<const std::uint8_t*>(batch->block.Get()), batch->byteCount,
                                   SessionFolder(session), ToAnsiNameUtf16);
  batch->block.Reset();

  // Under Wine a folder made during the watch is watched only from the
  // moment Wine adds it, and folders made inside it before then never are:
  // the helper opens them and hands on what they already hold.
  static const bool wine = RunningUnderWine();
  std::vector<WideText, RuntimeAllocator<WideText>> addedFolders;
  names.erase(std::remove_if(names.begin(), names.end(),
                             [&](const NewFileName& name) {
                               if (!IsFolder(name.exactPath)) return false;
                               if (wine) addedFolders.push_back(WideFromUtf16(name.relativeName));
                               return true;
                             }),
              names.end());

  std::lock_guard<std::mutex> guard(session.ledgerLock);
  if (!addedFolders.empty() && !session.walksClosed) {
    const std::uint64_t cutoff = MarginBefore(batch->issueTime);
    WatchFoldersToWalkCount(static_cast<std::int64_t>(addedFolders.size()));
    for (WideText& folder : addedFolders) session.addedFolders.push_back({std::move(folder), cutoff});
    SetEvent(session.scanRequested.Get());
  }
  for (NewFileName& name : names) {
    if (session.ledger.RecordArrived(name.relativeName, batch->issueTime)) NewFileQueue(session, name);
  }
  session.ledger.Prune(LedgerHorizon(session, batch->issueTime));
}

DWORD WINAPI BatchWorker(LPVOID) {
  ChangeBatchPtr batch;
  while (Batches().Pop(batch)) DecodeChangeBatch(std::move(batch));
  return 0;
}

}  // namespace

Text ToAnsiName(const wchar_t* name, int count) {
  if (name == nullptr || count == 0) return {};
  const int size = DeclaredWideCharToMultiByte(CP_ACP, 0, name, count, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  Text text(static_cast<std::size_t>(size), '\0');
  DeclaredWideCharToMultiByte(CP_ACP, 0, name, count, text.data(), size, nullptr, nullptr);
  // With count -1 the terminating zero is converted too; a text ends before it.
  if (count < 0 && !text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

bool WatchBatchHandOver(const WatchSessionRef& session, const void* buffer, std::size_t byteCount,
                        std::uint64_t issueTime) {
  GlobalMemory block(DeclaredGlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, byteCount + kChangeRecordHeaderSize));
  if (!block) return false;
  std::memcpy(block.Get(), buffer, byteCount);
  ++batchCount;
  Batches().Push(ChangeBatchPtr(new ChangeBatch{std::move(block), byteCount, issueTime, session}));
  return true;
}

void WatchRecoveredFileOffer(WatchSession& session, std::u16string_view relativeName) {
  NewFileName name;
  if (!NewFileNameBuild(SessionFolder(session), relativeName, ToAnsiNameUtf16, name)) return;
  std::lock_guard<std::mutex> guard(session.ledgerLock);
  if (!session.ledger.RecoveryFound(name.relativeName, SystemTimeNow())) return;
  ++recoveredCount;
  NewFileQueue(session, name);
}

void WatchOverflowCount() { ++overflowCount; }

void WatchFoldersToWalkCount(std::int64_t change) { foldersToWalk += change; }

void WatchWalkCount(std::uint32_t folders, std::uint32_t milliseconds) {
  std::lock_guard<std::mutex> guard(walkLock);
  ++walkFigures.walksDone;
  walkFigures.lastWalkFolders = folders;
  walkFigures.lastWalkMs = milliseconds;
}

WatchStatistics WatchStatisticsRead() {
  WatchStatistics figures;
  {
    std::lock_guard<std::mutex> guard(walkLock);
    figures = walkFigures;
  }
  figures.batchesWaiting = Batches().Size();
  figures.filesWaiting = HandOffWaiting();
  figures.batchesHandedOver = batchCount;
  figures.overflows = overflowCount;
  figures.filesRecovered = recoveredCount;
  figures.foldersToWalk = static_cast<std::uint64_t>(std::max<std::int64_t>(foldersToWalk, 0));
  return figures;
}
