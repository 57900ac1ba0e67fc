#include "app/watch/session_helper.h"

#include <deque>
#include <memory>

#include "app/watch/batch_queue.h"
#include "app/watch/watch_threads.h"
#include "runtime/core/declared_calls.h"
#include "runtime/core/text_encoding_wide.h"

namespace {

// Wine arms a recursive watch when the read request reaches it, a moment
// after the watcher signals that it is about to read.
constexpr DWORD kWineArmSettleMs = 100;
constexpr DWORD kWineExistencePollMs = 1000;

std::uint64_t FileTimeValue(const FILETIME& time) {
  return static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

bool IsFolderToEnter(const WIN32_FIND_DATAW& entry) {
  if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  // Links lead outside the tree (or round in a circle): never followed.
  if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
  const wchar_t* name = entry.cFileName;
  return !(name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0)));
}

WideText ChildName(const WideText& parent, const wchar_t* name) {
  WideText child = parent;
  if (!child.empty()) child += L'\\';
  child += name;
  return child;
}

// Walks the tree below the session's folder breadth first (parent before
// child), calling onFolder(relative) for each folder below the top and
// onFile(relative, entry) for each file.  Stops as soon as the session ends.
template <class OnFolder, class OnFile>
void TreeWalk(WatchSession& session, OnFolder&& onFolder, OnFile&& onFile, WideText root = {}) {
  std::deque<WideText, RuntimeAllocator<WideText>> pending;
  pending.push_back(std::move(root));
  while (!pending.empty() && !session.ending) {
    const WideText relative = std::move(pending.front());
    pending.pop_front();
    if (!relative.empty()) onFolder(relative);
    WideText pattern = session.wideFolder + relative;
    if (!relative.empty()) pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(pattern.c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) continue;
    FindHandle guard(find);
    do {
      if (session.ending) return;
      if (IsFolderToEnter(entry)) {
        pending.push_back(ChildName(relative, entry.cFileName));
      } else if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        onFile(relative, entry);
      }
    } while (FindNextFileW(find, &entry));
  }
}

void FoundFileOffer(WatchSession& session, const WideText& relative, const WIN32_FIND_DATAW& entry) {
  const WideText name = ChildName(relative, entry.cFileName);
  WatchRecoveredFileOffer(session, Utf16View(name));
}

constexpr DWORD kForgetCancelWaitMs = 5000;

