// Starting and stopping a watch session from the main window.
#pragma once

#include "runtime/windows/event_handler.h"

EventResult StartWatch(const EventArgs& args);
EventResult StopWatch(const EventArgs& args);
// True when the save folder lies inside the watched folder; the message has
// then been shown.
bool CheckSaveFolder();
// Makes a watch that ends by itself (folder deleted, access lost) bring the
// main window back to idle with a notice.  Called once the main window exists.
void WatchInterruptionNoticeAttach();
