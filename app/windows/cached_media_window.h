// The cached-media window: what the browsers' caches already hold, listed
// one row per element or stream as the command line's report knows them,
// scanned on a worker thread, sorted by a column click, filtered, and the
// selected rows saved into the save folder as /copyall saves, or their
// addresses copied, or one played with the user's default player from a
// temporary copy.
#pragma once

#include "runtime/windows/event_handler.h"

// The main window's button that opens it.
EventResult CachedMediaButtonClicked(const EventArgs& args);

EventResult CachedMediaWindowCreated(const EventArgs& args);
EventResult CachedMediaWindowDestroying(const EventArgs& args);
EventResult CachedMediaRefresh(const EventArgs& args);
EventResult CachedMediaFilterApply(const EventArgs& args);
EventResult CachedMediaColumnClicked(const EventArgs& args);
EventResult CachedMediaSelectionChanged(const EventArgs& args);
EventResult CachedMediaSaveSelected(const EventArgs& args);
EventResult CachedMediaPlay(const EventArgs& args);
EventResult CachedMediaRowDoubleClicked(const EventArgs& args);
EventResult CachedMediaListRightClicked(const EventArgs& args);
EventResult CachedMediaCopyAddresses(const EventArgs& args);
EventResult CachedMediaClose(const EventArgs& args);
