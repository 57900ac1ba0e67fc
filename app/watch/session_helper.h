// A session's helper thread: recovery scans after an overflow and, under
// Wine, the one-time subfolder walk and the existence check of the watched
// folder.  It never touches the folder handle, so it cannot delay a read.
#pragma once

#include <windows.h>

#include "app/watch/watch_session.h"

// Asks the helper for a recovery scan back to shortly before the last good read.
void WatchRecoveryRequest(WatchSession& session);
// The helper's body; adopts its parameter, a new WatchSessionRef.
DWORD WINAPI WatchSessionHelperThread(LPVOID parameter);
