#include "app/watch/watch_session.h"

namespace {

// How long a closer keeps cancelling before it gives up on a stuck read.
constexpr DWORD kCancelBoundMs = 15000;
constexpr DWORD kCancelRetryMs = 10;

}  // namespace

WatchSession::~WatchSession() {
  if (startHandedOff) HandOffSessionEnded(target);
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
