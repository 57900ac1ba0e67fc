// Directory change watcher.
//
// Threads.  Per session: the watcher thread (owns the folder handle, only
// reads and hands off) and a helper thread (recovery scans; under Wine also
// the one-time subfolder walk and a once-a-second existence check).  Per
// process, started on demand and ending after a second idle: one batch worker that
// decodes batches as they come, and one hand-off thread that calls the
// detection step for one file at a time.  Prompts therefore never hold up
// reading or decoding, and 10,000 waiting batches cost 10,000 small blocks
// or queued names, not 10,000 threads.  A closer thread runs per stop.
//
// Buffers.  The watcher reads into its own 64 KiB buffer (no larger: network
// shares refuse more) and copies the bytes returned into a block of that size
// plus 12 zero bytes, which the batch worker decodes and frees.  The read is
// re-armed at once.
//
// Who closes what.  CloseWatchHandleAsync takes the session out of the
// registry, marks it closed and sets the variable to 0 without waiting; its
// closer thread cancels the pending read (CancelSynchronousIo on the
// watcher's thread, repeated until the watcher has returned, within a bound).
// Only the watcher closes the folder handle, after leaving the registry, so
// no thread ever uses a handle value that may already name something else.
// A read that returns after the mark is dropped: not data, not an overflow.
//
// Overflow.  Success with 0 bytes, or failure with ERROR_NOTIFY_ENUM_DIR,
// keeps the watch running and asks the helper for a recovery scan: files
// below the folder created since shortly before the last good read was
// issued (its result may have been complete long before the watcher ran
// again) and not
// yet handed on in this session are handed on.  The session remembers the
// names it handed on only as far back as a scan could look (pruned at each
// batch, capped at NewFileLedger::kMaxNames), so memory stays bounded.
//
// Any other failure ends the session by itself; the watcher then posts the
// registered notice to the window thread.
#include "app/watcher.h"

#include <map>
#include <mutex>

#include "app/change_records.h"
#include "app/watch_session.h"
#include "runtime/core/declared_functions.h"

std::uintptr_t WatchHandle = 0;

namespace {

constexpr DWORD kReadBufferSize = 64 * 1024;
constexpr DWORD kNotifyFilter = 0x17F;
constexpr DWORD kGenericReadWrite = 0xC0000000;
constexpr DWORD kShareAll = 7;
constexpr DWORD kOpenExisting = 3;
constexpr DWORD kBackupSemantics = 0x02000000;
constexpr UINT kZeroInitFixed = 0x40;
// How long a closer keeps cancelling before it gives up on a stuck read.
constexpr DWORD kCancelBoundMs = 15000;
constexpr DWORD kCancelRetryMs = 10;
constexpr DWORD kFirstReadWaitMs = 1000;

struct Registry {
  std::mutex lock;
  std::map<std::uintptr_t, WatchSessionRef> sessions;
  HWND notifyWindow = nullptr;
  UINT notifyMessage = 0;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

WatchSessionRef RegistryTake(std::uintptr_t handle) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  auto found = registry.sessions.find(handle);
  if (found == registry.sessions.end()) return nullptr;
  WatchSessionRef session = std::move(found->second);
  registry.sessions.erase(found);
  return session;
}

void RegistryLeave(const WatchSession& session) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  auto found = registry.sessions.find(reinterpret_cast<std::uintptr_t>(session.folder));
  if (found != registry.sessions.end() && found->second.get() == &session) registry.sessions.erase(found);
}

void EndedByItselfNotify(std::uintptr_t handle) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  if (registry.notifyWindow == nullptr) return;
  PostMessageA(registry.notifyWindow, registry.notifyMessage, static_cast<WPARAM>(handle), 0);
}

HANDLE EventCreate(bool manualReset) { return CreateEventA(nullptr, manualReset, FALSE, nullptr); }

WideText WideFromAnsi(std::string_view text) {
  if (text.empty()) return {};
  const int units = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  WideText wide(static_cast<std::size_t>(units > 0 ? units : 0), L'\0');
  if (units > 0)
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
  return wide;
}

// Takes over a new reference from the thread parameter.
WatchSessionRef SessionFromParameter(LPVOID parameter) {
  auto* owned = static_cast<WatchSessionRef*>(parameter);
  WatchSessionRef session = std::move(*owned);
  delete owned;
  return session;
}

// Starts a thread that takes over a reference to the session.
HANDLE SessionThreadStart(LPTHREAD_START_ROUTINE body, const WatchSessionRef& session) {
  auto* parameter = new WatchSessionRef(session);
  HANDLE thread = WatchThreadStart(body, parameter);
  if (thread == nullptr) delete parameter;  // a thread that never ran took nothing over
  return thread;
}

DWORD WINAPI CloserThread(LPVOID parameter) {
  WatchSessionRef session = SessionFromParameter(parameter);
  WatchSessionCancelUntilEnded(*session);
  return 0;
}

// The watcher's read loop; returns how the session ended.
enum class WatchEnd { ClosedByProgram, ByItself };

WatchEnd ReadLoop(const WatchSessionRef& sessionRef, void* buffer) {
  WatchSession& session = *sessionRef;
  session.lastGoodRead = session.startTime.load();
  SetEvent(session.firstReadRequested.Get());
  for (;;) {
    if (session.closedByProgram) return WatchEnd::ClosedByProgram;
    if (session.ending) return WatchEnd::ByItself;
    DWORD byteCount = 0;
    // Records not in this read's result all come after this moment.
    const std::uint64_t issued = SystemTimeNow();
    const BOOL ok = static_cast<BOOL>(DeclaredFunctionCall(kDeclaredReadDirectoryChangesW, session.folder,
                                                           buffer, kReadBufferSize, TRUE, kNotifyFilter,
                                                           &byteCount, nullptr, nullptr));
    const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    // A close by the program can complete the read in any way, even as an
    // empty success: nothing after the mark is data.
    if (session.closedByProgram) return WatchEnd::ClosedByProgram;
    if (session.ending) return WatchEnd::ByItself;
    if (ok && byteCount > 0) {
      if (!WatchBatchHandOver(sessionRef, buffer, byteCount, issued)) {
        WatchRecoveryRequest(session);
        continue;
      }
      session.lastGoodRead = issued;
      continue;
    }
    if (ok || error == ERROR_NOTIFY_ENUM_DIR) {
      WatchRecoveryRequest(session);
      continue;
    }
    return WatchEnd::ByItself;
  }
}

}  // namespace

