// From a read's bytes to the detection step: the batch worker decodes each
// batch as soon as it arrives; the hand-off thread gives the accepted files
// to the detection step one at a time.  Both run on demand and end when
// their queue has been empty for a second.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>

#include "app/change_records.h"
#include "app/detection.h"
#include "app/shared_values.h"
#include "app/watch_session.h"
#include "app/watcher.h"
#include "runtime/core/declared_functions.h"

struct ChangeBatch {
  void* block = nullptr;  // GlobalAlloc'd: byteCount bytes and 12 zero bytes
  std::size_t byteCount = 0;
  std::uint64_t issueTime = 0;
  WatchSessionRef session;
};

namespace {

constexpr UINT kZeroInitFixed = 0x40;

struct NewFile {
  Text fullPath;
  WideText exactPath;
};

void DefaultSink(std::string_view fullPath, std::wstring_view exactPath) {
  HandleNewFile(fullPath, exactPath);
}

// A queue drained by one thread that is started when work arrives and ends
// after the queue has stayed empty for a while (starting a thread per
// trickling batch would cost more than the batch).
template <class Item>
class DrainedQueue {
 public:
  explicit DrainedQueue(LPTHREAD_START_ROUTINE body) : body_(body) {}

  void Push(Item item) {
    AcquireSRWLockExclusive(&lock_);
    items_.push_back(std::move(item));
    if (draining_) {
      ReleaseSRWLockExclusive(&lock_);
      WakeConditionVariable(&arrived_);
      return;
    }
    HANDLE thread = WatchThreadStart(body_, nullptr);
    draining_ = thread != nullptr;  // without a thread the next push tries again
    ReleaseSRWLockExclusive(&lock_);
    if (thread != nullptr) DeclaredFunctionCall(kDeclaredCloseHandle, thread);
  }
  // The next item, or false when none came for a while (the caller then ends).
  bool Pop(Item& item) {
    AcquireSRWLockExclusive(&lock_);
    const DWORD start = GetTickCount();
    while (items_.empty()) {
      const DWORD waited = GetTickCount() - start;
      if (waited >= kLingerMs || !SleepConditionVariableSRW(&arrived_, &lock_, kLingerMs - waited, 0)) {
        if (!items_.empty()) break;
        draining_ = false;
        ReleaseSRWLockExclusive(&lock_);
        return false;
      }
    }
    item = std::move(items_.front());
    items_.pop_front();
    ReleaseSRWLockExclusive(&lock_);
    return true;
  }
  std::size_t Size() {
    AcquireSRWLockShared(&lock_);
    const std::size_t size = items_.size();
    ReleaseSRWLockShared(&lock_);
    return size;
  }

