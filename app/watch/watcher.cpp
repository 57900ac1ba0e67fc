// Directory change watcher: opening and closing sessions, and the reader.
//
// Files, each using only those listed before it: watch_threads (thread
// start, time), change_records and new_file_ledger (decoding and the names
// handed on, no Win32), watch.h (what the program sees), drained_queue and
// hand_off (the one hand-off thread, which knows only sinks), watch_session
// (the record the threads share), batch_queue (decoding), session_helper
// (recovery scans) and this file.  Nothing calls back up.
//
// Threads.  Per session: the watcher thread (the reader: owns the folder
// handle, only reads and hands off) and a helper thread (recovery scans;
// under Wine also the subfolder walk of each folder reported as added, the
// start's walk of the whole tree on a thread of its own, and a once-a-second
// existence check).  Per process, started on demand and ending after a
// second idle: one batch worker that decodes batches as they come, and one
// hand-off thread that gives each session's events to the sink the session
// was opened with, one event at a time.  A sink that waits for the user
// therefore never holds up reading or decoding, and 10,000 waiting batches
// cost 10,000 small blocks or queued names, not 10,000 threads.  A closer
// thread runs per stop.
//
// Folders.  Every name is joined to the folder text of the session its
// batch came from, so a batch still queued when the user stops and starts
// on another folder keeps naming the file where it is.
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
// again) and not yet handed on in this session are handed on.  The session
// remembers the names it handed on only as far back as a scan could look
// (pruned at each batch, capped at NewFileLedger::kMaxNames), so memory
// stays bounded.
//
// Any other failure ends the session by itself; the watcher then posts the
// registered notice to the window thread.
//
// Locks.  The registry's lock guards the session map and the notice target;
// each session's ledgerLock guards its ledger, scan cutoffs and queued
// walks (the batch worker and the helper both hand names on, and queue them
// under it).  The two drain queues keep SRW locks through their own holder,
// as their threads may outlive the exit.  No lock is held while a sink runs
// or a folder is listed.
#include <map>
#include <mutex>

#include "app/watch/batch_queue.h"
#include "app/watch/change_records.h"
#include "app/watch/hand_off.h"
#include "app/watch/session_helper.h"
#include "app/watch/watch.h"
#include "app/watch/watch_session.h"
#include "app/watch/watch_threads.h"
#include "runtime/core/declared_calls.h"
#include "runtime/core/text_encoding_wide.h"

namespace {

constexpr DWORD kReadBufferSize = 64 * 1024;
constexpr DWORD kNotifyFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE |
                                FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_LAST_ACCESS |
                                FILE_NOTIFY_CHANGE_CREATION | FILE_NOTIFY_CHANGE_SECURITY;
static_assert(kNotifyFilter == 0x17F);
constexpr DWORD kFirstReadWaitMs = 1000;

struct Registry {
  std::mutex lock;
  std::map<std::uintptr_t, WatchSessionRef> sessions;
  HWND notifyWindow = nullptr;
  UINT notifyMessage = 0;
  WatchSessionId lastId = 0;
};

Registry& TheRegistry() {
  // Never destroyed: a session closed just before the process ends (a
  // test's last watch closes asynchronously) still has threads that take
  // it out of the registry and queue its end while the exit runs.
  static Registry& registry = *new Registry;
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
  auto found = registry.sessions.find(session.handleValue);
  if (found != registry.sessions.end() && found->second.get() == &session) registry.sessions.erase(found);
}

// Registers the session under its handle value and gives it the next id.
void RegistryEnter(const WatchSessionRef& session) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  session->target.id = ++registry.lastId;
  registry.sessions[session->handleValue] = session;
}

void EndedByItselfNotify(std::uintptr_t handle) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  if (registry.notifyWindow == nullptr) return;
  PostMessageA(registry.notifyWindow, registry.notifyMessage, static_cast<WPARAM>(handle), 0);
}

HANDLE EventCreate(bool manualReset) { return CreateEventA(nullptr, manualReset, FALSE, nullptr); }

