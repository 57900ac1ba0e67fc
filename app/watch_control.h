// Starting and stopping a watch session from the main window.
#pragma once

#include <cstdint>

#include "runtime/windows/event_handler.h"

// The open watch, 0 when none runs.  Only the window thread reads and
// writes it.
extern std::uintptr_t WatchHandle;

EventResult StartWatch(const EventArgs& args);
EventResult StopWatch(const EventArgs& args);
// True when the save folder lies inside the watched folder; the message has
// then been shown.
bool CheckSaveFolder();
// Makes a watch that ends by itself (folder deleted, access lost) bring the
// main window back to idle with a notice.  Called once the main window exists.
void WatchInterruptionNoticeAttach();