 private:
  static constexpr DWORD kLingerMs = 1000;
  LPTHREAD_START_ROUTINE body_;
  SRWLOCK lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE arrived_ = CONDITION_VARIABLE_INIT;
  std::deque<Item, RuntimeAllocator<Item>> items_;
  bool draining_ = false;
};

DWORD WINAPI HandOffThread(LPVOID);

DrainedQueue<ChangeBatch*>& Batches() {
  static DrainedQueue<ChangeBatch*> queue(BatchWorker);
  return queue;
}
DrainedQueue<NewFile>& NewFiles() {
  static DrainedQueue<NewFile> queue(HandOffThread);
  return queue;
}
std::atomic<NewFileSink> sink{DefaultSink};
std::atomic<std::uint64_t> overflowCount{0};
std::atomic<std::uint64_t> batchCount{0};
std::atomic<std::uint64_t> recoveredCount{0};
std::mutex walkLock;
WatchStatistics walkFigures;  // only the walk fields, under walkLock

Text ToAnsiNameUtf16(const char16_t* name, std::int32_t count) {
  return ToAnsiName(reinterpret_cast<const wchar_t*>(name), count);
}

WideText WideFromUtf16(std::u16string_view text) { return WideText(text.begin(), text.end()); }

Utf16Text Utf16FromAnsi(std::string_view text) {
  if (text.empty()) return {};
  const int units = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (units <= 0) return {};
  WideText wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
  return Utf16Text(wide.begin(), wide.end());
}

// Added folders are reported like files; they are never elements.  A name
// that is gone already is handed on all the same (its copy then fails).
bool IsFolder(const Utf16Text& exactPath) {
  const DWORD attributes = GetFileAttributesW(reinterpret_cast<const wchar_t*>(exactPath.c_str()));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void NewFileQueue(NewFileName& name) {
  NewFiles().Push(NewFile{std::move(name.fullPath), WideFromUtf16(name.exactPath)});
}

DWORD WINAPI HandOffThread(LPVOID) {
  NewFile file;
  while (NewFiles().Pop(file)) sink.load()(file.fullPath, file.exactPath);
  return 0;
}

// The earliest time any recovery scan of the session can still look back to.
std::uint64_t LedgerHorizon(const WatchSession& session, std::uint64_t issueTime) {
  const std::uint64_t fromRead = issueTime > kRecoveryMargin ? issueTime - kRecoveryMargin : 0;
  return std::min({fromRead, session.scanCutoff, session.activeScanCutoff});
}

}  // namespace

Text ToAnsiName(const wchar_t* name, int count) {
  if (name == nullptr || count == 0) return {};
  const int size = static_cast<int>(DeclaredFunctionCall(kDeclaredWideCharToMultiByte, CP_ACP, 0, name, count,
                                                         nullptr, 0, nullptr, nullptr));
  if (size <= 0) return {};
  Text text(static_cast<std::size_t>(size), '\0');
  DeclaredFunctionCall(kDeclaredWideCharToMultiByte, CP_ACP, 0, name, count, text.data(), size, nullptr,
                       nullptr);
  // With count -1 the terminating zero is converted too; a text ends before it.
  if (count < 0 && !text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

void NewFileSinkSet(NewFileSink newSink) { sink = newSink != nullptr ? newSink : DefaultSink; }

bool WatchBatchHandOver(const WatchSessionRef& session, const void* buffer, std::size_t byteCount,
                        std::uint64_t issueTime) {
  void* block = reinterpret_cast<void*>(
      DeclaredFunctionCall(kDeclaredGlobalAlloc, kZeroInitFixed, byteCount + kChangeRecordHeaderSize));
  if (block == nullptr) return false;
  std::memcpy(block, buffer, byteCount);
  ++batchCount;
  Batches().Push(new ChangeBatch{block, byteCount, issueTime, session});
  return true;
}

void DecodeChangeBatch(ChangeBatch* batch) {
  // The watched folder as it is now: a restart may have replaced it.
  const auto folderText = WatchedFolder.Snapshot();
  const Utf16Text wideFolder = Utf16FromAnsi(*folderText);
  const WatchedFolderTexts folder{*folderText, wideFolder};
  auto names = ChangeBatchNewFiles(static_cast<const std::uint8_t*>(batch->block), batch->byteCount, folder,
                                   ToAnsiNameUtf16);
  DeclaredFunctionCall(kDeclaredGlobalFree, batch->block);

  names.erase(std::remove_if(names.begin(), names.end(),
                             [](const NewFileName& name) { return IsFolder(name.exactPath); }),
              names.end());

  WatchSession& session = *batch->session;
  {
    std::lock_guard<std::mutex> guard(session.ledgerLock);
    for (NewFileName& name : names) {
      if (session.ledger.RecordArrived(name.relativeName, batch->issueTime)) NewFileQueue(name);
    }
    session.ledger.Prune(LedgerHorizon(session, batch->issueTime));
  }
  delete batch;
}

DWORD WINAPI BatchWorker(LPVOID) {
  ChangeBatch* batch = nullptr;
  while (Batches().Pop(batch)) DecodeChangeBatch(batch);
  return 0;
}

void WatchRecoveredFileOffer(WatchSession& session, std::u16string_view relativeName) {
  const auto folderText = WatchedFolder.Snapshot();
  const Utf16Text wideFolder = Utf16FromAnsi(*folderText);
  NewFileName name;
  if (!NewFileNameBuild(WatchedFolderTexts{*folderText, wideFolder}, relativeName, ToAnsiNameUtf16, name))
    return;
  std::lock_guard<std::mutex> guard(session.ledgerLock);
  if (!session.ledger.RecoveryFound(name.relativeName, SystemTimeNow())) return;
  ++recoveredCount;
  NewFileQueue(name);
}

void WatchOverflowCount() { ++overflowCount; }

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
  figures.filesWaiting = NewFiles().Size();
  figures.batchesHandedOver = batchCount;
  figures.overflows = overflowCount;
  figures.filesRecovered = recoveredCount;
  return figures;
}