WideText WideTextFromAnsi(std::string_view text) {
  const std::wstring wide = WideFromAnsi(text);
  return WideText(wide.begin(), wide.end());
}

// Starts a thread that takes over a reference to the session.
HANDLE SessionThreadStart(LPTHREAD_START_ROUTINE body, const WatchSessionRef& session) {
  return WatchThreadStartWith(body, std::make_unique<WatchSessionRef>(session));
}

WatchSessionRef SessionFromParameter(LPVOID parameter) {
  return std::move(*ThreadParameterAdopt<WatchSessionRef>(parameter));
}

DWORD WINAPI CloserThread(LPVOID parameter) {
  const WatchSessionRef session = SessionFromParameter(parameter);
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
    const BOOL ok = DeclaredReadDirectoryChangesW(session.folder.Get(), buffer, kReadBufferSize, TRUE,
                                                  kNotifyFilter, &byteCount, nullptr, nullptr);
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

// The reader: owns the folder handle, only reads and hands off.
DWORD WINAPI WatcherThread(LPVOID parameter) {
  const WatchSessionRef session = SessionFromParameter(parameter);
  GlobalMemory buffer(DeclaredGlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, kReadBufferSize));
  const WatchEnd end = buffer ? ReadLoop(session, buffer.Get()) : WatchEnd::ByItself;
  buffer.Reset();

  WatchSessionEndingMark(*session);
  // Out of the registry before the handle goes, so that a new session that
  // receives the same handle value is never mistaken for this one.
  RegistryLeave(*session);
  session->folder.Reset();
  if (end == WatchEnd::ByItself && !session->closedByProgram) EndedByItselfNotify(session->handleValue);
  SetEvent(session->watcherEnded.Get());
  return 0;
}

}  // namespace

std::uintptr_t OpenWatchFolder(std::string_view folderText, WatchSink& sink) {
  const std::uint64_t startTime = SystemTimeNow();
  Text path = MakeText(folderText);
  if (!TextEndsWithSeparator(path)) path += '\\';
  FileHandle folder(DeclaredCreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!folder || folder.Get() == nullptr) return 0;

  auto session = std::make_shared<WatchSession>();
  session->handleValue = reinterpret_cast<std::uintptr_t>(folder.Get());
  session->folder = std::move(folder);
  session->startTime = startTime;
  // Under Wine the helper's start walk lists files made since the start.
  if (RunningUnderWine()) session->startWalkCutoff = startTime;
  session->target.sink = &sink;
  session->target.folderText = std::make_shared<const Text>(path);
  session->wideFolder = WideTextFromAnsi(path);
  session->stopEvent.Reset(EventCreate(true));
  session->watcherEnded.Reset(EventCreate(true));
  session->firstReadRequested.Reset(EventCreate(true));
  session->scanRequested.Reset(EventCreate(false));
  const bool eventsMade =
      session->stopEvent && session->watcherEnded && session->firstReadRequested && session->scanRequested;
  if (!eventsMade) return 0;  // the only reference goes here, and the folder with it
  const std::uintptr_t handle = session->handleValue;
  RegistryEnter(session);
  // Before the reader starts, so that the sink hears of the session before
  // any of its files; the session's end follows its last reference.
  HandOffSessionStarted(session->target);
  session->startHandedOff = true;
  HANDLE watcher = SessionThreadStart(WatcherThread, session);
  if (watcher == nullptr) {
    RegistryTake(handle);
    return 0;  // the last reference goes here: the folder is closed, the sink hears the end
  }
  session->watcherThread.Reset(watcher);
  // Without a helper the session still reads; it just cannot recover.
  KernelHandle helper(SessionThreadStart(WatchSessionHelperThread, session));
  if (!helper) {
    std::lock_guard<std::mutex> guard(session->ledgerLock);
    session->startWalkCutoff = WatchSession::kNoScanCutoff;  // no walk will come
    session->walksClosed = true;
  }
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
  if (KernelHandle closer{SessionThreadStart(CloserThread, session)}) return;
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