std::uint64_t SystemTimeNow() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return static_cast<std::uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
}

HANDLE WatchThreadStart(LPTHREAD_START_ROUTINE body, void* parameter) {
  return reinterpret_cast<HANDLE>(
      DeclaredFunctionCall(kDeclaredCreateThread, nullptr, 0, body, parameter, 0, nullptr));
}

void WatchSessionEndingMark(WatchSession& session) {
  session.ending = true;
  SetEvent(session.stopEvent.Get());
}

void WatchSessionCancelUntilEnded(WatchSession& session) {
  // The watcher may be just about to enter its read when a cancel comes, so
  // one cancel is not enough; it is repeated until the watcher has returned.
  for (DWORD waited = 0; waited < kCancelBoundMs; waited += kCancelRetryMs) {
    CancelSynchronousIo(session.watcherThread.Get());
    if (WaitForSingleObject(session.watcherEnded.Get(), kCancelRetryMs) == WAIT_OBJECT_0) return;
  }
}

DWORD WINAPI WatcherThread(LPVOID sessionRecord) {
  WatchSessionRef session = SessionFromParameter(sessionRecord);
  void* buffer =
      reinterpret_cast<void*>(DeclaredFunctionCall(kDeclaredGlobalAlloc, kZeroInitFixed, kReadBufferSize));
  const WatchEnd end = buffer != nullptr ? ReadLoop(session, buffer) : WatchEnd::ByItself;
  if (buffer != nullptr) DeclaredFunctionCall(kDeclaredGlobalFree, buffer);

  WatchSessionEndingMark(*session);
  // Out of the registry before the handle goes, so that a new session that
  // receives the same handle value is never mistaken for this one.
  RegistryLeave(*session);
  const auto handle = reinterpret_cast<std::uintptr_t>(session->folder);
  DeclaredFunctionCall(kDeclaredCloseHandle, session->folder);
  if (end == WatchEnd::ByItself && !session->closedByProgram) EndedByItselfNotify(handle);
  SetEvent(session->watcherEnded.Get());
  return 0;
}

std::uintptr_t OpenWatchFolder(std::string_view folderText) {
  const std::uint64_t startTime = SystemTimeNow();
  Text path = MakeText(folderText);
  if (!TextEndsWithSeparator(path)) path += '\\';
  const auto folder = reinterpret_cast<HANDLE>(
      DeclaredFunctionCall(kDeclaredCreateFileA, path.c_str(), kGenericReadWrite, kShareAll, nullptr,
                           kOpenExisting, kBackupSemantics, nullptr));
  if (folder == INVALID_HANDLE_VALUE || folder == nullptr) return 0;

  auto session = std::make_shared<WatchSession>();
  session->folder = folder;
  session->startTime = startTime;
  session->folderText = path;
  session->wideFolder = WideFromAnsi(path);
  session->stopEvent.Reset(EventCreate(true));
  session->watcherEnded.Reset(EventCreate(true));
  session->firstReadRequested.Reset(EventCreate(true));
  session->scanRequested.Reset(EventCreate(false));
  const bool eventsMade =
      session->stopEvent && session->watcherEnded && session->firstReadRequested && session->scanRequested;
  const auto handle = reinterpret_cast<std::uintptr_t>(folder);
  {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    registry.sessions[handle] = session;
  }
  HANDLE watcher = eventsMade ? SessionThreadStart(WatcherThread, session) : nullptr;
  if (watcher == nullptr) {
    RegistryTake(handle);
    DeclaredFunctionCall(kDeclaredCloseHandle, folder);
    return 0;
  }
  session->watcherThread.Reset(watcher);
  HANDLE helper = SessionThreadStart(WatchSessionHelperThread, session);
  // Without a helper the session still reads; it just cannot recover.
  if (helper != nullptr) DeclaredFunctionCall(kDeclaredCloseHandle, helper);
  // Changes are recorded from the first read on: a caller that creates a
  // file right after the start expects it to be seen.
  HANDLE firstRead[] = {session->firstReadRequested.Get(), session->watcherEnded.Get()};
  WaitForMultipleObjects(2, firstRead, FALSE, kFirstReadWaitMs);
  return handle;
}

void CloseWatchHandleAsync(std::uintptr_t& handle) {
  WatchSessionRef session = RegistryTake(handle);
  handle = 0;
  if (session == nullptr) return;
  session->closedByProgram = true;
  WatchSessionEndingMark(*session);
  HANDLE closer = SessionThreadStart(CloserThread, session);
  if (closer != nullptr) {
    DeclaredFunctionCall(kDeclaredCloseHandle, closer);
    return;
  }
  // No closer thread: cancel once here; the watcher sees the mark on return.
  CancelSynchronousIo(session->watcherThread.Get());
}

void WatchEndedNotifySet(HWND window, UINT message) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  registry.notifyWindow = window;
  registry.notifyMessage = message;
}

bool WatchEndedByItself(std::uintptr_t handle) {
  if (handle == 0) return false;
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  return registry.sessions.count(handle) == 0;
}