// Wine remembers every folder a watch reached, by its file number, for as
// long as any watch of the prefix stays open, even after that watch ended;
// such a folder (or a new one given a deleted one's number) is never added
// to a later watch when opened, and its changes reach no one.  A watch of
// the folder's own, armed and closed at once, makes Wine forget it; the
// walk's listing, which opens it next, then adds it to this session's
// watch.  `done` is a manual-reset event the caller lends.  False when the
// cancelled read did not end in time: the event is then still the read's,
// to be neither used again nor closed.
bool WineFolderForget(const WideText& path, HANDLE done) {
  FileHandle folder(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
  if (!folder) return true;
  // On the heap: if the cancelled read never completed, the system could
  // still write to it, so it is then let go rather than freed.
  auto overlapped = std::make_unique<OVERLAPPED>();
  overlapped->hEvent = done;
  ResetEvent(done);
  // No buffer: nothing is read, the read is only armed.
  if (!DeclaredReadDirectoryChangesW(folder.Get(), nullptr, 0, FALSE, FILE_NOTIFY_CHANGE_DIR_NAME, nullptr,
                                     overlapped.get(), nullptr))
    return true;
  CancelIoEx(folder.Get(), overlapped.get());
  if (WaitForSingleObject(done, kForgetCancelWaitMs) == WAIT_OBJECT_0) return true;
  overlapped.release();
  return false;
}

// Opening a folder is what makes Wine add it to the armed recursive watch.
// A file made in it after the start but before the listing opened it (or,
// for the top folder, before the first read reached Wine) was never
// reported, so such files are handed on from that listing (the ledger keeps
// a file that was also reported from counting twice).  Opens every folder
// below `root` (the whole tree when empty), parent before child.
std::uint32_t WineFoldersOpen(WatchSession& session, WideText root) {
  const std::uint64_t since = session.startTime;
  KernelHandle forgotten(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::uint32_t folders = 0;
  TreeWalk(
      session,
      [&](const WideText& relative) {
        ++folders;
        if (forgotten && !WineFolderForget(session.wideFolder + relative, forgotten.Get())) forgotten.Release();
      },
      [&](const WideText& relative, const WIN32_FIND_DATAW& entry) {
        if (FileTimeValue(entry.ftCreationTime) >= since) FoundFileOffer(session, relative, entry);
      },
      std::move(root));
  return folders;
}

// A folder reported as added may hold folders made before Wine watched it
// (a program making a deep path at once), and Wine may not watch the folder
// itself (a new folder given the file number of one it still remembers):
// open them and list them, oldest first.
void WineAddedFoldersOpen(WatchSession& session) {
  for (;;) {
    WideText root;
    {
      std::lock_guard<std::mutex> guard(session.ledgerLock);
      if (session.addedFolders.empty()) return;
      // Until this walk has run, the ledger keeps what it could list again.
      session.addedWalkCutoff = session.addedFolders.front().cutoff;
      root = std::move(session.addedFolders.front().relative);
      session.addedFolders.pop_front();
    }
    if (!session.ending) WineFoldersOpen(session, std::move(root));
    WatchFoldersToWalkCount(-1);
    std::lock_guard<std::mutex> guard(session.ledgerLock);
    session.addedWalkCutoff = WatchSession::kNoScanCutoff;
    if (session.ending) return;
  }
}

void WineSubfoldersOpen(WatchSession& session) {
  const DWORD started = GetTickCount();
  const std::uint32_t folders = WineFoldersOpen(session, {});
  {
    std::lock_guard<std::mutex> guard(session.ledgerLock);
    session.startWalkCutoff = WatchSession::kNoScanCutoff;
  }
  if (!session.ending) WatchWalkCount(folders, GetTickCount() - started);
}

// The start's walk of the whole tree runs on a thread of its own, so that
// the helper walks folders reported as added meanwhile at once: a file in
// such a folder that Wine does not report would otherwise wait for the
// whole tree, and the start's walk is not held up by them either.
DWORD WINAPI WineStartWalkThread(LPVOID parameter) {
  const WatchSessionRef sessionRef = std::move(*ThreadParameterAdopt<WatchSessionRef>(parameter));
  WineSubfoldersOpen(*sessionRef);
  return 0;
}

void RecoveryScan(WatchSession& session) {
  std::uint64_t cutoff;
  {
    // A request made while this scan runs asks for another scan afterwards.
    std::lock_guard<std::mutex> guard(session.ledgerLock);
    cutoff = session.scanCutoff;
    session.activeScanCutoff = cutoff;
    session.scanCutoff = WatchSession::kNoScanCutoff;
  }
  if (cutoff == WatchSession::kNoScanCutoff) return;
  TreeWalk(
      session, [](const WideText&) {},
      [&](const WideText& relative, const WIN32_FIND_DATAW& entry) {
        if (FileTimeValue(entry.ftCreationTime) < cutoff) return;
        const WideText name = ChildName(relative, entry.cFileName);
        WatchRecoveredFileOffer(session, Utf16View(name));
      });
  std::lock_guard<std::mutex> guard(session.ledgerLock);
  session.activeScanCutoff = WatchSession::kNoScanCutoff;
}

bool FolderVanished(const WatchSession& session) {
  const DWORD attributes = GetFileAttributesW(session.wideFolder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  return !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Ends the session by itself: the watcher then reports it.
void VanishedSessionEnd(WatchSession& session) {
  session.vanished = true;
  WatchSessionEndingMark(session);
  WatchSessionCancelUntilEnded(session);
}

}  // namespace

void WatchRecoveryRequest(WatchSession& session) {
  WatchOverflowCount();
  const std::uint64_t lastGood = session.lastGoodRead;
  const std::uint64_t cutoff = lastGood > kRecoveryMargin ? lastGood - kRecoveryMargin : 0;
  {
    std::lock_guard<std::mutex> guard(session.ledgerLock);
    if (cutoff < session.scanCutoff) session.scanCutoff = cutoff;
  }
  SetEvent(session.scanRequested.Get());
}

// Drops the folders still queued when the helper ends: no one walks them.
class WalksCloser {
 public:
  explicit WalksCloser(WatchSession& session) : session_(session) {}
  ~WalksCloser() {
    std::lock_guard<std::mutex> guard(session_.ledgerLock);
    session_.walksClosed = true;
    WatchFoldersToWalkCount(-static_cast<std::int64_t>(session_.addedFolders.size()));
    session_.addedFolders.clear();
  }
  WalksCloser(const WalksCloser&) = delete;
  WalksCloser& operator=(const WalksCloser&) = delete;

 private:
  WatchSession& session_;
};

DWORD WINAPI WatchSessionHelperThread(LPVOID parameter) {
  const WatchSessionRef sessionRef = std::move(*ThreadParameterAdopt<WatchSessionRef>(parameter));
  WatchSession& session = *sessionRef;
  const WalksCloser walksCloser(session);

  const bool wine = RunningUnderWine();
  HANDLE started[] = {session.stopEvent.Get(), session.firstReadRequested.Get()};
  if (WaitForMultipleObjects(2, started, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return 0;
  if (wine) {
    if (WaitForSingleObject(session.stopEvent.Get(), kWineArmSettleMs) == WAIT_OBJECT_0) return 0;
    const KernelHandle walker(
        WatchThreadStartWith(WineStartWalkThread, std::make_unique<WatchSessionRef>(sessionRef)));
    if (!walker) WineSubfoldersOpen(session);
  }

  HANDLE wakers[] = {session.stopEvent.Get(), session.scanRequested.Get()};
  const DWORD pollMs = wine ? kWineExistencePollMs : INFINITE;
  for (;;) {
    const DWORD woken = WaitForMultipleObjects(2, wakers, FALSE, pollMs);
    if (woken == WAIT_OBJECT_0 || session.ending) return 0;
    if (woken == WAIT_OBJECT_0 + 1) {
      if (wine) WineAddedFoldersOpen(session);
      RecoveryScan(session);
    }
    // Under Wine a deleted folder does not end the pending read.
    if (wine && FolderVanished(session)) {
      VanishedSessionEnd(session);
      return 0;
    }
  }
}
